#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

// The numbers of these enumerations are stored and compared by the engine.
enum ContainerKind {
    ContainerNone = 0,
    ContainerAvi = 1,
    ContainerDivx = 2,
    ContainerMkv = 3,
    ContainerFlv = 4,
    ContainerOgg = 5,
    ContainerMp4 = 6,
    ContainerMpeg = 7,
    ContainerWmv = 8,
    ContainerSwf = 9,
    ContainerQt = 10,
    ContainerUnknown = 11,
    ContainerTs = 12, // MPEG transport stream (broadcast captures, camcorders)
};

enum VideoFormat {
    VideoNone = 0,
    VideoH264 = 1,
    VideoMpeg = 2,
    VideoMpeg4Visual = 3,
    VideoWmv = 4,
    VideoVc1 = 5,
    VideoH263 = 6,
    VideoMjpeg = 7,
    VideoVp6 = 8,
    VideoCinepack = 9,
    VideoUnknown = 10,
    VideoHevc = 11, // H.265; after the others so their stored numbers stay
};

enum AudioFormat {
    AudioNone = 0,
    AudioAac = 1,
    AudioDts = 2,
    AudioAc3 = 3,
    AudioMpegAudio = 4,
    AudioVorbis = 5,
    AudioPcm = 6,
    AudioWma = 7,
    AudioOther = 8,
};

enum TextFormat {
    TextNone = 0,
    TextSrt = 1,
    TextTtxt = 2,
    TextSsa = 3,
    TextUnknown = 4,
};

struct AudioTrack {
    int iID = 0;
    int iDelay = 0; // ms
    AudioFormat iFormat = AudioNone;
    int iDuration = 0; // ms
    int iBitRate = 0;  // bit/s
    bool bLC = false;
    char szLanguage[3] = {0, 0, 0}; // ISO 639-1, e.g. "ko"; empty when not reported
    int iPriority = 0;
    int iSampleRate = 44000;
    int iChannels = 1;
    int iBitDepth = 8;

    QString language() const { return QString::fromLatin1(szLanguage); }
};

struct TextTrack {
    int iID = 0;
    char szLanguage[3] = {0, 0, 0};
    TextFormat iFormat = TextNone;

    QString language() const { return QString::fromLatin1(szLanguage); }
};

class RunnerHost;

// What MediaInfo's full report says about one file. Probe runs the tool; ReadReport
// is the parser alone, over the report's bytes, so it can be used without the tool.
class MediaReport
{
public:
    // mediaInfoPath: the MediaInfo executable; workFolder: where "getinfo.cmd" and
    // "mediainfo.txt" are written, ending with a separator.
    MediaReport(const QString &mediaInfoPath, const QString &workFolder);

    // Runs MediaInfo on path and reads its report. languageCode is empty for no
    // preference, else one of ko, en, ja, de, fr, ru, or "**" for any other language;
    // it only affects the ranking of the audio tracks. iContainer 0 afterwards means
    // nothing usable was read.
    // With stopHost, the run is the host's current runner while it lasts, so Stop ends
    // a MediaInfo that never returns; the host's stopRequested then tells the caller.
    void Probe(const QString &path, const QString &languageCode = QString(), RunnerHost *stopHost = nullptr);

    // Resets the results (all but strProbedPath) and fills them from a report.
    void ReadReport(const QByteArray &report, const QString &languageCode = QString());

    // Index of the audio track with the highest priority, the first of equal ones;
    // -1 without audio tracks.
    int BestAudioTrack() const;

    QString strMediaInfoPath;
    QString strWorkFolder;

    QString strProbedPath;
    ContainerKind iContainer = ContainerNone;
    int iFileSizeMB = 0;
    VideoFormat iVideoFormat = VideoNone;
    QString strFrameRate;
    int iVideoID = -1;
    int iVideoDelay = 0;
    int iVideoDuration = 0;
    QString strLevel;
    int iWidth = 0;
    int iHeight = 0;
    int iFrameCount = 0;
    int iOverallBitRate = 0;
    int iVideoBitRate = 0;
    int iMaxBitRate = 0;
    int iDivXVersion = 0;
    double dPixelAspect = -100.0;
    int iBVOP = 0;   // 0 not reported, 1 no, 2 yes
    int iQPel = 0;   // same
    int iGMC = 0;    // warp points
    int iMatrix = 0; // 0 not reported, 1 default, 2 other
    int iScanType = 0; // 0 not reported, 1 progressive, 2 other
    // What a decoder must support beyond size and rate: the profile name without its
    // level ("High 4:4:4 Predictive"), the chroma subsampling ("4:2:0") and the sample
    // bit depth (0 when not reported).
    QString strVideoProfile;
    QString strChromaSubsampling;
    int iVideoBitDepth = 0;
    // Degrees the picture is turned for display (phones store portrait video as
    // landscape frames with a rotation), 0 to 359.
    int iRotation = 0;

    // The picture as shown: the stored size, its sides swapped when turned by 90 or 270.
    int DisplayWidth() const { return IsQuarterTurned() ? iHeight : iWidth; }
    int DisplayHeight() const { return IsQuarterTurned() ? iWidth : iHeight; }
    bool IsQuarterTurned() const { return iRotation == 90 || iRotation == 270; }

    int iAudioCount = 0;
    QList<AudioTrack> audio;
    int iTextCount = 0;
    QList<TextTrack> text;

private:
    void Reset();
    void RankAudioTracks(const QString &languageCode);
};
