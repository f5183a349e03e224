#pragma once

#include "engine/ConvertJob.h"
#include "probe/MediaReport.h"

#include <QString>
#include <QStringList>

#include <functional>

// The subtitle work of a job outside its own preparation stage: the timed-text
// conversion, the font size, the track options of the mux and the conversion of
// the tracks the video stages extract from MKV and MP4 sources.

// iSubtitleSource values.
enum SubtitleSource { kNoSubtitle = 0, kInternalSubtitles = 1, kSamiFile = 2, kSrtFile = 3, kAssFile = 4, kSsaFile = 5 };

// The subtitle source of a job: the external file's extension as the list shows it
// (matched with case), else the text tracks of an MKV or MP4 source, else none.
int ChooseSubtitleSource(const QString &externalExtension, const MediaReport &report);

// Code page an external SRT is read with: the chosen one when designated, else 0
// (the legacy code page).
int SrtReadCodePage(bool designate, int codePage);

// The timed-text name MP4Box gives a converted SRT: its last four characters
// (".srt") replaced by ".ttxt".
QString TtxtNameFor(const QString &srtPath);

// "W/sub_NNN.srt", where an extracted MKV text track lands (ID at least three digits).
QString MkvTrackSrt(const QString &workFolder, int id);
// "W/sub_ID_text.ttxt", where an extracted MP4 timed-text track lands.
QString Mp4TrackTtxt(const QString &workFolder, int id);

// The timed-text file an internal track ends as, or empty for a track that is not
// taken (MKV: SRT and ASS/SSA; MP4: timed text only).
QString InternalTrackTtxt(ContainerKind container, const TextTrack &track, const QString &workFolder);
// The track's own language, or "ko".
QString InternalTrackLanguage(const TextTrack &track);

// One entry of samiSrtFiles: "\"CLASS\"PATH".
struct SamiEntry
{
    QString className;
    QString srtPath;
};
SamiEntry ParseSamiEntry(const QString &entry);
// The language of a SAMI class: by its name when the tables know it (KRCC, ENCC,
// EZNE_ENCC, JPCC, CNCC, ko-KR, en-US, zh-Hans, ...), else the language of the file's
// name tag when it has one, else "en" for a class starting with E, "ja" with J
// (either case), and "ko" for the rest.
QString SamiClassLanguage(const QString &className, const QString &fileLanguage = QString());
// The class-name half of that: empty when the tables do not know the name.
QString KnownSamiClassLanguage(const QString &className);
// The track language for a language tag of a file name ("ko", "eng", "ko-KR", "chs"):
// "ko", "en", "ja" or a three-letter code; empty when the tag is no language we know.
QString LanguageOfTag(const QString &tag);

// " -add \"T\":lang=L[:layout=0x60x0x-1]:hdlr=sbtl:group=2:disable". Every track is
// written disabled; the mux enables the first.
QString SubtitleTrackOption(const QString &ttxt, const QString &language, bool withLayout);

// The track options without the subtitle options whose file fails keep(); the
// files left out are appended to dropped.
QString WithoutSubtitleTracks(const QString &trackOptions, const std::function<bool(const QString &)> &keep,
                              QStringList *dropped = nullptr);

// MP4Box "-ttxt" on an SRT in the work folder. Returns the timed-text file, or empty
// when none was made or Stop was pressed while it ran (job.ui.stopRequested tells
// which). The expected file is registered as temporary and any old copy removed first.
QString SrtToTtxt(ConvertJob &job, const QString &srtPath);

// The chosen font size (18, 24, 36 or 48) written into a timed-text file in place.
void ApplySubtitleFontSize(ConvertJob &job, const QString &ttxtPath);

// The log lines of the extracted-track conversion: numbered (H.264 copy from MKV),
// none (other video copied from MKV), plain (after re-encoding).
enum class TrackLogStyle { Numbered, Silent, Unnumbered };

// Shows "자막 변환중" and converts every extracted MKV text track of the report (SRT, or ASS/SSA under the
// ".srt" name, converted in place first) to timed text at the chosen font size.
// StopRun when Stop was pressed during a conversion (the stop path is taken),
// Continue otherwise; a failed track only costs that track.
StageResult ConvertExtractedMkvTracks(ConvertJob &job, TrackLogStyle style);

// Extracts every timed-text track of an MP4 source into the work folder
// ("sub_ID_text.ttxt") at the chosen font size. Numbered log lines on the copy path,
// plain ones with the free space after re-encoding. StopRun when Stop was pressed;
// a failed track only costs that track.
StageResult ExtractMp4TimedText(ConvertJob &job, TrackLogStyle style);

// Appends the subtitle track options after the audio option (the external
// subtitle is converted to timed text here). StopRun when Stop was pressed.
StageResult AppendSubtitleTrackOptions(ConvertJob &job);

// Before the mux: the options of subtitle tracks whose file was never made (a
// failed conversion or extraction) are taken out, so the mux is not asked for a
// missing file and the first remaining track is the enabled one.
void DropMissingSubtitleTracks(ConvertJob &job);

// Logged when Stop ends a run during a subtitle conversion.
inline constexpr const char *kSubtitleStopLine = "Subtitle conversion stopped";
