// The pure parts of the subtitle stage: which source a job takes, the names and
// languages of its tracks, and the track options as the mux receives them.
#include "../QtPrinters.h"
#include "engine/MuxPlan.h"
#include "engine/SubtitleStage.h"

#include <gtest/gtest.h>

#include <utility>

namespace {

MediaReport reportWith(ContainerKind container, std::initializer_list<std::tuple<int, TextFormat, const char *>> tracks)
{
    MediaReport r{ QString(), QString() };
    r.iContainer = container;
    for (const auto &[id, format, language] : tracks) {
        TextTrack t;
        t.iID = id;
        t.iFormat = format;
        qstrncpy(t.szLanguage, language, sizeof t.szLanguage);
        r.text << t;
    }
    r.iTextCount = static_cast<int>(r.text.size());
    return r;
}

TEST(SubtitleSource, ExternalExtensionFirstWithCaseThenInternalTracksOfMkvAndMp4)
{
    const MediaReport mkv = reportWith(ContainerMkv, { { 3, TextSrt, "en" } });
    EXPECT_EQ(ChooseSubtitleSource(QStringLiteral("smi"), mkv), kSamiFile);
    EXPECT_EQ(ChooseSubtitleSource(QStringLiteral("srt"), mkv), kSrtFile);
    EXPECT_EQ(ChooseSubtitleSource(QStringLiteral("ass"), mkv), kAssFile);
    EXPECT_EQ(ChooseSubtitleSource(QStringLiteral("ssa"), mkv), kSsaFile);
    // The match is case-sensitive: an upper-case extension falls back to the internal tracks.
    EXPECT_EQ(ChooseSubtitleSource(QStringLiteral("SRT"), mkv), kInternalSubtitles);
    EXPECT_EQ(ChooseSubtitleSource(QString(), mkv), kInternalSubtitles);
    EXPECT_EQ(ChooseSubtitleSource(QString(), reportWith(ContainerMp4, { { 3, TextSrt, "" } })), kInternalSubtitles);
    EXPECT_EQ(ChooseSubtitleSource(QString(), reportWith(ContainerMkv, {})), kNoSubtitle);
    EXPECT_EQ(ChooseSubtitleSource(QString(), reportWith(ContainerOgg, { { 2, TextSrt, "" } })), kNoSubtitle);
    EXPECT_EQ(ChooseSubtitleSource(QStringLiteral("SMI"), reportWith(ContainerAvi, {})), kNoSubtitle);
}

TEST(SubtitleSource, SrtCodePageOnlyWhenDesignated)
{
    EXPECT_EQ(SrtReadCodePage(false, 949), 0);
    EXPECT_EQ(SrtReadCodePage(true, 949), 949);
    EXPECT_EQ(SrtReadCodePage(true, 852), 852);
}

TEST(SubtitleNames, WorkFolderNamesOfEveryTrackKind)
{
    const QString w = QStringLiteral("/w/");
    EXPECT_EQ(MkvTrackSrt(w, 3), QStringLiteral("/w/sub_003.srt"));
    EXPECT_EQ(MkvTrackSrt(w, 1234), QStringLiteral("/w/sub_1234.srt"));
    EXPECT_EQ(Mp4TrackTtxt(w, 3), QStringLiteral("/w/sub_3_text.ttxt"));
    EXPECT_EQ(TtxtNameFor(QStringLiteral("/w/movie.UTF8.srt")), QStringLiteral("/w/movie.UTF8.ttxt"));
    EXPECT_EQ(TtxtNameFor(QStringLiteral("/w/a.smi.2.srt")), QStringLiteral("/w/a.smi.2.ttxt"));
}

TEST(SubtitleNames, InternalTracksTakenPerContainer)
{
    const QString w = QStringLiteral("/w/");
    // MKV: SRT (ID 3, en), a VobSub-like track (ID 4) and ASS (ID 5, no language).
    const MediaReport mkv = reportWith(ContainerMkv, { { 3, TextSrt, "en" }, { 4, TextUnknown, "de" }, { 5, TextSsa, "" } });
    EXPECT_EQ(InternalTrackTtxt(ContainerMkv, mkv.text[0], w), QStringLiteral("/w/sub_003.ttxt"));
    EXPECT_EQ(InternalTrackTtxt(ContainerMkv, mkv.text[1], w), QString());
    EXPECT_EQ(InternalTrackTtxt(ContainerMkv, mkv.text[2], w), QStringLiteral("/w/sub_005.ttxt"));
    EXPECT_EQ(InternalTrackLanguage(mkv.text[0]), QStringLiteral("en"));
    EXPECT_EQ(InternalTrackLanguage(mkv.text[2]), QStringLiteral("ko"));
    // MP4: only timed-text tracks count; an SRT track in an MP4 gets nothing.
    const MediaReport mp4 = reportWith(ContainerMp4, { { 3, TextSrt, "" }, { 4, TextTtxt, "ja" } });
    EXPECT_EQ(InternalTrackTtxt(ContainerMp4, mp4.text[0], w), QString());
    EXPECT_EQ(InternalTrackTtxt(ContainerMp4, mp4.text[1], w), QStringLiteral("/w/sub_4_text.ttxt"));
    // A timed-text track of an MKV is not one mkvextract writes as SRT.
    EXPECT_EQ(InternalTrackTtxt(ContainerMkv, mp4.text[1], w), QString());
}

TEST(SubtitleNames, SamiEntriesGiveClassLanguageAndPath)
{
    SamiEntry e = ParseSamiEntry(QStringLiteral("\"KRCC\"/w/a.smi.1.srt"));
    EXPECT_EQ(e.className, QStringLiteral("KRCC"));
    EXPECT_EQ(e.srtPath, QStringLiteral("/w/a.smi.1.srt"));
    EXPECT_EQ(SamiClassLanguage(e.className), QStringLiteral("ko"));
    e = ParseSamiEntry(QStringLiteral("\"ENCC\"/w/a \"b\".smi.2.srt"));
    EXPECT_EQ(e.srtPath, QStringLiteral("/w/a \"b\".smi.2.srt")); // only the class is quoted
    EXPECT_EQ(SamiClassLanguage(e.className), QStringLiteral("en"));
    EXPECT_EQ(SamiClassLanguage(QStringLiteral("enusCC")), QStringLiteral("en"));
    EXPECT_EQ(SamiClassLanguage(QStringLiteral("JPCC")), QStringLiteral("ja"));
    EXPECT_EQ(SamiClassLanguage(QStringLiteral("jaCC")), QStringLiteral("ja"));
    EXPECT_EQ(SamiClassLanguage(QStringLiteral("SUBTTL")), QStringLiteral("ko"));
    EXPECT_EQ(SamiClassLanguage(QString()), QStringLiteral("ko"));
    // Class names the tables know, whatever their first letter; other attributes never
    // reach the name. Unknown names follow the first letter, or the file's own tag.
    const std::pair<const char *, const char *> known[] = {
        { "KOCC", "ko" },     { "koKR", "ko" }, { "EGCC", "en" },  { "EZNEENCC", "en" }, { "enUS", "en" },
        { "jaJP", "ja" },     { "deDE", "deu" }, { "frFR", "fra" }, { "zhHans", "zho" }, { "CNCC", "zho" },
        { "KOKR", "ko" },     { "kor", "ko" },
    };
    for (const auto &[name, language] : known)
        EXPECT_EQ(SamiClassLanguage(QString::fromLatin1(name)), QString::fromLatin1(language)) << name;
    EXPECT_EQ(SamiClassLanguage(QStringLiteral("SUBTTL"), QStringLiteral("en")), QStringLiteral("en"));
    EXPECT_EQ(SamiClassLanguage(QStringLiteral("KRCC"), QStringLiteral("en")), QStringLiteral("ko"));
    EXPECT_EQ(SamiClassLanguage(QStringLiteral("Eng1")), QStringLiteral("en"));
    // File name tags: ISO codes in any case, with a region, and the usual Korean
    // shorthands; anything else is no language.
    for (const char *tag : { "ko", "KOR", "ko-KR", "kr" })
        EXPECT_EQ(LanguageOfTag(QString::fromLatin1(tag)), QStringLiteral("ko")) << tag;
    EXPECT_EQ(LanguageOfTag(QStringLiteral("chs")), QStringLiteral("zho"));
    EXPECT_EQ(LanguageOfTag(QStringLiteral("pt_BR")), QStringLiteral("por"));
    for (const char *tag : { "part1", "x", "xx", "sdh", "" })
        EXPECT_EQ(LanguageOfTag(QString::fromLatin1(tag)), QString()) << tag;
    e = ParseSamiEntry(QStringLiteral("/w/plain.srt"));
    EXPECT_EQ(e.className, QString());
    EXPECT_EQ(e.srtPath, QStringLiteral("/w/plain.srt"));
}

TEST(SubtitleOptions, FormsWithAndWithoutLayout)
{
    EXPECT_EQ(SubtitleTrackOption(QStringLiteral("/w/sub_003.ttxt"), QStringLiteral("en"), true),
              QStringLiteral(" -add \"/w/sub_003.ttxt\":lang=en:layout=0x60x0x-1:hdlr=sbtl:group=2:disable"));
    EXPECT_EQ(SubtitleTrackOption(QStringLiteral("/w/SUB.ttxt"), QStringLiteral("ko"), false),
              QStringLiteral(" -add \"/w/SUB.ttxt\":lang=ko:hdlr=sbtl:group=2:disable"));
}

TEST(SubtitleOptions, MissingTracksAreTakenOutAndTheFirstRemainingOneIsEnabled)
{
    const QString audio = AudioTrackOption(QStringLiteral("/w/temp.aac"));
    const QString a = SubtitleTrackOption(QStringLiteral("/w/sub_003.ttxt"), QStringLiteral("en"), true);
    const QString b = SubtitleTrackOption(QStringLiteral("/w/sub_005.ttxt"), QStringLiteral("ko"), true);
    const QString c = SubtitleTrackOption(QStringLiteral("/w/x y.ttxt"), QStringLiteral("ko"), false);
    const QString all = audio + a + b + c;

    QStringList dropped;
    const QString withoutFirst = WithoutSubtitleTracks(
        all, [](const QString &f) { return !f.endsWith(QStringLiteral("sub_003.ttxt")); }, &dropped);
    EXPECT_EQ(withoutFirst, audio + b + c);
    EXPECT_EQ(dropped, QStringList{ QStringLiteral("/w/sub_003.ttxt") });
    const QString args = ComposeMuxArgs(QStringLiteral(" -add \"v.h264\""), QStringLiteral(" -par 1=1:1"), withoutFirst,
                                        QStringLiteral("/o/progressing.mp4"));
    EXPECT_TRUE(args.contains(QStringLiteral("sub_005.ttxt\":lang=ko:layout=0x60x0x-1:hdlr=sbtl:group=2 -add")));
    EXPECT_TRUE(args.contains(QStringLiteral("x y.ttxt\":lang=ko:hdlr=sbtl:group=2:disable \"")));

    EXPECT_EQ(WithoutSubtitleTracks(all, [](const QString &f) { return f.contains(QLatin1Char(' ')); }), audio + c);
    EXPECT_EQ(WithoutSubtitleTracks(all, [](const QString &) { return false; }), audio);
    EXPECT_EQ(WithoutSubtitleTracks(all, [](const QString &) { return true; }), all);
    // The audio option never counts as a subtitle track.
    EXPECT_EQ(WithoutSubtitleTracks(audio, [](const QString &) { return false; }), audio);
}

} // namespace
