// Hostile names through marbleway-cli with the real tools: each name either converts
// to its "[Qor] " file or is refused when added and counted in the message; no name
// ever runs another program (a canary file PWNED never appears). The same names
// serve as source names, as the save folder and as the temporary folder.
#include "E2eSupport.h"
#include "engine/JobDriver.h"
#include "engine/SourceFiles.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>

#include <gtest/gtest.h>

using namespace e2e;

namespace {

// The sources the names are given to, in turn. Add a kind here and every name is
// also tried with it. Windows Media goes through the two-pass re-encode (the runs use
// mode 2, which re-encodes what cannot be copied).
struct SourceKind
{
    const char *recipe; // key of kRecipes
    const char *ext;
};
const SourceKind kKinds[] = { { "mkv_h264_ac3", "mkv" }, { "mp4_h264_aac", "mp4" }, { "avi_h264_mp3", "avi" },
                              { "flv_h264_aac", "flv" }, { "wmv_wmv2_wma", "wmv" } };

struct Recipe
{
    const char *name;
    QStringList args;
};

const QStringList kVideo = { "-f", "lavfi", "-i", "testsrc=size=96x64:rate=10:duration=1" };
const QStringList kH264 = { "-c:v", "libx264", "-preset", "ultrafast", "-pix_fmt", "yuv420p" };
QStringList tone(const char *layout)
{
    return { "-f", "lavfi", "-i", QStringLiteral("sine=sample_rate=48000:duration=1,aformat=channel_layouts=%1").arg(QLatin1String(layout)) };
}

// Made once per test process, then copied under each name.
QString media(const char *recipe)
{
    static QTemporaryDir dir;
    const QString path = dir.filePath(QString::fromLatin1(recipe));
    if (QFileInfo::exists(path))
        return path;
    const std::map<QString, QStringList> recipes = {
        { "mkv_h264_ac3", kVideo + tone("5.1") + kH264 + QStringList{ "-c:a", "ac3", "-f", "matroska" } },
        { "mp4_h264_aac", kVideo + tone("stereo") + kH264 + QStringList{ "-c:a", "aac", "-f", "mp4" } },
        { "avi_h264_mp3", kVideo + tone("stereo") + kH264 + QStringList{ "-c:a", "libmp3lame", "-f", "avi" } },
        { "flv_h264_aac", kVideo + tone("stereo") + kH264 + QStringList{ "-c:a", "aac", "-f", "flv" } },
        { "wmv_wmv2_wma", kVideo + tone("stereo") + QStringList{ "-c:v", "wmv2", "-c:a", "wmav2", "-f", "asf" } },
        { "mp4_h264", kVideo + kH264 + QStringList{ "-f", "mp4" } },
        { "ac3_51", tone("5.1") + QStringList{ "-c:a", "ac3", "-f", "ac3" } },
    };
    EXPECT_TRUE(ffmpeg(recipes.at(QString::fromLatin1(recipe)), path)) << recipe;
    return path;
}

struct HostileName
{
    QString name; // without extension
    bool refused; // a step script cannot carry it: refused when added
};

// 200 characters, and a long Hangul name that still fits the 255-byte limit of a
// file name once "[Qor] " and ".mp4" are added.
QString longAscii()
{
    QString s;
    while (s.size() < 200)
        s += QStringLiteral("long name ");
    return s.left(200);
}

const QList<HostileName> &hostileNames()
{
    static const QList<HostileName> names = {
        { QStringLiteral("two  spaces and trailing "), false },
        { QStringLiteral(" leading space"), false },
        { QStringLiteral("-leading dash"), false },
        { QStringLiteral("--help"), false },
        { QStringLiteral("%1 %2"), false },
        { QStringLiteral("100% %s %d %n %%"), false },
        { QStringLiteral("%PATH% %~dp0"), false },
        { QStringLiteral("$(touch PWNED)"), false },
        { QStringLiteral("`touch PWNED`"), false },
        { QStringLiteral("a; touch PWNED"), false },
        { QStringLiteral("a & touch PWNED"), false },
        { QStringLiteral("a | touch PWNED"), false },
        { QStringLiteral("a > PWNED"), false },
        { QStringLiteral("it's"), false },
        { QStringLiteral("wow!"), false },
        { QStringLiteral("^caret ^& !x!"), false },
        { QStringLiteral("*star?"), false },
        { QStringLiteral("[Qor] already converted"), false },
        { QString::fromUtf16(u"한글 영화 (2011)"), false },
        { QString::fromUtf16(u"\u1112\u1161\u11AB\u1100\u1173\u11AF \u110B\u1167\u11BC\u1112\u116A"), false }, // 한글 영화, decomposed
        { longAscii(), false },
        { QString(75, QChar(0xD55C)), false }, // 225 bytes of "한"
        { QStringLiteral("emoji \U0001F3AC"), false },
        { QStringLiteral("progressing"), false },
        { QStringLiteral("say \"hi\""), true },
        { QStringLiteral("line\nbreak"), true },
        { QStringLiteral("carriage\rreturn"), true },
        { QStringLiteral("tab\there"), true },
        { QStringLiteral("back\\slash"), true },
    };
    return names;
}

struct Companion
{
    QString name;       // the source's name without extension
    const char *ext;
    const char *recipe; // media() key, or nullptr for text
    QByteArray text;
};
const Companion kCompanions[] = {
    { QStringLiteral("$(touch PWNED)"), "ac3", "ac3_51", {} },
    { QStringLiteral("a; touch PWNED"), "ac3", "ac3_51", {} },
    { QStringLiteral("it's"), "srt", nullptr, "1\r\n00:00:00,200 --> 00:00:00,900\r\nit's <i>fine</i>\r\n\r\n" },
    { QString::fromUtf16(u"한글 영화 (2011)"), "smi", nullptr,
      "<SAMI><BODY><SYNC Start=200><P Class=KRCC>\xed\x95\x9c\xea\xb8\x80</SAMI>" },
};

// The canary: no name may ever have been run as a command.
QStringList canaries(const Sandbox &box)
{
    QStringList found;
    for (const QString &root : { box.root(), QDir::currentPath(), QDir::tempPath() }) {
        QDirIterator it(root, { QStringLiteral("PWNED*") }, QDir::Files | QDir::Hidden,
                        root == box.root() ? QDirIterator::Subdirectories : QDirIterator::NoIteratorFlags);
        while (it.hasNext())
            found << it.next();
    }
    return found;
}

QString printable(QString s)
{
    return s.replace(QLatin1Char('\n'), QStringLiteral("\\n")).replace(QLatin1Char('\r'), QStringLiteral("\\r"))
        .replace(QLatin1Char('\t'), QStringLiteral("\\t"));
}

// The names in two halves, each its own test, so that the two run side by side.
QList<HostileName> half(int part)
{
    QList<HostileName> out;
    for (qsizetype i = part; i < hostileNames().size(); i += 2)
        out << hostileNames().at(i);
    return out;
}

class E2eHostileNames : public ::testing::TestWithParam<int>
{
};

TEST_P(E2eHostileNames, SourceNames)
{
    Sandbox box;
    QStringList files;
    QList<QPair<QString, HostileName>> accepted;
    int refused = 0;
    int i = 0;
    const QList<HostileName> names = half(GetParam());
    for (const HostileName &n : names) {
        // progressing.mp4 is the name the mux writes beside the source: it must stay an mp4.
        const SourceKind &kind = n.name == QLatin1String("progressing") ? kKinds[1] : kKinds[i++ % std::size(kKinds)];
        const QString path = box.mediaDir() + QLatin1Char('/') + n.name + QLatin1Char('.') + QLatin1String(kind.ext);
        ASSERT_TRUE(QFile::copy(media(kind.recipe), path)) << printable(path).toStdString();
        files << path;
        if (n.refused)
            ++refused;
        else
            accepted.append({ path, n });
    }
    // Companion audio and subtitle files beside some of them, so that such names are
    // read through those paths too (and checksummed with the sources).
    for (const Companion &c : kCompanions) {
        const QString base = box.mediaDir() + QLatin1Char('/') + c.name;
        bool listed = false;
        for (const SourceKind &k : kKinds)
            listed = listed || files.contains(base + QLatin1Char('.') + QLatin1String(k.ext));
        if (!listed)
            continue;
        const QString path = base + QLatin1Char('.') + QLatin1String(c.ext);
        if (c.recipe) {
            ASSERT_TRUE(QFile::copy(media(c.recipe), path));
        } else {
            QFile f(path);
            ASSERT_TRUE(f.open(QIODevice::WriteOnly));
            f.write(c.text);
        }
    }

    const RunResult r = box.runCli(QStringList{ QStringLiteral("--mode"), QStringLiteral("2") } + files);
    addFigure(QStringLiteral("hostile_source_names"), names.size());
    addFigure(QStringLiteral("hostile_source_names_refused"), refused);

    AddFilesResult expected;
    expected.unsafe = refused;
    EXPECT_TRUE(r.err.contains(AddFilesMessage(expected))) << r.err.toStdString();
    const auto status = r.statusByPath();
    int converted = 0;
    for (const auto &[path, n] : accepted) {
        SCOPED_TRACE(printable(n.name).toStdString());
        const QString st = status.count(path) ? status.at(path) : QStringLiteral("(not listed)");
        // Names written as conjoining jamo come out composed.
        const QString out = box.mediaDir() + QStringLiteral("/[Qor] ") + n.name.normalized(QString::NormalizationForm_C)
            + QStringLiteral(".mp4");
        EXPECT_TRUE(st.startsWith(QStringLiteral("완료: "))) << st.toStdString();
        EXPECT_TRUE(QFile::exists(out));
        EXPECT_EQ(streams(probe(out), QStringLiteral("video")).size(), 1);
        converted += QFile::exists(out) ? 1 : 0;
    }
    EXPECT_EQ(status.size(), size_t(accepted.size())) << r.out.toStdString();
    addFigure(QStringLiteral("hostile_source_names_converted"), converted);
    EXPECT_EQ(canaries(box), QStringList());
    EXPECT_EQ(box.leftoverTempFiles(), QStringList());
    EXPECT_EQ(r.exitCode, 1); // refused names count as files not converted
}

// One run per name: the name as the save folder and as the temporary folder. A name a
// script cannot carry is refused as either (nothing runs).
TEST_P(E2eHostileNames, FolderNames)
{
    Sandbox box;
    const QString source = box.mediaDir() + QStringLiteral("/clip.mp4");
    ASSERT_TRUE(QFile::copy(media("mp4_h264"), source));
    const QString out = QStringLiteral("/[Qor] clip.mp4");
    int tried = 0, refused = 0, converted = 0;
    for (const HostileName &n : half(GetParam())) {
        SCOPED_TRACE(printable(n.name).toStdString());
        const QString save = box.root() + QStringLiteral("/saves/") + n.name;
        const QString temp = box.root() + QStringLiteral("/temps/") + n.name;
        ASSERT_TRUE(QDir().mkpath(save));
        ASSERT_TRUE(QDir().mkpath(temp));
        tried += 2;
        if (!n.refused) {
            const RunResult r = box.runCli({ "--temp-folder", temp, "--save-folder", save, source });
            EXPECT_TRUE(r.statusByPath()[source].startsWith(QStringLiteral("완료: "))) << r.err.toStdString();
            EXPECT_TRUE(QFile::exists(save + out));
            converted += QFile::exists(save + out) ? 2 : 0; // one run, both folders
            EXPECT_EQ(QDir(temp).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden), QStringList());
            continue;
        }
        refused += 2;
        // As the save folder: refused before anything runs.
        const RunResult asSave = box.runCli({ "--save-folder", save, source });
        EXPECT_EQ(asSave.exitCode, 2) << asSave.err.toStdString();
        EXPECT_TRUE(asSave.err.contains(kUnsafeSaveFolderMessage)) << asSave.err.toStdString();
        EXPECT_TRUE(asSave.statusByPath().empty());
        EXPECT_EQ(QDir(save).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden), QStringList());
        // As the temporary folder asked for by name: refused too, never swapped for another.
        const RunResult asTemp = box.runCli({ "--temp-folder", temp, "--save-folder", box.saveDir(), source });
        EXPECT_EQ(asTemp.exitCode, 2) << asTemp.err.toStdString();
        EXPECT_TRUE(asTemp.err.contains(QStringLiteral("임시폴더 이름에 사용할 수 없는 문자 포함: ") + temp))
            << asTemp.err.toStdString();
        EXPECT_TRUE(asTemp.statusByPath().empty());
        EXPECT_EQ(QDir(temp).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden), QStringList());
    }
    addFigure(QStringLiteral("hostile_folder_names"), tried);
    addFigure(QStringLiteral("hostile_folder_names_refused"), refused);
    addFigure(QStringLiteral("hostile_folder_names_converted"), converted);
    EXPECT_EQ(canaries(box), QStringList());
}

INSTANTIATE_TEST_SUITE_P(Half, E2eHostileNames, ::testing::Values(0, 1));

} // namespace
