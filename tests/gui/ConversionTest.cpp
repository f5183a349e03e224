#include "GuiTestSupport.h"

#include "engine/ToolStep.h"
#include "platform/Paths.h"
#include "platform/SettingsStore.h"
#include "shell/FileListCtrl.h"
#include "shell/StatusBar.h"

#include <QDir>
#include <QFile>
#include <QApplication>
#include <QLabel>
#include <QMessageBox>
#include <QProgressBar>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include <cerrno>
#include <csignal>

#include <gtest/gtest.h>

namespace {

QString sourceFolder(const char *name)
{
    return TestRoot() + QStringLiteral("/sources/") + QLatin1String(name) + QLatin1Char('/');
}

QStringList makeSources(const char *folder, std::initializer_list<const char *> names)
{
    QStringList paths;
    for (const char *n : names)
        paths << MakeFile(sourceFolder(folder) + QLatin1String(n));
    return paths;
}

// One step running the stand-in ffmpeg; the run stops when Stop ends it.
StageResult runFfmpegStep(ConvertJob &job)
{
    ToolStep step;
    step.tool = kFfmpeg;
    step.statusText = QStringLiteral("비디오 추출중");
    step.output = job.strWorkFolder + QStringLiteral("video.h264");
    step.arguments = QStringLiteral("-i source");
    step.stopLine = QStringLiteral("Video extraction stopped");
    return RunToolStep(job, step) == StepOutcome::Stopped ? StageResult::StopRun : StageResult::SkipJob;
}

// Shell lines that wait (at most ten seconds) until the test creates this file.
QString waitFor(const QString &flag)
{
    return QStringLiteral("i=0; while [ ! -e '%1' ] && [ $i -lt 200 ]; do sleep 0.05; i=$((i+1)); done\n").arg(flag);
}

bool processGone(qint64 pid)
{
    return pid > 0 && kill(static_cast<pid_t>(pid), 0) != 0 && errno == ESRCH;
}

void clickConvert(TestDialog &d)
{
    QTest::mouseClick(d.w(1004), Qt::LeftButton);
}

void expectIdleAfterRun(const TestDialog &d)
{
    EXPECT_FALSE(d.bConverting);
    EXPECT_EQ(d.currentRunner, nullptr);
    EXPECT_TRUE(d.enabled(1004));
    EXPECT_TRUE(d.enabled(2));
    EXPECT_FALSE(d.enabled(1006));
    EXPECT_TRUE(d.listCtrl()->dropsAccepted());
    EXPECT_EQ(d.statusBarCtrl()->partText(0), QString());
    EXPECT_EQ(qobject_cast<QLabel *>(d.w(1005))->text(), QString());
}

} // namespace

TEST(Conversion, WhileConvertingOnlyStopWorksAndTheWindowComesBackAfter)
{
    ProgramFolder program;
    auto d = openDialog();
    d->addPaths(makeSources("state", { "a.mkv", "b.mkv", "c.mkv" }));
    FileListCtrl *list = d->listCtrl();
    clickRow(list, 1);
    ASSERT_TRUE(d->enabled(1003));
    const QString extra = MakeFile(sourceFolder("state") + QStringLiteral("late.mkv"));

    struct Seen
    {
        QList<int> enabled;
        bool dropTaken = true;
        int rowsAfterDrop = -1;
        bool deleteEnabledAfterClick = true;
        int rowsAfterDeleteKey = -1;
        bool closed = true;
        bool visibleAfterEscape = false;
        QString counter;
        QStringList statuses;
    } seen;
    g_testStage = [&](ConvertJob &job) {
        if (job.job.iRow != 0)
            return StageResult::Continue;
        for (int id : SwitchableControlIds()) {
            if (d->enabled(id))
                seen.enabled << id;
        }
        seen.dropTaken = dropOn(list, { extra });
        seen.rowsAfterDrop = list->rowCount();
        clickRow(list, 2);
        seen.deleteEnabledAfterClick = d->enabled(1003);
        QTest::keyClick(list, Qt::Key_Delete);
        seen.rowsAfterDeleteKey = list->rowCount();
        seen.closed = d->close();
        QTest::keyClick(d.get(), Qt::Key_Escape);
        seen.visibleAfterEscape = d->isVisible();
        seen.counter = d->statusBarCtrl()->partText(0);
        seen.statuses = columnTexts(*list, FileList::kStatus);
        return StageResult::Continue;
    };
    const Stage stages[] = { CallTestStage };
    d->setStages(stages);
    clickConvert(*d);
    g_testStage = nullptr;

    EXPECT_EQ(seen.enabled, QList<int>{ 1006 });
    EXPECT_FALSE(seen.dropTaken);
    EXPECT_EQ(seen.rowsAfterDrop, 3);
    EXPECT_FALSE(seen.deleteEnabledAfterClick);
    EXPECT_EQ(seen.rowsAfterDeleteKey, 3);
    EXPECT_FALSE(seen.closed);
    EXPECT_EQ(d->closeQuestions, 1); // answered No: the run went on
    EXPECT_TRUE(seen.visibleAfterEscape);
    EXPECT_EQ(seen.counter, QStringLiteral("1/3"));
    EXPECT_EQ(seen.statuses,
              (QStringList{ QStringLiteral("변환 준비중"), QStringLiteral("대기중"), QStringLiteral("대기중") }));

    // Nothing produced an output: the plain message, no question.
    ASSERT_EQ(d->messages.size(), 1);
    EXPECT_TRUE(d->messages[0].startsWith(QStringLiteral("작업 종료! / "))) << d->messages[0].toStdString();
    EXPECT_TRUE(d->finishedMessages.isEmpty());
    expectIdleAfterRun(*d);
    // Delete as it was when the run began (a row was selected), Delete All since rows remain.
    EXPECT_TRUE(d->enabled(1003));
    EXPECT_TRUE(d->enabled(1016));
    EXPECT_FALSE(d->enabled(1036)); // idle rules again for the default mode
    EXPECT_TRUE(d->enabled(1017));
}

TEST(Conversion, StopEndsTheRunningToolAndTheRun)
{
    ProgramFolder program;
    // A tool that would run far longer than any test.
    program.writeTool(QStringLiteral("ffmpeg"), QStringLiteral("echo started\nexec sleep 60\n"));
    auto d = openDialog();
    d->addPaths(makeSources("stop", { "first.mkv", "second.mkv" }));

    g_testStage = runFfmpegStep;
    const Stage stages[] = { CallTestStage };
    d->setStages(stages);

    // Press Stop as soon as the tool runs, as a user would.
    QString counter, rowText;
    bool pressed = false;
    QTimer watcher;
    watcher.setInterval(20);
    QObject::connect(&watcher, &QTimer::timeout, [&] {
        if (pressed || !d->currentRunner)
            return;
        pressed = true;
        counter = d->statusBarCtrl()->partText(0);
        rowText = d->listCtrl()->text(0, FileList::kStatus);
        QTest::mouseClick(d->w(1006), Qt::LeftButton);
    });
    watcher.start();
    clickConvert(*d);
    watcher.stop();
    g_testStage = nullptr;

    ASSERT_TRUE(pressed);
    EXPECT_EQ(counter, QStringLiteral("1/2"));
    EXPECT_EQ(rowText, QStringLiteral("비디오 추출중"));
    EXPECT_TRUE(d->listCtrl()->text(0, FileList::kStatus).startsWith(QStringLiteral("중단: ")));
    EXPECT_EQ(d->listCtrl()->text(1, FileList::kStatus), QStringLiteral("대기중"));
    ASSERT_EQ(d->messages.size(), 1);
    EXPECT_TRUE(d->messages[0].startsWith(QStringLiteral("작업 중단! / "))) << d->messages[0].toStdString();
    EXPECT_TRUE(d->finishedMessages.isEmpty());
    expectIdleAfterRun(*d);
    EXPECT_FALSE(d->enabled(1003)); // nothing was selected when the run began
    EXPECT_EQ(d->statusBarCtrl()->partText(2), QString());
    // The step's script is gone from the work folder.
    EXPECT_FALSE(QFile::exists(d->options.strTempFolder + QStringLiteral("runapp.cmd")));
}

TEST(Conversion, SucceededRowsGoAfterTheFinishedQuestionIsAnsweredYes)
{
    ProgramFolder program;
    auto d = openDialog();
    d->addPaths(makeSources("finished", { "ok one.mkv", "broken.mkv", "ok two.mkv" }));
    const QString outFolder = TestRoot() + QStringLiteral("/out/");
    QDir().mkpath(outFolder);

    g_testStage = [&](ConvertJob &job) {
        const QString name = job.ui.fileList().text(job.job.iRow, FileList::kName);
        if (!name.startsWith(QStringLiteral("ok"))) {
            job.setStatus(QStringLiteral("컨테이너 오류!"));
            return StageResult::SkipJob;
        }
        job.job.strOutputFolder = outFolder;
        job.job.strOutputName = QStringLiteral("[Qor] ") + name + QStringLiteral(".mp4");
        MakeFile(outFolder + job.job.strOutputName);
        return StageResult::Continue;
    };
    const Stage stages[] = { CallTestStage };
    d->setStages(stages);

    d->finishedAnswer = false;
    clickConvert(*d);
    const QStringList statuses = columnTexts(*d->listCtrl(), FileList::kStatus);
    ASSERT_EQ(statuses.size(), 3);
    EXPECT_TRUE(statuses[0].startsWith(QStringLiteral("완료: ")));
    EXPECT_EQ(statuses[1], QStringLiteral("컨테이너 오류!"));
    EXPECT_TRUE(statuses[2].startsWith(QStringLiteral("완료: ")));
    ASSERT_EQ(d->finishedMessages.size(), 1);
    EXPECT_TRUE(d->finishedMessages[0].startsWith(QStringLiteral("작업 종료! / ")));
    EXPECT_TRUE(d->messages.isEmpty());

    d->finishedAnswer = true;
    clickConvert(*d);
    g_testStage = nullptr;
    EXPECT_EQ(d->finishedMessages.size(), 2);
    EXPECT_EQ(columnTexts(*d->listCtrl()), QStringList{ QStringLiteral("broken.mkv") });
    expectIdleAfterRun(*d);
    EXPECT_TRUE(d->enabled(1016));
}

TEST(Conversion, ConvertWithAnEmptyListDoesNothingVisible)
{
    ProgramFolder program;
    auto d = openDialog();
    clickConvert(*d);
    EXPECT_TRUE(d->messages.isEmpty());
    EXPECT_TRUE(d->finishedMessages.isEmpty());
    expectIdleAfterRun(*d);
    EXPECT_FALSE(d->enabled(1016));
}

// The whole Convert press with the program's own stage chain and eight small
// stand-in tools in the program folder. The conversion stages are still being
// built: today the chain after the source check does nothing, so a row whose
// source exists ends at "변환 준비중" and nothing is produced. The assertions
// hold for that and for a finished chain run over tools that produce nothing.
TEST(Conversion, WholeRunThroughTheWindow)
{
    ProgramFolder program;
    auto d = openDialog();
    const QStringList sources = makeSources("whole", { "clip one.mkv", "clip two.avi", "vanishing.mp4" });
    d->addPaths(sources);
    ASSERT_EQ(d->listCtrl()->rowCount(), 3);
    QFile::remove(sources[2]);
    clickConvert(*d);

    const QStringList statuses = columnTexts(*d->listCtrl(), FileList::kStatus);
    ASSERT_EQ(statuses.size(), 3);
    for (int row = 0; row < 2; ++row) {
        EXPECT_NE(statuses[row], QStringLiteral("대기중")) << row;
        EXPECT_FALSE(statuses[row].isEmpty()) << row;
        EXPECT_FALSE(statuses[row].startsWith(QStringLiteral("완료"))) << row;
    }
    EXPECT_EQ(statuses[2], QStringLiteral("원본 읽기 오류!"));
    ASSERT_EQ(d->messages.size(), 1);
    EXPECT_TRUE(d->messages[0].startsWith(QStringLiteral("작업 종료! / "))) << d->messages[0].toStdString();
    EXPECT_TRUE(d->finishedMessages.isEmpty());
    expectIdleAfterRun(*d);
    EXPECT_EQ(d->statusBarCtrl()->partText(1), QString());
    EXPECT_EQ(d->statusBarCtrl()->partText(2), QString());

    // Every Convert stores the options in force, Save pressed or not.
    platform::SettingsStore store;
    EXPECT_EQ(store.readNumber(QStringLiteral("Conversion Mode")), 1);
    EXPECT_EQ(store.readString(QStringLiteral("Temp Folder"), 259), d->options.strTempFolder);
    // Nothing of the run is left in the work folder.
    EXPECT_TRUE(QDir(d->options.strTempFolder).entryList(QDir::Files | QDir::NoDotAndDotDot).isEmpty());
}

TEST(Conversion, ProgressBarAndTitleFollowTheRunningTool)
{
    ProgramFolder program;
    const QString flags = TestRoot() + QStringLiteral("/progress-flags/");
    QDir().mkpath(flags);
    // Two progress lines as the muxer prints them, each held until the test has seen it.
    program.writeTool(QStringLiteral("ffmpeg"),
                      QStringLiteral("printf 'Importing ISO File: |====                | (20/100)\\r'\n")
                          + waitFor(flags + QStringLiteral("seen20"))
                          + QStringLiteral("printf 'Importing ISO File: |============        | (60/100)\\r'\n")
                          + waitFor(flags + QStringLiteral("seen60")));
    auto d = openDialog();
    d->addPaths(makeSources("progress", { "one.mkv", "two.mkv" }));
    QProgressBar *bar = d->statusBarCtrl()->progressBar();
    EXPECT_FALSE(bar->isVisible());

    QList<int> values;
    QStringList titles, texts, rowTexts;
    QObject::connect(bar, &QProgressBar::valueChanged, [&](int value) {
        if (value != 20 && value != 60)
            return;
        values << value;
        titles << d->windowTitle();
        texts << bar->text();
        rowTexts << d->listCtrl()->text(0, FileList::kStatus);
        EXPECT_TRUE(bar->isVisible());
        MakeFile(flags + QStringLiteral("seen%1").arg(value));
    });
    g_testStage = [](ConvertJob &job) { return job.job.iRow == 0 ? runFfmpegStep(job) : StageResult::Continue; };
    const Stage stages[] = { CallTestStage };
    d->setStages(stages);
    clickConvert(*d);
    g_testStage = nullptr;

    EXPECT_EQ(values, (QList<int>{ 20, 60 }));
    EXPECT_EQ(titles, (QStringList{ QStringLiteral("[1/2 20%] Qor: Marbleway v5.6"),
                                    QStringLiteral("[1/2 60%] Qor: Marbleway v5.6") }));
    EXPECT_EQ(texts, (QStringList{ QStringLiteral("1/2  20%"), QStringLiteral("1/2  60%") }));
    // The list's own column keeps its texts.
    EXPECT_EQ(rowTexts, QStringList(2, QStringLiteral("비디오 추출중")));
    expectIdleAfterRun(*d);
    EXPECT_FALSE(bar->isVisible());
    EXPECT_EQ(d->windowTitle(), QStringLiteral("Qor: Marbleway v5.6"));
}

TEST(Conversion, ClosingDuringARunAsksAndYesEndsTheToolAndTheProgram)
{
    ProgramFolder program;
    const QString pidFile = TestRoot() + QStringLiteral("/close-tool.pid");
    QFile::remove(pidFile);
    program.writeTool(QStringLiteral("ffmpeg"), QStringLiteral("echo $$ > '%1'\nexec sleep 60\n").arg(pidFile));
    auto d = openDialog();
    d->realCloseQuestion = true;
    d->addPaths(makeSources("close", { "first.mkv", "second.mkv" }));
    g_testStage = runFfmpegStep;
    const Stage stages[] = { CallTestStage };
    d->setStages(stages);

    // A user closes the window twice while the tool runs: No first, then Yes.
    enum { WaitForTool, AskedNo, ClosingAgain, AskedYes } state = WaitForTool;
    QStringList questions;
    qint64 pid = 0;
    bool runningAfterNo = false;
    QTimer user;
    user.setInterval(20);
    QObject::connect(&user, &QTimer::timeout, [&] {
        auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
        if (box && (state == WaitForTool || state == ClosingAgain)) {
            questions << box->text();
            const bool yes = state == ClosingAgain;
            state = yes ? AskedYes : AskedNo;
            box->button(yes ? QMessageBox::Yes : QMessageBox::No)->click();
            return;
        }
        if (state == WaitForTool && d->currentRunner && QFile::exists(pidFile) && pid == 0) {
            QFile f(pidFile);
            if (f.open(QIODevice::ReadOnly))
                pid = f.readAll().trimmed().toLongLong();
            // Queued: a timer does not fire again inside its own handler, and the
            // question is answered by the branch above.
            if (pid > 0)
                QMetaObject::invokeMethod(d.get(), &QWidget::close, Qt::QueuedConnection);
        } else if (state == AskedNo) {
            runningAfterNo = d->currentRunner != nullptr && !processGone(pid) && d->isVisible();
            state = ClosingAgain;
            QMetaObject::invokeMethod(d.get(), &QWidget::close, Qt::QueuedConnection);
        }
    });
    user.start();
    clickConvert(*d);
    user.stop();
    g_testStage = nullptr;

    ASSERT_EQ(state, AskedYes);
    EXPECT_EQ(questions.size(), 2);
    EXPECT_EQ(questions.value(0), QStringLiteral("변환 중입니다. 작업을 중단하고 프로그램을 닫을까요?"));
    EXPECT_TRUE(runningAfterNo);
    EXPECT_TRUE(processGone(pid));
    // The second file was never started, nothing more was asked, and the window closed.
    EXPECT_EQ(d->listCtrl()->text(1, FileList::kStatus), QStringLiteral("대기중"));
    EXPECT_TRUE(d->messages.isEmpty());
    EXPECT_TRUE(d->finishedMessages.isEmpty());
    EXPECT_FALSE(d->isVisible());
    EXPECT_EQ(d->result(), QDialog::Rejected);
    EXPECT_FALSE(d->bConverting);
}
