#pragma once

#include "platform/WorkFolders.h"
#include "engine/SourceFiles.h"
#include "probe/MediaReport.h"
#include "shell/DiagnosticLog.h"

#include <QString>
#include <QStringList>

#include <array>
#include <cstdint>
#include <memory>

class FrontEnd;
class VideoAhead;
struct ConverterOptions;

// The outside tools in table order.
enum ToolId { kFfmpeg, kNeroAacEnc, kMP4Box, kMkvextract, kOGMDemuxer, kNormalize, kChanfold, kMediaInfo, kToolCount };

struct ToolEntry
{
    QString name;
    QString fullPath;
    QString shortPath;
};

// Tool paths relative to the program folder ("tools/Nightly/MP4Box" for the Nightly muxer).
std::array<ToolEntry, kToolCount> BuildToolTable(const QString &programFolder, bool forNightly);

// An SRT made from one of the further external subtitles, waiting for its timed text.
struct PreparedSubtitle
{
    QString srtPath;
    QString language;
    bool withLayout = false; // SAMI classes, like the first subtitle's
};

// What a stage tells the driver.
enum class StageResult { Continue, SkipJob, StopRun };

// Everything the stages of one press of Convert share: a run-wide part built once
// and a per-job part reset for every row.
class ConvertJob
{
public:
    ConvertJob(FrontEnd &frontEnd, const QString &programFolder);

    FrontEnd &ui;
    const ConverterOptions &options;
    QString strProgramFolder;

    // Run-wide.
    std::array<ToolEntry, kToolCount> tools;
    // This run's own subfolder of the temporary folder; strWorkFolder is its path.
    platform::RunFolder runFolder;
    QString strWorkFolder;
    QStringList tempFiles;
    int iRowCount = 0;
    int iSucceeded = 0;
    std::uint32_t dwRunStart = 0;
    DiagnosticLog log;

    // Per job.
    struct Job
    {
        int iRow = 0;
        std::uint32_t dwJobStart = 0;
        QString strSourcePath;
        QString strSourceExt;
        QString strSourceShortPath;
        MediaReport report{ QString(), QString() };
        QString strSummary;
        bool bReencodeVideo = false;
        double dFrameRate = 0;
        int iBitRate = 0;
        QString strAudioFile;
        // The sound comes from a companion file (strAudioFile names it), not from the source.
        bool bExternalAudio = false;
        int iExternalAudioDelay = 0;
        QString strExternalSubtitle;
        int iInternalAudio = -1;
        int iSourceAudioDelay = 0;
        int iSubtitleSource = 0;
        QString strPcmFile;
        QString strAacFile;
        MediaReport aacReport{ QString(), QString() };
        QString strOutputFolder;
        QString strOutputName;
        QString strDcOutputName;
        QString strProgressFile;
        bool bVideoIsH264 = false;
        QString strVideoOption;
        // Where the muxed video stream begins on the source's clock: the video delay for
        // a copied stream; the source's start for a re-encoded one, whose encoder fills
        // the time before the first picture.
        int iVideoStreamDelay = 0;
        // The re-encoded picture stands as displayed: a source turned by a quarter has
        // its size and pixel shape swapped.
        bool bVideoTurnedUpright = false;
        QString strTrackOptions;
        QString strPreparedSrt;
        QString strSubtitleTtxt;
        QStringList samiSrtFiles;
        // The first external subtitle's language when its name carries one
        // ("movie.en.srt"); empty for a plain "movie.srt".
        QString strExternalSubtitleLanguage;
        // The further external subtitles named with a language, each its own track
        // after the first subtitle's, and the SRT files made from them.
        QList<TaggedSubtitle> extraSubtitles;
        QList<PreparedSubtitle> extraPreparedSrt;
        // A subtitle the user had could not be converted; the row's final status says so.
        bool bSubtitleFailed = false;
        // Every timed-text track made from the external subtitle (several for SAMI);
        // the delay correction of the mux shifts each of them.
        QStringList externalTtxtFiles;
        QString strParOption;
        QString strMuxArgs;
        int iVideoShift = 0;
        int iAudioShift = 0;
        int iMuxVideoDelay = 0;
        int iMuxAudioDelay = 0;
        MediaReport outputReport{ QString(), QString() };
        // The delay-corrected mux took the output's name.
        bool bSyncCorrected = false;
        // The video extraction's tool step, started while the audio is made.
        std::shared_ptr<VideoAhead> videoAhead;
    } job;

    // Fresh per-job fields; the reports are set up with the MediaInfo path and work folder.
    void resetJob(int row);

    // A line in the diagnostic log (nothing when the log is off).
    void Log(const QString &text) { log.WriteLine(text); }
    // Column 4 of the current row.
    void setStatus(const QString &text);
    const ToolEntry &tool(ToolId id) const { return tools[id]; }
};

// Registers a file for deletion at job and run end. Anything up to and including
// a first and then a second double quote is dropped, leading blanks trimmed;
// empty and already listed paths are ignored.
void AddTempFile(QStringList &tempFiles, const QString &path);

// Deletes every listed file unless keepTempFiles; failures are ignored and the
// list stays as it is.
void DeleteTempFiles(const QStringList &tempFiles, bool keepTempFiles);
