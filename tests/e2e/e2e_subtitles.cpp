// Subtitles through marbleway-cli with the real tools: internal MKV and MP4 text
// tracks and external SAMI, SRT and ASS files end as 3GPP timed-text tracks that a
// phone shows (tx3g, "sbtl" handler, language, only the first enabled), with their
// cue texts, times, styles and font size read back from the output.
#include "E2eSupport.h"
#include "../QtPrinters.h"

#include "Mp4File.h"
#include "Tx3g.h"

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QProcess>
#include <QRegularExpression>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <tuple>
#include <vector>

using namespace e2e;

namespace {

struct Cue
{
    int start = 0; // ms
    int end = 0;
    QString text; // as ffmpeg's SRT writer gives it: styles as <b>, <i>, <font color>
};

int srtTime(const QString &t)
{
    // HH:MM:SS,mmm
    return ((t.mid(0, 2).toInt() * 60 + t.mid(3, 2).toInt()) * 60 + t.mid(6, 2).toInt()) * 1000 + t.mid(9, 3).toInt();
}

// ffmpeg's SRT writer wraps the text in the track's default font (face and size),
// closing and reopening it around style runs; those font tags go, colours stay.
QString withoutDefaultFont(const QString &text)
{
    static const QRegularExpression fontTag(QStringLiteral("<font([^>]*)>|</font>"));
    QString out;
    std::vector<bool> keep; // per open font tag: a colour of the cue's own
    qsizetype from = 0;
    for (auto it = fontTag.globalMatch(text); it.hasNext();) {
        const auto m = it.next();
        out += text.mid(from, m.capturedStart() - from);
        from = m.capturedEnd();
        if (m.captured(0).startsWith(QStringLiteral("</"))) {
            const bool kept = !keep.empty() && keep.back();
            if (!keep.empty())
                keep.pop_back();
            if (kept)
                out += m.captured(0);
        } else {
            const bool colour = m.captured(1).contains(QStringLiteral("color="));
            keep.push_back(colour);
            if (colour)
                out += m.captured(0);
        }
    }
    return out + text.mid(from);
}

// The cues of subtitle stream n, decoded by ffmpeg; empty samples are left out.
QList<Cue> cues(const QString &file, int n)
{
    QProcess p;
    p.start(QStringLiteral("/usr/bin/ffmpeg"), { QStringLiteral("-nostdin"), QStringLiteral("-loglevel"),
                                                 QStringLiteral("error"), QStringLiteral("-i"), file,
                                                 QStringLiteral("-map"), QStringLiteral("0:s:%1").arg(n),
                                                 QStringLiteral("-f"), QStringLiteral("srt"), QStringLiteral("-") });
    p.waitForFinished(60000);
    const QString srt = QString::fromUtf8(p.readAllStandardOutput()).remove(QLatin1Char('\r'));
    QList<Cue> out;
    static const QRegularExpression block(
        QStringLiteral("\\d+\\n(\\d\\d:\\d\\d:\\d\\d,\\d\\d\\d) --> (\\d\\d:\\d\\d:\\d\\d,\\d\\d\\d)\\n(.*?)(?:\\n\\n|\\n?$)"),
        QRegularExpression::DotMatchesEverythingOption);
    auto it = block.globalMatch(srt);
    while (it.hasNext()) {
        const auto m = it.next();
        const QString text = withoutDefaultFont(m.captured(3));
        if (text.trimmed().isEmpty())
            continue;
        out << Cue{ srtTime(m.captured(1)), srtTime(m.captured(2)), text };
    }
    return out;
}

QString plain(QString text)
{
    static const QRegularExpression tag(QStringLiteral("<[^>]*>"));
    return text.remove(tag);
}

// What the phone looks at in each text track of the output.
struct TextTrackInfo
{
    std::string handler;
    bool enabled = false;
    int group = 0;
    std::string language;
    int fontSize = 0;
};

std::vector<TextTrackInfo> textTracks(const QString &file)
{
    std::vector<TextTrackInfo> out;
    mp4box::Mp4File f;
    std::string error;
    if (!f.open(file.toStdString(), &error))
        return out;
    for (const mp4box::Mp4Track &t : f.tracks()) {
        if (t.handler == mp4box::fourcc("vide") || t.handler == mp4box::fourcc("soun"))
            continue;
        TextTrackInfo i;
        i.handler = mp4box::fourccText(t.handler);
        i.enabled = (t.tkhdFlags & 1) != 0;
        i.group = t.alternateGroup;
        i.language = t.language;
        mp4box::TimedTextHeader h;
        if (mp4box::parseTx3gSampleEntry(t.sampleEntry, &h))
            i.fontSize = h.defaultStyle.fontSize;
        out.push_back(i);
    }
    return out;
}

QString tag(const QJsonObject &stream, const char *name)
{
    return stream.value(QStringLiteral("tags")).toObject().value(QString::fromLatin1(name)).toString();
}

// Checks the subtitle streams of an output: tx3g in the "sbtl" handler, in
// alternate group 2, with these languages in order, only the first enabled, at this size.
void expectPhoneTracks(const QString &out, const QStringList &languages, int fontSize)
{
    const QList<QJsonObject> subs = streams(probe(out), QStringLiteral("subtitle"));
    ASSERT_EQ(subs.size(), languages.size()) << out.toStdString();
    const std::vector<TextTrackInfo> tracks = textTracks(out);
    ASSERT_EQ(tracks.size(), static_cast<size_t>(languages.size()));
    for (qsizetype i = 0; i < subs.size(); ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(subs[i].value(QStringLiteral("codec_name")).toString(), QStringLiteral("mov_text"));
        EXPECT_EQ(subs[i].value(QStringLiteral("codec_tag_string")).toString(), QStringLiteral("tx3g"));
        EXPECT_EQ(tag(subs[i], "language"), languages[i]);
        // ffprobe's "default" is the track-enabled flag.
        EXPECT_EQ(subs[i].value(QStringLiteral("disposition")).toObject().value(QStringLiteral("default")).toInt(),
                  i == 0 ? 1 : 0);
        EXPECT_EQ(tracks[i].handler, "sbtl");
        EXPECT_EQ(tracks[i].enabled, i == 0);
        EXPECT_EQ(tracks[i].group, 2);
        EXPECT_EQ(tracks[i].fontSize, fontSize);
    }
}

void expectCues(const QList<Cue> &got, const std::vector<Cue> &want)
{
    ASSERT_EQ(got.size(), static_cast<qsizetype>(want.size()));
    for (size_t i = 0; i < want.size(); ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(got[i].start, want[i].start);
        EXPECT_EQ(got[i].end, want[i].end);
        EXPECT_EQ(got[i].text, want[i].text);
    }
}

void writeBytes(const QString &path, const QByteArray &bytes)
{
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(bytes);
}

QString output(const Sandbox &box, const char *base)
{
    return box.saveDir() + QStringLiteral("/[Qor] ") + QString::fromUtf8(base) + QStringLiteral(".mp4");
}

void expectDone(const RunResult &r, const QString &source)
{
    const auto status = r.statusByPath();
    ASSERT_TRUE(status.count(source)) << r.out.toStdString() << r.err.toStdString();
    EXPECT_TRUE(status.at(source).startsWith(QStringLiteral("완료: "))) << status.at(source).toStdString() << "\n"
                                                                     << r.err.toStdString();
}

TEST(E2eSubtitles, InternalTracksOfMkvAndMp4)
{
    Sandbox box;
    // MKV: SRT "eng" (track 3), a WebVTT track the engine cannot take (4), ASS without language (5).
    const QString vtt = box.root() + QStringLiteral("/a.vtt");
    writeBytes(vtt, "WEBVTT\n\n00:00:00.500 --> 00:00:01.500\nvtt cue\n");
    const QString mkv = box.mediaDir() + QStringLiteral("/three tracks.mkv");
    ASSERT_TRUE(ffmpeg({ QStringLiteral("-i"), testMedia(QStringLiteral("mkv_h264_multi.mkv")), QStringLiteral("-i"),
                         testMedia(QStringLiteral("sub_plain.srt")), QStringLiteral("-i"), vtt, QStringLiteral("-i"),
                         testMedia(QStringLiteral("sub_styled.ass")), QStringLiteral("-map"), QStringLiteral("0:v"),
                         QStringLiteral("-map"), QStringLiteral("0:a:0"), QStringLiteral("-map"), QStringLiteral("1"),
                         QStringLiteral("-map"), QStringLiteral("2"), QStringLiteral("-map"), QStringLiteral("3"),
                         QStringLiteral("-c"), QStringLiteral("copy"), QStringLiteral("-c:s:0"), QStringLiteral("srt"),
                         QStringLiteral("-c:s:1"), QStringLiteral("webvtt"), QStringLiteral("-c:s:2"), QStringLiteral("ass"),
                         QStringLiteral("-metadata:s:s:0"), QStringLiteral("language=eng"), QStringLiteral("-metadata:s:s:2"),
                         QStringLiteral("language=und") },
                       mkv));
    // MP4 with a timed-text track "kor"; MP4 whose only text track is TTML, not timed text.
    const QString mp4 = box.addMedia(QStringLiteral("mp4_h264_aac.mp4"), QStringLiteral("timed text.mp4"));
    const QString ttml = box.mediaDir() + QStringLiteral("/ttml.mp4");
    ASSERT_TRUE(ffmpeg({ QStringLiteral("-i"), testMedia(QStringLiteral("mp4_h264_aac.mp4")), QStringLiteral("-i"),
                         testMedia(QStringLiteral("sub_plain.srt")), QStringLiteral("-map"), QStringLiteral("0:v"),
                         QStringLiteral("-map"), QStringLiteral("0:a"), QStringLiteral("-map"), QStringLiteral("1"),
                         QStringLiteral("-c:v"), QStringLiteral("copy"), QStringLiteral("-c:a"), QStringLiteral("copy"),
                         QStringLiteral("-c:s"), QStringLiteral("ttml") },
                       ttml));
    // H.264, AC-3 5.1 and two subtitle tracks (SRT "eng", ASS).
    const QString multi = box.addMedia(QStringLiteral("mkv_h264_multi.mkv"), QStringLiteral("multi.mkv"));

    const RunResult r = box.runCli({ QStringLiteral("--subtitle-size"), QStringLiteral("2"), QStringLiteral("--save-folder"),
                                     box.saveDir(), mkv, mp4, ttml, multi });
    ASSERT_NE(r.exitCode, -1) << r.err.toStdString();
    for (const QString &src : { mkv, mp4, ttml, multi })
        expectDone(r, src);

    const std::vector<Cue> plainCues{ { 200, 1000, QStringLiteral("Hello <i>world</i>") },
                                      { 1200, 1900, QStringLiteral("Second line") } };
    const std::vector<Cue> assCues{ { 300, 1000, QStringLiteral("<b>Bold</b> text") },
                                    { 1200, 1800, QStringLiteral("한글 자막") } };
    {
        SCOPED_TRACE("MKV with SRT, WebVTT and ASS");
        const QString out = output(box, "three tracks");
        expectPhoneTracks(out, { QStringLiteral("eng"), QStringLiteral("kor") }, 36);
        expectCues(cues(out, 0), plainCues);
        // The ASS bold override is a text style of the track.
        expectCues(cues(out, 1), assCues);
    }
    {
        SCOPED_TRACE("MKV with H.264, AC-3 5.1, SRT and ASS");
        const QString out = output(box, "multi");
        expectPhoneTracks(out, { QStringLiteral("eng"), QStringLiteral("kor") }, 36);
        // This file's tracks start 21 ms late (the AAC track's priming); the cues keep
        // the source's times, which the mux holds to 10 ms.
        for (int n : { 0, 1 }) {
            SCOPED_TRACE(n);
            const QList<Cue> got = cues(out, n), want = cues(multi, n);
            ASSERT_EQ(got.size(), 2);
            ASSERT_EQ(got.size(), want.size());
            for (qsizetype i = 0; i < got.size(); ++i) {
                EXPECT_LE(std::abs(got[i].start - want[i].start), 10) << got[i].start << " " << want[i].start;
                EXPECT_LE(std::abs(got[i].end - want[i].end), 10) << got[i].end << " " << want[i].end;
                EXPECT_EQ(got[i].text, (n == 0 ? plainCues : assCues)[static_cast<size_t>(i)].text);
            }
        }
        EXPECT_EQ(streams(probe(out), QStringLiteral("audio")).size(), 1);
    }
    {
        SCOPED_TRACE("MP4 with timed text");
        const QString out = output(box, "timed text");
        expectPhoneTracks(out, { QStringLiteral("kor") }, 36);
        expectCues(cues(out, 0), plainCues);
    }
    {
        SCOPED_TRACE("MP4 with a TTML track only");
        const QString out = output(box, "ttml");
        EXPECT_EQ(streams(probe(out), QStringLiteral("subtitle")).size(), 0);
        EXPECT_EQ(streams(probe(out), QStringLiteral("video")).size(), 1);
    }
    EXPECT_TRUE(box.leftoverTempFiles().isEmpty()) << box.leftoverTempFiles().join(QLatin1Char(' ')).toStdString();
}

const char kSami[] = "<SAMI>\r\n<HEAD>\r\n<STYLE TYPE=\"text/css\">\r\n<!--\r\n"
                     ".KRCC { Name:Korean; lang:ko-KR; SAMIType:CC; }\r\n"
                     ".ENCC { Name:English; lang:en-US; SAMIType:CC; }\r\n-->\r\n</STYLE>\r\n</HEAD>\r\n<BODY>\r\n"
                     "<SYNC Start=200><P Class=KRCC>안녕하세요\r\n"
                     "<SYNC Start=200><P Class=ENCC>Hello there\r\n"
                     "<SYNC Start=1000><P Class=KRCC>&nbsp;\r\n"
                     "<SYNC Start=1000><P Class=ENCC>&nbsp;\r\n"
                     "<SYNC Start=1200><P Class=KRCC><b>둘째</b> 줄\r\n"
                     "<SYNC Start=1200><P Class=ENCC>Second line\r\n"
                     "<SYNC Start=1800><P Class=KRCC>&nbsp;\r\n"
                     "<SYNC Start=1800><P Class=ENCC>&nbsp;\r\n"
                     "</BODY>\r\n</SAMI>\r\n";

TEST(E2eSubtitles, ExternalSamiSrtAndAssFiles)
{
    Sandbox box;
    // A SAMI file with the classes KRCC and ENCC beside a second clip.
    const QString sami = box.addMedia(QStringLiteral("avi_h264_ac3.avi"), QStringLiteral("sami clip.avi"));
    writeBytes(box.mediaDir() + QStringLiteral("/sami clip.smi"), kSami);
    // An SRT in CP949 (read with "한글"), and an English SRT that still gets "ko".
    const QString cp949 = box.addMedia(QStringLiteral("avi_h264_ac3.avi"), QStringLiteral("cp949.avi"));
    writeBytes(box.mediaDir() + QStringLiteral("/cp949.srt"),
               "1\r\n00:00:00,500 --> 00:00:01,500\r\n\xc7\xd1\xb1\xdb \xc0\xda\xb8\xb7\r\n\r\n");
    const QString english = box.addMedia(QStringLiteral("avi_mpeg4_mp3.avi"), QStringLiteral("english.avi"));
    QFile::copy(testMedia(QStringLiteral("sub_plain.srt")), box.mediaDir() + QStringLiteral("/english.srt"));
    // An ASS file with colour overrides.
    const QString ass = box.addMedia(QStringLiteral("avi_h264_ac3.avi"), QStringLiteral("colours.avi"));
    writeBytes(box.mediaDir() + QStringLiteral("/colours.ass"),
               "[Script Info]\nScriptType: v4.00+\n\n[V4+ Styles]\nFormat: Name, Fontname, Fontsize, PrimaryColour, Bold\n"
               "Style: Default,Arial,20,&H00FFFFFF,0\n\n[Events]\n"
               "Format: Layer, Start, End, Style, Name, MarginL, MarginR, MarginV, Effect, Text\n"
               "Dialogue: 0,0:00:00.20,0:00:01.00,Default,,0,0,0,,{\\c&H0000FF&}Red\n"
               "Dialogue: 0,0:00:01.20,0:00:01.80,Default,,0,0,0,,Plain {\\c&H00FF00&}green\n");
    const QByteArray samiBefore = fileHash(box.mediaDir() + QStringLiteral("/sami clip.smi"));

    const RunResult r = box.runCli({ QStringLiteral("--srt-codepage"), QStringLiteral("0"), QStringLiteral("--save-folder"),
                                     box.saveDir(), sami, cp949, english, ass });
    ASSERT_NE(r.exitCode, -1) << r.err.toStdString();
    for (const QString &src : { sami, cp949, english, ass })
        expectDone(r, src);
    {
        SCOPED_TRACE("SAMI");
        const QString out = output(box, "sami clip");
        expectPhoneTracks(out, { QStringLiteral("kor"), QStringLiteral("eng") }, 18);
        expectCues(cues(out, 0), { { 200, 1000, QStringLiteral("안녕하세요") }, { 1200, 1800, QStringLiteral("<b>둘째</b> 줄") } });
        expectCues(cues(out, 1), { { 200, 1000, QStringLiteral("Hello there") }, { 1200, 1800, QStringLiteral("Second line") } });
    }
    {
        SCOPED_TRACE("CP949 SRT");
        const QString out = output(box, "cp949");
        expectPhoneTracks(out, { QStringLiteral("kor") }, 18);
        expectCues(cues(out, 0), { { 500, 1500, QStringLiteral("한글 자막") } });
    }
    {
        SCOPED_TRACE("English SRT");
        const QString out = output(box, "english");
        expectPhoneTracks(out, { QStringLiteral("kor") }, 18);
        expectCues(cues(out, 0), { { 200, 1000, QStringLiteral("Hello <i>world</i>") }, { 1200, 1900, QStringLiteral("Second line") } });
    }
    {
        SCOPED_TRACE("ASS with colours");
        const QString out = output(box, "colours");
        expectPhoneTracks(out, { QStringLiteral("kor") }, 18);
        const QList<Cue> c = cues(out, 0);
        ASSERT_EQ(c.size(), 2);
        // A colour override holds to the end of its line.
        EXPECT_EQ(c[0].text.toLower(), QStringLiteral("<font color=\"#ff0000\">red</font>"));
        EXPECT_EQ(c[1].text.toLower(), QStringLiteral("plain <font color=\"#00ff00\">green</font>"));
        EXPECT_EQ(plain(c[1].text), QStringLiteral("Plain green"));
        EXPECT_EQ(c[0].start, 200);
        EXPECT_EQ(c[1].end, 1800);
    }
    EXPECT_EQ(fileHash(box.mediaDir() + QStringLiteral("/sami clip.smi")), samiBefore);
    EXPECT_TRUE(box.leftoverTempFiles().isEmpty()) << box.leftoverTempFiles().join(QLatin1Char(' ')).toStdString();
}

TEST(E2eSubtitles, NegativeAudioDelayShiftsTheExternalSubtitle)
{
    Sandbox box;
    // A source without audio of its own, so the external file's delay is the one used.
    const QString src = box.addMedia(QStringLiteral("avi_noaudio.avi"), QStringLiteral("late.avi"));
    box.addMedia(QStringLiteral("audio_51.ac3"), QStringLiteral("late DELAY -40ms.ac3"));
    QFile::copy(testMedia(QStringLiteral("sub_plain.srt")), box.mediaDir() + QStringLiteral("/late.srt"));

    const RunResult r = box.runCli({ QStringLiteral("--keep-temp"), QStringLiteral("--save-folder"), box.saveDir(), src });
    ASSERT_NE(r.exitCode, -1) << r.err.toStdString();
    expectDone(r, src);

    // The kept work files: the timed text and its copy 40 ms later.
    const QString work = box.keptWorkFolder();
    const QStringList adj = QDir(work).entryList({ QStringLiteral("*_adj.ttxt") });
    ASSERT_EQ(adj.size(), 1) << box.leftoverTempFiles().join(QLatin1Char(' ')).toStdString();
    const QString original = work + adj.first().chopped(9) + QStringLiteral(".ttxt");
    ASSERT_TRUE(QFile::exists(original));
    auto times = [](const QString &path) {
        QFile f(path);
        f.open(QIODevice::ReadOnly);
        static const QRegularExpression t(QStringLiteral("sampleTime=\"(\\d\\d:\\d\\d:\\d\\d\\.\\d\\d\\d)\""));
        QStringList out;
        for (auto it = t.globalMatch(QString::fromUtf8(f.readAll())); it.hasNext();)
            out << it.next().captured(1);
        return out;
    };
    const QStringList before = times(original), after = times(work + adj.first());
    ASSERT_FALSE(before.isEmpty());
    ASSERT_EQ(before.size(), after.size());
    for (qsizetype i = 0; i < before.size(); ++i) {
        const auto ms = [](const QString &s) { return srtTime(QString(s).replace(QLatin1Char('.'), QLatin1Char(','))); };
        EXPECT_EQ(ms(after[i]) - ms(before[i]), 40) << before[i].toStdString() << " " << after[i].toStdString();
    }

    // The output carries the shifted track, audio at 0 and video delayed by 40 ms.
    const QString out = output(box, "late");
    expectPhoneTracks(out, { QStringLiteral("kor") }, 18);
    expectCues(cues(out, 0), { { 240, 1040, QStringLiteral("Hello <i>world</i>") }, { 1240, 1940, QStringLiteral("Second line") } });
    const QList<QJsonObject> video = streams(probe(out), QStringLiteral("video"));
    ASSERT_EQ(video.size(), 1);
    EXPECT_EQ(video.first().value(QStringLiteral("start_time")).toString(), QStringLiteral("0.040000"));
}

// The timed text of text track n of an output, style records included.
mp4box::TimedText textTrack(const QString &file, size_t n)
{
    mp4box::TimedText tt;
    mp4box::Mp4File f;
    std::string error;
    if (!f.open(file.toStdString(), &error))
        return tt;
    size_t k = 0;
    for (const mp4box::Mp4Track &t : f.tracks()) {
        if (t.handler == mp4box::fourcc("vide") || t.handler == mp4box::fourcc("soun"))
            continue;
        if (k++ == n) {
            EXPECT_TRUE(mp4box::readTextTrack(f, t, &tt, &error)) << error;
            break;
        }
    }
    return tt;
}

TEST(E2eSubtitles, SubtitleFilesAsTheyComeFromTheRealWorld)
{
    Sandbox box;
    // SRT with trailing blanks after the times, '.' fractions, one-digit hours, a short
    // fraction, coordinates, CR-only line ends, an ASS override block, character
    // references, and bold and italic together.
    const QString quirky = box.addMedia(QStringLiteral("avi_noaudio.avi"), QStringLiteral("quirky.avi"));
    writeBytes(box.mediaDir() + QStringLiteral("/quirky.srt"),
               "1\r00:00:00,200 --> 00:00:00,600 \r{\\an8}&quot;one&quot; &lt;3\r\r"
               "2\r0:00:00.700 --> 0:00:01.1  X1:10 X2:20 Y1:5 Y2:9\r<b>bold <i>both</i></b> <i>italic</i>\r\r"
               "3\r00:00:01,200 --> 00:00:01,800\rthree\r");
    // UTF-16 big-endian SRT.
    const QString be = box.addMedia(QStringLiteral("avi_noaudio.avi"), QStringLiteral("big endian.avi"));
    QByteArray utf16be("\xFE\xFF", 2);
    for (QChar c : QStringLiteral("1\r\n00:00:00,500 --> 00:00:01,500\r\n한글 자막\r\n")) {
        utf16be.append(char(c.unicode() >> 8));
        utf16be.append(char(c.unicode() & 0xFF));
    }
    writeBytes(box.mediaDir() + QStringLiteral("/big endian.srt"), utf16be);
    // A SAMI file with a NUL byte in its first class's text, an HTML comment around a
    // whole sync, and a second class after it.
    const QString nul = box.addMedia(QStringLiteral("avi_noaudio.avi"), QStringLiteral("nul.avi"));
    writeBytes(box.mediaDir() + QStringLiteral("/nul.smi"),
               QByteArray("<SAMI><BODY>\r\n<SYNC Start=200><P Class=KRCC>하나") + QByteArray(1, '\0')
                   + "\r\n<SYNC Start=200><P Class=ENCC>one\r\n"
                     "<!-- <SYNC Start=600><P Class=KRCC>comment -->\r\n"
                     "<SYNC Start=1000><P Class=KRCC>  둘\r\n    &#49483;\r\n<SYNC Start=1000><P Class=ENCC>two\r\n"
                     "<SYNC Start=1800><P Class=KRCC>&nbsp;\r\n<SYNC Start=1800><P Class=ENCC>&nbsp;\r\n</BODY></SAMI>\r\n");

    const RunResult r = box.runCli({ QStringLiteral("--save-folder"), box.saveDir(), quirky, be, nul });
    ASSERT_EQ(r.exitCode, 0) << r.out.toStdString() << r.err.toStdString();
    for (const QString &src : { quirky, be, nul })
        expectDone(r, src);
    {
        SCOPED_TRACE("quirky SRT");
        const QString out = output(box, "quirky");
        expectPhoneTracks(out, { QStringLiteral("kor") }, 18);
        expectCues(cues(out, 0), { { 200, 600, QStringLiteral("\"one\" <3") },
                                   { 700, 1100, QStringLiteral("<b>bold </b><b><i>both</i></b> <i>italic</i>") },
                                   { 1200, 1800, QStringLiteral("three") } });
        // The style records themselves: "both" is one run, bold and italic.
        const mp4box::TimedText tt = textTrack(out, 0);
        const auto sample = std::find_if(tt.samples.begin(), tt.samples.end(),
                                         [](const mp4box::TimedTextSample &x) { return x.text == u"bold both italic"; });
        ASSERT_NE(sample, tt.samples.end());
        std::vector<std::tuple<int, int, bool, bool>> runs;
        for (const auto &st : sample->styles)
            runs.emplace_back(st.fromChar, st.toChar, st.bold, st.italic);
        EXPECT_EQ(runs, (std::vector<std::tuple<int, int, bool, bool>>{ { 0, 5, true, false }, { 5, 9, true, true },
                                                                        { 10, 16, false, true } }));
    }
    {
        SCOPED_TRACE("UTF-16BE SRT");
        const QString out = output(box, "big endian");
        expectPhoneTracks(out, { QStringLiteral("kor") }, 18);
        expectCues(cues(out, 0), { { 500, 1500, QStringLiteral("한글 자막") } });
    }
    {
        SCOPED_TRACE("SAMI with a NUL byte and a comment");
        const QString out = output(box, "nul");
        expectPhoneTracks(out, { QStringLiteral("kor"), QStringLiteral("eng") }, 18);
        expectCues(cues(out, 0), { { 200, 1000, QStringLiteral("하나") }, { 1000, 1800, QStringLiteral("둘\n셋") } });
        expectCues(cues(out, 1), { { 200, 1000, QStringLiteral("one") }, { 1000, 1800, QStringLiteral("two") } });
    }
}

TEST(E2eSubtitles, EveryLanguageItsOwnTrackAndFailuresShown)
{
    Sandbox box;
    // A plain Korean SRT, and beside it files named with a language: a SAMI whose
    // classes name theirs (one with an extra attribute), an English SRT, a Japanese ASS.
    const QString movie = box.addMedia(QStringLiteral("avi_noaudio.avi"), QStringLiteral("movie.avi"));
    const QString media = box.mediaDir() + QLatin1Char('/');
    writeBytes(media + QStringLiteral("movie.srt"), "1\n00:00:00,200 --> 00:00:01,000\n기본\n");
    writeBytes(media + QStringLiteral("movie.ko.smi"),
               "<SAMI><BODY><SYNC Start=200><P Class=KRCC Style=\"x\">가\r\n<SYNC Start=200><P Class=EGCC>a\r\n"
               "<SYNC Start=900><P Class=KRCC>&nbsp;<SYNC Start=900><P Class=EGCC>&nbsp;</BODY></SAMI>");
    writeBytes(media + QStringLiteral("movie.EN.srt"), "1\n00:00:00,300 --> 00:00:01,000\nEnglish\n");
    writeBytes(media + QStringLiteral("movie.jpn.ass"),
               "[Events]\nFormat: Layer, Start, End, Style, Text\nDialogue: 0,0:00:00.40,0:00:01.00,Default,日本\\h語\n");
    // Only a named file: it leads, with its own language.
    const QString named = box.addMedia(QStringLiteral("avi_noaudio.avi"), QStringLiteral("named.avi"));
    writeBytes(media + QStringLiteral("named.fr.srt"), "1\n00:00:00,200 --> 00:00:01,000\nfrançais\n");
    // A subtitle with no cue at all: the video converts, the row says the subtitle failed.
    const QString broken = box.addMedia(QStringLiteral("avi_noaudio.avi"), QStringLiteral("broken.avi"));
    writeBytes(media + QStringLiteral("broken.srt"), "not a subtitle\n");

    const RunResult r = box.runCli({ QStringLiteral("--save-folder"), box.saveDir(), movie, named, broken });
    EXPECT_EQ(r.exitCode, 3) << r.out.toStdString() << r.err.toStdString();
    const auto status = r.statusByPath();
    ASSERT_EQ(status.size(), 3u) << r.out.toStdString();
    EXPECT_TRUE(QRegularExpression(QStringLiteral("^완료: \\d+:\\d\\d$")).match(status.at(movie)).hasMatch()) << status.at(movie).toStdString();
    EXPECT_TRUE(QRegularExpression(QStringLiteral("^완료: \\d+:\\d\\d / 자막 실패$")).match(status.at(broken)).hasMatch())
        << status.at(broken).toStdString();
    EXPECT_TRUE(QFile::exists(output(box, "broken")));
    EXPECT_TRUE(streams(probe(output(box, "broken")), QStringLiteral("subtitle")).isEmpty());
    {
        SCOPED_TRACE("plain and named subtitles");
        const QString out = output(box, "movie");
        expectPhoneTracks(out, { QStringLiteral("kor"), QStringLiteral("kor"), QStringLiteral("eng"), QStringLiteral("eng"),
                                 QStringLiteral("jpn") },
                          18);
        expectCues(cues(out, 0), { { 200, 1000, QStringLiteral("기본") } });
        expectCues(cues(out, 1), { { 200, 900, QStringLiteral("가") } });
        expectCues(cues(out, 2), { { 200, 900, QStringLiteral("a") } });
        expectCues(cues(out, 3), { { 300, 1000, QStringLiteral("English") } });
        expectCues(cues(out, 4), { { 400, 1000, QStringLiteral("日本\u00A0語") } });
    }
    {
        SCOPED_TRACE("named only");
        const QString out = output(box, "named");
        expectPhoneTracks(out, { QStringLiteral("fra") }, 18);
        expectCues(cues(out, 0), { { 200, 1000, QStringLiteral("français") } });
    }
    EXPECT_TRUE(box.leftoverTempFiles().isEmpty()) << box.leftoverTempFiles().join(QLatin1Char(' ')).toStdString();
}

} // namespace
