// Failing outside tools and hostile surroundings, end to end: each tool in turn is
// replaced by one that is missing, exits at once, crashes, writes a truncated file,
// hangs until Stop or floods its output; then a read-only and a full save folder, a
// source deleted after it was listed, and sources that are not media. Each time the
// row shows its status text, the run goes on with the next row, no process is left
// behind and the temporary folder is empty (unless "임시파일 유지" is on). Last, results that
// came out wrong (sound cut short, picture shifted, a picture no device decodes) are not done.
#include "E2eSupport.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QThread>

#include <csignal>
#include <unistd.h>

#include <gtest/gtest.h>

using namespace e2e;

namespace {

// Sources, made once per test process. "mkv" reaches every tool but OGMDemuxer:
// MediaInfo, mkvextract (video), ffmpeg (AC-3 to PCM), chanfold (5.1),
// neroAacEnc, normalize (with --normalize) and MP4Box.
QString media(const QString &kind)
{
    static QTemporaryDir dir;
    if (kind == QLatin1String("ogm"))
        return testMedia(QStringLiteral("ogm_h264_mp3.ogm"));
    const QString path = dir.filePath(kind);
    if (QFileInfo::exists(path))
        return path;
    const QStringList video = { "-f", "lavfi", "-i", "testsrc=size=96x64:rate=10:duration=1" };
    const QStringList h264 = { "-c:v", "libx264", "-preset", "ultrafast", "-pix_fmt", "yuv420p" };
    const std::map<QString, QStringList> recipes = {
        { "mkv", video + QStringList{ "-f", "lavfi", "-i", "sine=sample_rate=48000:duration=1,aformat=channel_layouts=5.1" }
                     + h264 + QStringList{ "-c:a", "ac3", "-f", "matroska" } },
        { "mp4", video + QStringList{ "-f", "lavfi", "-i", "sine=sample_rate=48000:duration=1" } + h264
                     + QStringList{ "-c:a", "aac", "-f", "mp4" } },
        { "video.mp4", video + h264 + QStringList{ "-f", "mp4" } },
        // Long enough that half of it, or a second's shift, stands out of every tolerance.
        { "long.mkv", QStringList{ "-f", "lavfi", "-i", "testsrc=size=96x64:rate=25:duration=3", "-f", "lavfi", "-i",
                                   "sine=sample_rate=48000:duration=3" }
                          + h264 + QStringList{ "-c:a", "ac3", "-ac", "2", "-f", "matroska" } },
        { "h444.mkv", QStringList{ "-f", "lavfi", "-i", "testsrc=size=96x64:rate=25:duration=3" }
                          + QStringList{ "-c:v", "libx264", "-preset", "ultrafast", "-pix_fmt", "yuv444p", "-f", "matroska" } },
    };
    EXPECT_TRUE(ffmpeg(recipes.at(kind), path)) << kind.toStdString();
    return path;
}

QString extensionOf(const QString &kind)
{
    return kind.mid(kind.lastIndexOf(QLatin1Char('.')) + 1);
}

// A program folder whose tools/ links to the real tools, one of them replaced.
QString programFolder(const Sandbox &box, const QString &faulty, bool missing = false)
{
    const QString prog = box.root() + QStringLiteral("/prog/");
    const QString real = binDir() + QStringLiteral("/tools");
    QDir().mkpath(prog + QStringLiteral("tools/Nightly"));
    QDirIterator it(real, QDir::Files | QDir::Dirs | QDir::NoDotAndDotDot, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString path = it.next();
        const QString relative = path.mid(real.size() + 1);
        const QString link = prog + QStringLiteral("tools/") + relative;
        if (relative == QLatin1String("Nightly") || QFileInfo::exists(link))
            continue;
        QFile::link(path, link);
    }
    const QString target = prog + QStringLiteral("tools/") + faulty;
    QFile::remove(target);
    if (!missing)
        QFile::link(QStringLiteral(FAULT_TOOL_PATH), target);
    return prog;
}

bool alive(qint64 pid)
{
    QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
    if (!stat.open(QIODevice::ReadOnly))
        return false;
    const QByteArray text = stat.readAll();
    const qsizetype close = text.lastIndexOf(')');
    return close > 0 && text.mid(close + 2, 1) != "Z"; // a zombie runs nothing
}

// Live processes started from this sandbox (their command line names it), and the
// fault tool's own, helpers included.
QStringList leftoverProcessesNow(const Sandbox &box, const QString &state)
{
    QStringList faultPids;
    for (const QString &name : { QStringLiteral("pids"), QStringLiteral("hang.pids") }) {
        QFile f(state + QLatin1Char('/') + name);
        if (f.open(QIODevice::ReadOnly))
            faultPids += QString::fromLatin1(f.readAll()).split(QRegularExpression(QStringLiteral("\\s+")), Qt::SkipEmptyParts);
    }
    const QByteArray root = box.root().toUtf8();
    QStringList left;
    for (const QString &p : QDir(QStringLiteral("/proc")).entryList(QDir::Dirs) + faultPids) {
        bool ok = false;
        const qint64 pid = p.toLongLong(&ok);
        if (!ok || pid == getpid() || left.contains(p) || !alive(pid))
            continue;
        QFile cmd(QStringLiteral("/proc/%1/cmdline").arg(pid));
        if (faultPids.contains(p) || (cmd.open(QIODevice::ReadOnly) && cmd.readAll().contains(root)))
            left << p;
    }
    return left;
}

// A process killed with SIGKILL may take a moment to die; one that is still alive
// after two seconds was left behind.
QStringList leftoverProcesses(const Sandbox &box, const QString &state)
{
    QStringList left = leftoverProcessesNow(box, state);
    for (int i = 0; i < 40 && !left.isEmpty(); ++i) {
        QThread::msleep(50);
        left = leftoverProcessesNow(box, state);
    }
    return left;
}

struct Rows
{
    QString faulty, next;
};

// The row the fault hits, and a small one after it that must still convert.
Rows makeRows(const Sandbox &box, const QString &kind)
{
    Rows r;
    r.faulty = box.mediaDir() + QStringLiteral("/first clip.") + extensionOf(kind);
    r.next = box.mediaDir() + QStringLiteral("/next clip.mp4");
    EXPECT_TRUE(QFile::copy(media(kind), r.faulty));
    EXPECT_TRUE(QFile::copy(media(QStringLiteral("video.mp4")), r.next));
    return r;
}

// Which source reaches each tool, and what the first row shows when the tool's first
// call fails (exits at once or crashes).
struct ToolCase
{
    const char *tool;
    const char *kind;
    QStringList extraArgs;
    const char *failedStatus;    // exit / crash
    const char *truncatedStatus; // truncate; "완료: " means the job still finished
};

// The texts are those of the failing step. Three tools fail softly by design: a
// failed converting audio extraction (ffmpeg's first call for AC-3 in MKV) leaves the
// job without audio, a failed downmix encodes the undownmixed PCM, and a failed
// normalisation keeps the PCM as it was; those jobs finish, but a result without its
// sound, or with half of it, fails the result check and keeps its file.
const ToolCase kToolCases[] = {
    { "MediaInfo", "mkv", {}, "파일 읽기 오류", "완료: " },
    { "mkvextract", "mkv", {}, "비디오 추출 실패", "완료: " },
    { "ffmpeg", "mkv", {}, "결과 검증 실패", "결과 검증 실패" },
    { "chanfold", "mkv", {}, "완료: ", "완료: " },
    { "neroAacEnc", "mkv", {}, "오디오 변환 실패", "결과 검증 실패" },
    { "normalize", "mkv", { "--normalize" }, "완료: ", "결과 검증 실패" },
    { "MP4Box", "mkv", {}, "파일 생성 실패", "완료: " },
    { "OGMDemuxer", "ogm", {}, "비디오 추출 실패", "완료: " },
};

class E2eToolFaults : public ::testing::TestWithParam<ToolCase>
{
protected:
    void SetUp() override
    {
        state = box.root() + QStringLiteral("/fault-state");
        QDir().mkpath(state);
    }
    QStringList env(const QString &mode) const
    {
        return { QStringLiteral("MARBLEWAY_FAULT=") + mode, QStringLiteral("MARBLEWAY_FAULT_STATE=") + state,
                 QStringLiteral("MARBLEWAY_REAL_TOOLS=") + binDir() + QStringLiteral("/tools") };
    }
    void resetState()
    {
        QDir(state).removeRecursively();
        QDir().mkpath(state);
    }
    QStringList args(const Rows &rows, const QStringList &extra = QStringList()) const
    {
        return QStringList{ QStringLiteral("--save-folder"), box.saveDir() } + GetParam().extraArgs + extra
            + QStringList{ rows.faulty, rows.next };
    }
    void expectClean(const char *what)
    {
        SCOPED_TRACE(what);
        EXPECT_EQ(leftoverProcesses(box, state), QStringList());
        EXPECT_EQ(box.leftoverTempFiles(), QStringList());
        EXPECT_FALSE(QFile::exists(box.saveDir() + QStringLiteral("/progressing.mp4")));
        addFigure(QStringLiteral("faults_tried"), 1);
    }

    Sandbox box;
    QString state;
};

void PrintTo(const ToolCase &c, std::ostream *os)
{
    *os << c.tool;
}

std::string caseName(const ::testing::TestParamInfo<ToolCase> &info)
{
    return info.param.tool;
}

TEST_P(E2eToolFaults, MissingExitCrashTruncateFlood)
{
    const ToolCase &c = GetParam();
    const Rows rows = makeRows(box, QString::fromLatin1(c.kind));
    const QString tool = QString::fromLatin1(c.tool);
    const QString firstOut = box.saveDir() + QStringLiteral("/[Qor] first clip.mp4");
    const QString nextOut = box.saveDir() + QStringLiteral("/[Qor] next clip.mp4");

    {   // Missing: the tool check refuses the whole run.
        const RunResult r = box.runCli(args(rows), programFolder(box, tool, true));
        EXPECT_EQ(r.exitCode, 2);
        EXPECT_TRUE(r.err.contains(QStringLiteral("tools 폴더에 주요 파일이 없음!!"))) << r.err.toStdString();
        EXPECT_TRUE(r.statusByPath().empty());
        EXPECT_FALSE(QFile::exists(firstOut));
        expectClean("missing");
    }
    const QString prog = programFolder(box, tool);
    for (const char *mode : { "exit", "crash", "truncate", "flood" }) {
        SCOPED_TRACE(mode);
        resetState();
        QFile::remove(firstOut);
        QFile::remove(nextOut);
        auto run = box.startCli(args(rows), prog, env(QString::fromLatin1(mode)));
        const RunResult r = box.finish(std::move(run));
        const auto status = r.statusByPath();
        const QString expected = QString::fromUtf8(std::string_view(mode) == "truncate" ? c.truncatedStatus
                                                   : std::string_view(mode) == "flood"  ? "완료: "
                                                                                        : c.failedStatus);
        const QString first = status.count(rows.faulty) ? status.at(rows.faulty) : QString();
        if (expected.endsWith(QLatin1Char(' ')))
            EXPECT_TRUE(first.startsWith(expected)) << first.toStdString() << "\n" << r.err.toStdString();
        else
            EXPECT_EQ(first, expected) << r.err.toStdString();
        EXPECT_EQ(QFile::exists(firstOut),
                  first.startsWith(QStringLiteral("완료")) || first == QStringLiteral("결과 검증 실패"));
        // The run went on with the next row.
        const QString next = status.count(rows.next) ? status.at(rows.next) : QString();
        EXPECT_TRUE(next.startsWith(QStringLiteral("완료: "))) << next.toStdString() << "\n" << r.err.toStdString();
        EXPECT_TRUE(QFile::exists(nextOut));
        expectClean(mode);
    }
}

TEST_P(E2eToolFaults, HangUntilStop)
{
    const ToolCase &c = GetParam();
    const Rows rows = makeRows(box, QString::fromLatin1(c.kind));
    auto run = box.startCli(args(rows), programFolder(box, QString::fromLatin1(c.tool)), env(QStringLiteral("hang")));
    const QString pids = state + QStringLiteral("/hang.pids");
    for (int i = 0; i < 600 && !QFile::exists(pids) && run->process.state() == QProcess::Running; ++i)
        QThread::msleep(50);
    ASSERT_TRUE(QFile::exists(pids)) << run->process.readAllStandardError().toStdString();
    ::kill(pid_t(run->process.processId()), SIGINT); // Ctrl-C is Stop
    const RunResult r = box.finish(std::move(run), 60000);
    EXPECT_EQ(r.exitCode, 130) << r.err.toStdString();
    const auto status = r.statusByPath();
    EXPECT_TRUE(status.at(rows.faulty).startsWith(QStringLiteral("중단: "))) << status.at(rows.faulty).toStdString();
    EXPECT_EQ(status.at(rows.next), QStringLiteral("대기중"));
    EXPECT_TRUE(r.err.contains(QStringLiteral("작업 중단! / "))) << r.err.toStdString();
    expectClean("hang");
}

INSTANTIATE_TEST_SUITE_P(EachTool, E2eToolFaults, ::testing::ValuesIn(kToolCases), caseName);

TEST(E2eFaults, EveryToolOfTheToolsFolderIsTried)
{
    // A tool added to tools/ without a row above would go untested.
    QStringList tools = QDir(binDir() + QStringLiteral("/tools")).entryList(QDir::Files);
    ASSERT_FALSE(tools.isEmpty());
    for (const ToolCase &c : kToolCases)
        tools.removeAll(QString::fromLatin1(c.tool));
    EXPECT_EQ(tools, QStringList());
}

// Runs marbleway-cli in a mount namespace of its own with a small tmpfs over the save
// folder; false when this machine does not allow it.
bool canMountTmpfs()
{
    QProcess p;
    p.start(QStringLiteral("unshare"), { "-rm", "sh", "-c", "mount -t tmpfs -o size=16k none /mnt" });
    return p.waitForFinished(10000) && p.exitStatus() == QProcess::NormalExit && p.exitCode() == 0;
}

QStringList mountedSaveFolder(const Sandbox &box, const QString &options, const QString &filler)
{
    // The filler leaves the file system (almost) full before the run starts.
    const QString fill = filler.isEmpty() ? QString()
                                          : QStringLiteral(" && (head -c %1 /dev/zero > \"$0/filler\" || true)").arg(filler);
    const QString remount = options.contains(QStringLiteral("ro")) ? QStringLiteral(" && mount -o remount,ro \"$0\"") : QString();
    return { QStringLiteral("unshare"), QStringLiteral("-rm"), QStringLiteral("sh"), QStringLiteral("-c"),
             QStringLiteral("mount -t tmpfs -o %1 none \"$0\"%2%3 && exec \"$@\"")
                 .arg(options.contains(QStringLiteral("size")) ? options : QStringLiteral("size=1m"), fill, remount),
             box.saveDir() };
}

TEST(E2eFaults, KeepTempKeepsTheWorkFilesOfAFailedJob)
{
    // With "임시파일 유지" the failed job's files stay for the user to look at. (Only
    // the last job's: the intermediate names are fixed, and the next job reuses them.)
    Sandbox box;
    const QString state = box.root() + QStringLiteral("/fault-state");
    QDir().mkpath(state);
    const Rows rows = makeRows(box, QStringLiteral("mkv"));
    const RunResult r = box.finish(box.startCli(
        { QStringLiteral("--save-folder"), box.saveDir(), QStringLiteral("--keep-temp"), rows.faulty },
        programFolder(box, QStringLiteral("neroAacEnc")),
        { QStringLiteral("MARBLEWAY_FAULT=exit"), QStringLiteral("MARBLEWAY_FAULT_STATE=") + state,
          QStringLiteral("MARBLEWAY_REAL_TOOLS=") + binDir() + QStringLiteral("/tools") }));
    EXPECT_EQ(r.statusByPath()[rows.faulty], QStringLiteral("오디오 변환 실패"));
    EXPECT_TRUE(box.leftoverTempFiles().contains(QStringLiteral("extractedaudio.wav")))
        << box.leftoverTempFiles().join(QLatin1Char(' ')).toStdString();
    EXPECT_EQ(leftoverProcesses(box, state), QStringList());
    addFigure(QStringLiteral("faults_tried"), 1);
}

TEST(E2eFaults, ReadOnlyAndFullSaveFolder)
{
    if (!canMountTmpfs())
        GTEST_SKIP() << "no mount namespace here (unshare -rm with a tmpfs failed), so no small or read-only file system";
    struct Case
    {
        const char *what;
        QString options, filler;
    };
    for (const Case &c : { Case{ "read-only", QStringLiteral("ro"), QString() },
                           Case{ "full", QStringLiteral("size=16k"), QStringLiteral("16k") } }) {
        SCOPED_TRACE(c.what);
        Sandbox box;
        const Rows rows = makeRows(box, QStringLiteral("mkv"));
        box.setLauncher(mountedSaveFolder(box, c.options, c.filler));
        const RunResult r = box.runCli({ QStringLiteral("--save-folder"), box.saveDir(), rows.faulty, rows.next });
        const auto status = r.statusByPath();
        ASSERT_EQ(status.size(), 2u) << r.err.toStdString();
        EXPECT_EQ(status.at(rows.faulty), QStringLiteral("파일 생성 실패")) << r.err.toStdString();
        EXPECT_EQ(status.at(rows.next), QStringLiteral("파일 생성 실패"));
        EXPECT_EQ(box.leftoverTempFiles(), QStringList());
        addFigure(QStringLiteral("faults_tried"), 1);
    }
}

TEST(E2eFaults, SourceDeletedAfterListingAndSourcesThatAreNotMedia)
{
    Sandbox box;
    const Rows rows = makeRows(box, QStringLiteral("mp4"));
    const QString gone = box.mediaDir() + QStringLiteral("/deleted.mp4");
    ASSERT_TRUE(QFile::copy(media(QStringLiteral("mp4")), gone));
    const QString text = box.mediaDir() + QStringLiteral("/notes.mkv");
    const QString empty = box.mediaDir() + QStringLiteral("/empty.avi");
    const QString random = box.mediaDir() + QStringLiteral("/noise.mp4");
    {
        QFile f(text);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write("This is a shopping list, not a film.\nmilk\neggs\n");
        QFile(empty).open(QIODevice::WriteOnly);
        QFile n(random);
        ASSERT_TRUE(n.open(QIODevice::WriteOnly));
        QByteArray noise(64 * 1024, '\0');
        for (qsizetype i = 0; i < noise.size(); ++i)
            noise[i] = char((i * 7919 + 13) % 251);
        n.write(noise);
    }
    // The first row's probe removes the third row's source before that row starts.
    const QString state = box.root() + QStringLiteral("/fault-state");
    QDir().mkpath(state);
    box.expectSourceRemoved(gone);
    const RunResult r = box.finish(box.startCli(
        { QStringLiteral("--save-folder"), box.saveDir(), rows.faulty, text, gone, empty, random, rows.next },
        programFolder(box, QStringLiteral("MediaInfo")),
        { QStringLiteral("MARBLEWAY_FAULT=remove"), QStringLiteral("MARBLEWAY_FAULT_REMOVE=") + gone,
          QStringLiteral("MARBLEWAY_FAULT_STATE=") + state,
          QStringLiteral("MARBLEWAY_REAL_TOOLS=") + binDir() + QStringLiteral("/tools") }));
    const auto status = r.statusByPath();
    ASSERT_EQ(status.size(), 6u) << r.out.toStdString() << r.err.toStdString();
    EXPECT_TRUE(status.at(rows.faulty).startsWith(QStringLiteral("완료: "))) << r.err.toStdString();
    EXPECT_EQ(status.at(gone), QStringLiteral("원본 읽기 오류!"));
    EXPECT_EQ(status.at(text), QStringLiteral("파일 읽기 오류"));
    EXPECT_EQ(status.at(empty), QStringLiteral("파일 읽기 오류"));
    EXPECT_EQ(status.at(random), QStringLiteral("파일 읽기 오류"));
    EXPECT_TRUE(status.at(rows.next).startsWith(QStringLiteral("완료: ")));
    EXPECT_EQ(box.leftoverTempFiles(), QStringList());
    EXPECT_EQ(leftoverProcesses(box, state), QStringList());
    addFigure(QStringLiteral("faults_tried"), 4);
}

// The check of the finished file: a result that differs from its source keeps its file
// but is not called done; the same source without the fault, in the next row, is.
class E2eResultCheck : public ::testing::Test
{
protected:
    void SetUp() override { QDir().mkpath(state); }
    // Two rows: the faulty one (the tool's first call misbehaves) and a clean one.
    RunResult run(const QString &tool, const QStringList &fault, const QString &faultyKind, const QString &cleanKind,
                  const QStringList &options = QStringList())
    {
        faulty = box.mediaDir() + QStringLiteral("/faulty.mkv");
        clean = box.mediaDir() + QStringLiteral("/clean.mkv");
        EXPECT_TRUE(QFile::copy(media(faultyKind), faulty));
        EXPECT_TRUE(QFile::copy(media(cleanKind), clean));
        const QStringList env = QStringList{ QStringLiteral("MARBLEWAY_FAULT_STATE=") + state,
                                             QStringLiteral("MARBLEWAY_REAL_TOOLS=") + binDir() + QStringLiteral("/tools") }
            + fault;
        const RunResult r = box.finish(box.startCli(QStringList{ QStringLiteral("--save-folder"), box.saveDir() } + options
                                                        + QStringList{ faulty, clean },
                                                    programFolder(box, tool), env));
        const auto status = r.statusByPath();
        EXPECT_EQ(status.count(faulty) ? status.at(faulty) : QString(), QStringLiteral("결과 검증 실패")) << r.err.toStdString();
        EXPECT_TRUE(status.count(clean) && status.at(clean).startsWith(QStringLiteral("완료: "))) << r.out.toStdString();
        // A row that is not done counts against the run.
        EXPECT_EQ(r.exitCode, 1);
        EXPECT_TRUE(QFile::exists(cleanOut()));
        EXPECT_EQ(box.leftoverTempFiles(), QStringList());
        addFigure(QStringLiteral("faults_tried"), 1);
        return r;
    }
    QString faultyOut() const { return box.saveDir() + QStringLiteral("/[Qor] faulty.mp4"); }
    QString cleanOut() const { return box.saveDir() + QStringLiteral("/[Qor] clean.mp4"); }
    static double number(const QJsonObject &stream, const char *key)
    {
        return stream.value(QLatin1String(key)).toString().toDouble();
    }

    Sandbox box;
    QString state = box.root() + QStringLiteral("/fault-state");
    QString faulty, clean;
};

TEST_F(E2eResultCheck, TruncatedSoundIsNotDone)
{
    run(QStringLiteral("neroAacEnc"), { QStringLiteral("MARBLEWAY_FAULT=truncate") }, QStringLiteral("long.mkv"),
        QStringLiteral("long.mkv"));
    // The file stays for the user, with the half sound it has.
    const auto audio = streams(probe(faultyOut()), QStringLiteral("audio"));
    ASSERT_EQ(audio.size(), 1);
    EXPECT_LT(number(audio[0], "duration"), 2.0);
    EXPECT_GT(number(streams(probe(cleanOut()), QStringLiteral("audio")).value(0), "duration"), 2.9);
}

TEST_F(E2eResultCheck, PictureShiftedByASecondIsNotDone)
{
    // The muxer puts the picture a second late: the video track's delay (a few ms for
    // this source) gets "100" written in front of it.
    run(QStringLiteral("MP4Box"),
        { QStringLiteral("MARBLEWAY_FAULT=rewrite"), QStringLiteral("MARBLEWAY_FAULT_FROM=:level=3.0:delay="),
          QStringLiteral("MARBLEWAY_FAULT_TO=:level=3.0:delay=100") },
        QStringLiteral("long.mkv"), QStringLiteral("long.mkv"));
    const auto video = streams(probe(faultyOut()), QStringLiteral("video"));
    ASSERT_EQ(video.size(), 1);
    EXPECT_NEAR(number(video[0], "start_time"), 1.0, 0.05);
    EXPECT_NEAR(number(streams(probe(cleanOut()), QStringLiteral("video")).value(0), "start_time"), 0.0, 0.05);
}

TEST_F(E2eResultCheck, UndecodableProfileForcedThroughModeZeroIsNotDone)
{
    // Mode 0 copies H.264 without looking at it; the result check still looks.
    run(QStringLiteral("MP4Box"), {}, QStringLiteral("h444.mkv"), QStringLiteral("long.mkv"),
        { QStringLiteral("--mode"), QStringLiteral("0") });
    const auto video = streams(probe(faultyOut()), QStringLiteral("video"));
    ASSERT_EQ(video.size(), 1);
    EXPECT_EQ(video[0].value(QStringLiteral("pix_fmt")).toString(), QStringLiteral("yuv444p"));
    EXPECT_EQ(streams(probe(cleanOut()), QStringLiteral("video")).value(0).value(QStringLiteral("pix_fmt")).toString(),
              QStringLiteral("yuv420p"));
}

} // namespace

