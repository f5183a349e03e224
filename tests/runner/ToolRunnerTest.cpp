#include "runner/CommandScript.h"
#include "runner/RunTool.h"
#include "runner/ToolRunner.h"

#include "TestSupport.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QTimer>

#include <gtest/gtest.h>

#include <csignal>
#include <functional>
#include <spawn.h>
#include <sys/wait.h>

extern char **environ;

using namespace testsupport;

namespace {

const QString kFinished = QStringLiteral("Job Finished.");
const QString kCanceled = QStringLiteral("Job Canceled. Process terminated successfully.");
const QString kProcessing = QStringLiteral("processing...");

class ToolRunnerTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ensureApp();
        root = freshFolder(QStringLiteral("runner"));
        // Tools and work folder in paths with a space and Hangul, as users have them.
        tools = root + QStringLiteral("/my tools 도구");
        work = root + QStringLiteral("/work 폴더/");
        QDir().mkpath(tools);
        QDir().mkpath(work);
    }

    QString tool(const QString &name, const QByteArray &body)
    {
        const QString path = tools + QLatin1Char('/') + name;
        writeTool(path, body);
        return path;
    }

    void runTool(const QString &toolPath, const QString &arguments)
    {
        RunTool(host, work, toolPath, toolPath, arguments);
    }

    static QString quoted(const QString &s) { return QLatin1Char('"') + s + QLatin1Char('"'); }

    RecordingHost host;
    QString root, tools, work;
};

// Presses Stop on host once ready() holds, looking every 20 ms; after 10 s it presses
// anyway, so a tool that never gets ready cannot hang the suite.
class StopWhen
{
public:
    StopWhen(RecordingHost &host, std::function<bool()> ready)
    {
        QObject::connect(&m_timer, &QTimer::timeout, [this, &host, ready = std::move(ready)] {
            if (ready() || ++m_ticks > 500)
                host.requestStop();
        });
        m_timer.start(20);
    }

private:
    QTimer m_timer;
    int m_ticks = 0;
};

bool isElapsedText(const QString &s)
{
    static const QRegularExpression re(QStringLiteral("^\\d+:\\d\\d(:\\d\\d)?$"));
    return re.match(s).hasMatch();
}

} // namespace

TEST_F(ToolRunnerTest, ProgressLinesReachStatusPartsOneAndTwo)
{
    const QString t = tool(QStringLiteral("enc"),
                           "printf 'frame=  812 fps= 41 q=28.0 size=    2048kB time=32.40 bitrate= 517.8kbits/s\\r'\n"
                           "sleep 0.3\n"
                           "printf 'Processed 42 seconds... (ETA 0:10)\\r'\n");
    runTool(t, QString());

    const QStringList texts = host.texts(2);
    ASSERT_GE(texts.size(), 4);
    EXPECT_EQ(texts.first(), kProcessing);
    EXPECT_TRUE(texts.contains(
        QStringLiteral("frame=  812 fps= 41 q=28.0 size=    2048kB time=32.40 bitrate= 517.8kbits/s")));
    EXPECT_TRUE(texts.contains(QStringLiteral("Processed 42 seconds...")));
    EXPECT_EQ(texts.at(texts.size() - 2), kFinished);
    // Every text of part 2 comes right after an elapsed time in part 1.
    for (size_t i = 0; i + 1 < host.calls.size(); ++i) {
        if (host.calls[i + 1].first == 2 && !host.calls[i + 1].second.isEmpty()) {
            EXPECT_EQ(host.calls[i].first, 1);
            EXPECT_TRUE(isElapsedText(host.calls[i].second)) << qPrintable(host.calls[i].second);
        }
    }
    // After RunTool: the script is gone and parts 1 and 2 are empty.
    EXPECT_FALSE(QFile::exists(work + QStringLiteral("runapp.cmd")));
    EXPECT_EQ(host.last(1), QString());
    EXPECT_EQ(host.last(2), QString());
    EXPECT_EQ(host.currentRunner, nullptr);
}

TEST_F(ToolRunnerTest, SilentToolKeepsTheStartMessageUntilTheEnd)
{
    runTool(tool(QStringLiteral("quiet"), "sleep 0.3\n"), QString());
    EXPECT_EQ(host.texts(2), QStringList({ kProcessing, kFinished, QString() }));
}

TEST_F(ToolRunnerTest, ChildRunsNiceInAProcessGroupOfItsOwn)
{
    const QString out = root + QStringLiteral("/stat.txt");
    runTool(tool(QStringLiteral("who"), "cat /proc/$$/stat > \"$1\"\n"), quoted(out));
    const QByteArray stat = readFile(out);
    ASSERT_FALSE(stat.isEmpty());
    // Fields after "(comm)": state ppid pgrp session tty tpgid flags minflt cminflt majflt
    // cmajflt utime stime cutime cstime priority nice ...
    const QList<QByteArray> f = stat.mid(stat.lastIndexOf(')') + 2).split(' ');
    const QByteArray pid = stat.left(stat.indexOf(' '));
    ASSERT_GT(f.size(), 16);
    EXPECT_EQ(f.at(2), pid) << "process group";
    EXPECT_GE(f.at(16).toInt(), 10) << "niceness";
}

TEST_F(ToolRunnerTest, FloodOfOutputIsReadToTheEndAndTheRunEnds)
{
    // Several megabytes without pause (written by the tool's own children), then
    // one last progress line after the flood.
    const QString t = tool(QStringLiteral("flood"),
                           "yes 'frame=  1 fps= 1 time=00:00:01.00 bitrate= 1.0kbits/s' | head -c 6000000\n"
                           "head -c 2000000 /dev/zero\n"
                           "sleep 0.3\n"
                           "printf 'Processed 77 seconds... (ETA 0:00)\\n'\n");
    runTool(t, QString());
    const QStringList texts = host.texts(2);
    ASSERT_GE(texts.size(), 3);
    EXPECT_EQ(texts.at(texts.size() - 2), kFinished);
    EXPECT_EQ(texts.at(texts.size() - 3), QStringLiteral("Processed 77 seconds..."));
}

TEST_F(ToolRunnerTest, StopEndsAHangingToolAndItsChildrenAndNothingElse)
{
    // The tool shares its image name with an unrelated process this test starts.
    const QString t = tool(QStringLiteral("sleep"),
                           "/bin/sleep 1000 &\n"
                           "echo $! > \"$1/grandchild.pid\"\n"
                           "echo $$ > \"$1/tool.pid\"\n"
                           "wait\n");
    pid_t unrelated = -1;
    char arg0[] = "sleep", arg1[] = "1000";
    char *argv[] = { arg0, arg1, nullptr };
    ASSERT_EQ(posix_spawnp(&unrelated, "sleep", nullptr, nullptr, argv, environ), 0);

    const QString toolPid = root + QStringLiteral("/tool.pid");
    const QString childPid = root + QStringLiteral("/grandchild.pid");
    {
        // Press Stop once the tool and its child are known to run.
        StopWhen stop(host, [&] { return QFile::exists(toolPid) && QFile::exists(childPid) && readPid(childPid) > 0; });
        runTool(t, quoted(root));
    }

    EXPECT_TRUE(host.stopRequested);
    EXPECT_TRUE(host.shown(2, kCanceled));
    EXPECT_FALSE(host.shown(2, kFinished));
    EXPECT_EQ(host.currentRunner, nullptr);
    EXPECT_FALSE(QFile::exists(work + QStringLiteral("runapp.cmd")));

    const pid_t toolProcess = readPid(toolPid);
    const pid_t grandchild = readPid(childPid);
    ASSERT_GT(toolProcess, 0);
    ASSERT_GT(grandchild, 0);
    EXPECT_TRUE(waitGone(toolProcess));
    EXPECT_TRUE(waitGone(grandchild));
    EXPECT_FALSE(processGone(unrelated)) << "a process this program did not start was ended";

    kill(unrelated, SIGKILL);
    waitpid(unrelated, nullptr, 0);
}

TEST_F(ToolRunnerTest, StopLetsToolsCleanUpAndStillEndsOnesThatIgnoreIt)
{
    // A tool that removes its scratch file on SIGTERM (kept in TMPDIR, which is the work
    // folder) and a tool that ignores SIGTERM altogether.
    const QString cleaning = tool(QStringLiteral("cleaning"),
                                  "scratch=\"$TMPDIR/scratch.$$\"\n"
                                  "trap 'rm -f \"$scratch\"; exit 143' TERM\n"
                                  ": > \"$scratch\"\n"
                                  "echo \"$scratch\" > \"$1/scratch.path\"\n"
                                  "echo $$ > \"$1/tool.pid\"\n"
                                  "while :; do sleep 0.01; done\n");
    const QString stubborn = tool(QStringLiteral("stubborn"),
                                  "trap '' TERM\n"
                                  "echo $$ > \"$1/tool.pid\"\n"
                                  "while :; do sleep 0.01; done\n");
    const QString toolPid = root + QStringLiteral("/tool.pid");
    for (const QString &t : { cleaning, stubborn }) {
        QFile::remove(toolPid);
        RecordingHost stopHost;
        {
            StopWhen stop(stopHost, [&] { return readPid(toolPid) > 0; });
            RunTool(stopHost, work, t, t, quoted(root));
        }
        EXPECT_TRUE(stopHost.shown(2, kCanceled)) << t.toStdString();
        const pid_t pid = readPid(toolPid);
        ASSERT_GT(pid, 0) << t.toStdString();
        EXPECT_TRUE(processGone(pid)) << t.toStdString();
        if (t == cleaning) {
            const QString scratch = QString::fromUtf8(readFile(root + QStringLiteral("/scratch.path"))).trimmed();
            EXPECT_EQ(QFileInfo(scratch).absolutePath(), QFileInfo(work + QStringLiteral("x")).absolutePath());
            EXPECT_FALSE(QFile::exists(scratch)) << "the tool got no chance to clean up";
        }
    }
}

TEST_F(ToolRunnerTest, UnknownScriptLineFailsLikeAProcessThatCannotBeCreated)
{
    const QString marker = root + QStringLiteral("/ran");
    const QString t = tool(QStringLiteral("mark"), "touch \"$1\"\n");
    const QString script = work + QStringLiteral("runapp.cmd");
    RunScript(host, script, { QStringLiteral("echo hello"), runner::toolCommandLine(t, quoted(marker)) },
              QStringLiteral("mark"));
    RunScript(host, script, { runner::toolCommandLine(t, quoted(marker) + QStringLiteral(" | more")) },
              QStringLiteral("mark"));
    EXPECT_FALSE(QFile::exists(marker));
    const QStringList texts = host.texts(2);
    ASSERT_EQ(texts.size(), 4);
    EXPECT_TRUE(texts.at(0).startsWith(QStringLiteral("Error creating process\r\n")));
    EXPECT_TRUE(texts.at(2).startsWith(QStringLiteral("Error creating process\r\n")));
    EXPECT_FALSE(host.shown(2, kFinished));
    EXPECT_FALSE(QFile::exists(script));
}

TEST_F(ToolRunnerTest, MissingOrUnrunnableToolFailsToStart)
{
    runTool(tools + QStringLiteral("/absent"), QString());
    const QString notExecutable = tools + QStringLiteral("/plain");
    writeFile(notExecutable, "#!/bin/sh\nexit 0\n");
    runTool(notExecutable, QString());
    const QStringList texts = host.texts(2);
    ASSERT_EQ(texts.size(), 4);
    EXPECT_TRUE(texts.at(0).startsWith(QStringLiteral("Error creating process\r\n")));
    EXPECT_TRUE(texts.at(2).startsWith(QStringLiteral("Error creating process\r\n")));
    EXPECT_EQ(host.last(1), QString());
    EXPECT_EQ(host.last(2), QString());
}

TEST_F(ToolRunnerTest, RedirectionSendsStandardOutputToTheFile)
{
    const QString t = tool(QStringLiteral("report"),
                           "echo 'General'\n"
                           "echo \"Complete name : $1\"\n"
                           "echo 'Writing 12:34' >&2\n");
    const QString report = work + QStringLiteral("media info.txt");
    const QString script = work + QStringLiteral("getinfo.cmd");
    ASSERT_TRUE(runner::writeCommandScript(
        script, { runner::toolCommandLine(t, QStringLiteral("\"a b.mkv\" > ") + quoted(report)) }));
    ToolRunner r(script, ToolRunner::StatusBar, 1, &host, QString(), QStringLiteral("report"), kProcessing);
    r.Run();
    EXPECT_EQ(readFile(report), QByteArray("General\nComplete name : a b.mkv\n"));
    // Standard error still reaches the status bar.
    EXPECT_TRUE(host.shown(2, QStringLiteral("Writing 12:34")));
    EXPECT_TRUE(host.shown(2, kFinished));
}

TEST_F(ToolRunnerTest, SilentRunnerShowsNothing)
{
    const QString t = tool(QStringLiteral("talk"), "echo 'Writing 50%'\n");
    const QString script = work + QStringLiteral("getinfo.cmd");
    ASSERT_TRUE(runner::writeCommandScript(script, { runner::toolCommandLine(t, QString()) }));
    ToolRunner r(script, ToolRunner::Silent, 1, &host, QString(), QString(), QString());
    r.Run();
    EXPECT_TRUE(host.calls.empty());
}

TEST_F(ToolRunnerTest, PushdSetAndDelLinesTakeEffectForTheTool)
{
    const QString dir = root + QStringLiteral("/pass dir");
    QDir().mkpath(dir);
    writeFile(dir + QStringLiteral("/old log.txt"), "stale");
    const QString t = tool(QStringLiteral("enc2"),
                           "pwd > \"$1\"\n"
                           "printf '%s\\n' \"$MARBLE_DATADIR\" >> \"$1\"\n"
                           "[ -e 'old log.txt' ] && echo still-there >> \"$1\"\n"
                           "exit 0\n");
    const QString script = work + QStringLiteral("runapp.cmd");
    RunScript(host, script,
              { QStringLiteral("pushd ") + quoted(dir), QStringLiteral("set MARBLE_DATADIR=/opt/a b/%1"),
                QStringLiteral("del \"old log.txt\""), runner::toolCommandLine(t, QStringLiteral("\"out.txt\"")) },
              QStringLiteral("enc2"));
    EXPECT_EQ(readFile(dir + QStringLiteral("/out.txt")), (dir + QStringLiteral("\n/opt/a b/%1\n")).toUtf8());
    EXPECT_FALSE(QFile::exists(dir + QStringLiteral("/old log.txt")));
    EXPECT_FALSE(QFile::exists(script));
    // The program's own directory and environment are untouched.
    EXPECT_NE(QDir::currentPath(), dir);
    EXPECT_TRUE(qEnvironmentVariableIsEmpty("MARBLE_DATADIR"));
}

TEST_F(ToolRunnerTest, RunToolRefusesWhileAnotherRunIsActive)
{
    const QString marker = root + QStringLiteral("/ran");
    const QString t = tool(QStringLiteral("mark"), "touch \"$1\"\n");
    ToolRunner busy(work + QStringLiteral("other.cmd"), ToolRunner::StatusBar, 1, &host, QString(), QString(),
                    kProcessing);
    host.currentRunner = &busy;
    host.stopRequested = true;
    runTool(t, quoted(marker));
    EXPECT_FALSE(QFile::exists(marker));
    EXPECT_FALSE(QFile::exists(work + QStringLiteral("runapp.cmd")));
    EXPECT_TRUE(host.calls.empty());
    EXPECT_EQ(host.currentRunner, &busy);
    EXPECT_TRUE(host.stopRequested);
}

TEST_F(ToolRunnerTest, RunToolRefusesAToolPathWithoutSeparator)
{
    const QString marker = root + QStringLiteral("/ran");
    const QString t = tool(QStringLiteral("mark"), "touch \"$1\"\n");
    host.stopRequested = true;
    RunTool(host, work, t, QString(), quoted(marker));
    RunTool(host, work, t, QStringLiteral("mark"), quoted(marker));
    EXPECT_FALSE(QFile::exists(marker));
    EXPECT_FALSE(QFile::exists(work + QStringLiteral("runapp.cmd")));
    EXPECT_TRUE(host.calls.empty());
    EXPECT_TRUE(host.stopRequested);
    EXPECT_EQ(host.currentRunner, nullptr);
}

TEST_F(ToolRunnerTest, ScriptWrittenByRunToolHasTheExactBytes)
{
    const QString copy = root + QStringLiteral("/copy.cmd");
    const QString t = tool(QStringLiteral("ffmpeg"), "cp \"$3\" \"$4\"\n");
    const QString args = QStringLiteral("-i \"a.avi\" ") + quoted(work + QStringLiteral("runapp.cmd")) + QLatin1Char(' ')
        + quoted(copy);
    runTool(t, args);
    EXPECT_EQ(readFile(copy), QByteArray("@echo off\r\nchcp 949\r\n") + quoted(t).toUtf8() + ' ' + args.toUtf8()
                                  + "\r\n");
}

TEST_F(ToolRunnerTest, HostileFileNamesArriveUnchangedAndNothingElseRuns)
{
    const QString cwd = freshFolder(QStringLiteral("cwd"));
    const QString previous = QDir::currentPath();
    ASSERT_TRUE(QDir::setCurrent(cwd));

    const QStringList names = {
        QStringLiteral("movie with spaces.avi"),
        QStringLiteral("%1 %2 %~dp0 %PATH%.avi"),
        QStringLiteral("$(touch PWNED).avi"),
        QStringLiteral("`touch PWNED`.avi"),
        QStringLiteral("a; touch PWNED;.avi"),
        QStringLiteral("a & touch PWNED &.avi"),
        QStringLiteral("a | touch PWNED |.avi"),
        QStringLiteral("a > PWNED < b ^ ! '.avi"),
        QStringLiteral("한글 영화.avi"),
        QStringLiteral("\u1112\u1161\u11AB\u1100\u1173\u11AF.avi"), // the same word decomposed
    };
    const QString out = root + QStringLiteral("/argv.bin");
    const QString t = tool(QStringLiteral("argv tool"),
                           "out=\"$1\"; shift\n"
                           ": > \"$out\"\n"
                           "for a in \"$@\"; do printf '%s\\0' \"$a\" >> \"$out\"; done\n");
    QString args = quoted(out);
    for (const QString &n : names)
        args += QLatin1Char(' ') + quoted(n);
    runTool(t, args);

    QDir::setCurrent(previous);
    QStringList got;
    for (const QByteArray &a : readFile(out).split('\0'))
        got << QString::fromUtf8(a);
    ASSERT_FALSE(got.isEmpty());
    got.removeLast(); // after the last terminator
    EXPECT_EQ(got, names);
    EXPECT_FALSE(QFile::exists(cwd + QStringLiteral("/PWNED")));
    EXPECT_FALSE(QFile::exists(work + QStringLiteral("PWNED")));
    EXPECT_FALSE(QFile::exists(tools + QStringLiteral("/PWNED")));
    EXPECT_TRUE(host.shown(2, kFinished));
}

TEST_F(ToolRunnerTest, StopEndsAToolThatPrintsWithoutPause)
{
    const QString t = tool(QStringLiteral("chatter"),
                           "echo $$ > \"$1/tool.pid\"\n"
                           "for i in 1 2 3 4; do yes 'frame=  1 fps= 1 time=00:00:01.00 bitrate= 1.0kbits/s' & done\n"
                           "wait\n");
    const QString toolPid = root + QStringLiteral("/tool.pid");
    QTimer stopper;
    QObject::connect(&stopper, &QTimer::timeout, [&] {
        if (QFile::exists(toolPid))
            host.requestStop();
    });
    stopper.start(50);
    // Guard: a runner that never honours Stop would hang the suite; end the tool from
    // outside after a generous delay so the failure shows as an assertion.
    QTimer guard;
    guard.setSingleShot(true);
    bool guardFired = false;
    QObject::connect(&guard, &QTimer::timeout, [&] {
        guardFired = true;
        kill(readPid(toolPid), SIGKILL);
    });
    guard.start(8000);
    runTool(t, quoted(root));
    stopper.stop();
    guard.stop();

    EXPECT_FALSE(guardFired) << "Stop did not end a tool that prints without pause";
    EXPECT_TRUE(host.shown(2, kCanceled));
    EXPECT_TRUE(waitGone(readPid(toolPid)));
}

TEST_F(ToolRunnerTest, ChildLeftBehindByAFinishedToolIsEndedAndTheRunEnds)
{
    const QString t = tool(QStringLiteral("leaver"),
                           "/bin/sleep 1000 &\n"
                           "echo $! > \"$1/left.pid\"\n"
                           "echo 'Writing done 100%'\n");
    runTool(t, quoted(root));
    EXPECT_TRUE(host.shown(2, kFinished));
    const pid_t left = readPid(root + QStringLiteral("/left.pid"));
    ASSERT_GT(left, 0);
    EXPECT_TRUE(waitGone(left));
}

TEST_F(ToolRunnerTest, ToolThatClosesItsOutputIsStillWaitedForAndCanBeStopped)
{
    // The end of the output is not the end of the tool: the run lasts until it exits.
    const QString done = root + QStringLiteral("/done");
    runTool(tool(QStringLiteral("closer"), "exec >/dev/null 2>&1\nsleep 0.4\ntouch \"$1/done\"\n"), quoted(root));
    EXPECT_TRUE(QFile::exists(done)) << "the run ended before the tool did";
    EXPECT_TRUE(host.shown(2, kFinished));

    // Stop still reaches a tool that no longer writes anything.
    RecordingHost stopHost;
    const QString toolPid = root + QStringLiteral("/silent.pid");
    const QString t = tool(QStringLiteral("silent"), "echo $$ > \"$1/silent.pid\"\nexec >/dev/null 2>&1\nexec sleep 1000\n");
    {
        StopWhen stop(stopHost, [&] { return readPid(toolPid) > 0; });
        RunTool(stopHost, work, t, t, quoted(root));
    }
    EXPECT_TRUE(stopHost.shown(2, kCanceled));
    ASSERT_GT(readPid(toolPid), 0);
    EXPECT_TRUE(waitGone(readPid(toolPid)));
}

TEST_F(ToolRunnerTest, CrashingToolEndsTheRunNormally)
{
    const QString t = tool(QStringLiteral("crash"), "echo 'Writing 10%'\nkill -SEGV $$\n");
    runTool(t, QString());
    EXPECT_TRUE(host.shown(2, QStringLiteral("Writing 10%")));
    EXPECT_TRUE(host.shown(2, kFinished));
    EXPECT_EQ(host.last(2), QString());
}

TEST_F(ToolRunnerTest, ScriptThatCannotBeWrittenRunsNothing)
{
    const QString marker = root + QStringLiteral("/ran");
    const QString t = tool(QStringLiteral("mark"), "touch \"$1\"\n");
    RunScript(host, root + QStringLiteral("/no such folder/runapp.cmd"), { runner::toolCommandLine(t, quoted(marker)) },
              QStringLiteral("mark"));
    EXPECT_FALSE(QFile::exists(marker));
    const QStringList texts = host.texts(2);
    ASSERT_FALSE(texts.isEmpty());
    EXPECT_TRUE(texts.first().startsWith(QStringLiteral("Error creating process\r\n")));
    EXPECT_EQ(host.last(1), QString());
    EXPECT_EQ(host.last(2), QString());
    EXPECT_EQ(host.currentRunner, nullptr);
}
