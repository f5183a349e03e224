#include "engine/ConvertJob.h"
#include "engine/FileList.h"
#include "engine/FrontEnd.h"
#include "engine/JobDriver.h"
#include "engine/ToolStep.h"
#include "platform/Paths.h"
#include "platform/SettingsStore.h"
#include "platform/SystemInfo.h"

#include "TestSupport.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QSettings>
#include <QTimer>

#include <gtest/gtest.h>

#include <csignal>
#include <functional>
#include <unistd.h>
#include <map>
#include <mutex>

using namespace testsupport;

namespace {

const QString kWaiting = QStringLiteral("대기중");
const QString kPreparing = QStringLiteral("변환 준비중");
const QString kSourceError = QStringLiteral("원본 읽기 오류!");

// A front end that remembers everything the engine showed it.
class Recorder : public FrontEnd
{
public:
    class List : public MemoryFileList
    {
    public:
        void setText(int row, int column, const QString &value) override
        {
            if (column == kStatus)
                history[text(row, kName)] << value;
            MemoryFileList::setText(row, column, value);
        }
        std::map<QString, QStringList> history; // status texts by file name
    };

    FileList &fileList() override { return list; }
    void setStatusText(int part, const QString &text) override { statusBar.emplace_back(part, text); }
    void setSummaryText(const QString &text) override { summaries << text; }
    void showMessage(const QString &text) override { messages << text; }
    bool askFinished(const QString &message) override
    {
        finishedQuestions << message;
        return answerYes;
    }
    void enableControls(bool on) override { enableCalls.push_back(on); }

    QStringList statuses() const
    {
        QStringList out;
        for (int r = 0; r < list.rowCount(); ++r)
            out << list.text(r, FileList::kStatus);
        return out;
    }
    bool nothingShown() const
    {
        return statusBar.empty() && summaries.isEmpty() && messages.isEmpty() && finishedQuestions.isEmpty()
            && enableCalls.empty() && list.history.empty();
    }

    List list;
    std::vector<std::pair<int, QString>> statusBar;
    QStringList summaries, messages, finishedQuestions;
    std::vector<bool> enableCalls;
    bool answerYes = false;
};

// The test's stage chain: one stage that does what the test sets up.
std::function<StageResult(ConvertJob &)> g_stage;
StageResult testStage(ConvertJob &job)
{
    return g_stage ? g_stage(job) : StageResult::Continue;
}
const Stage kTestStages[] = { testStage };

const char *const kToolNames[] = { "ffmpeg", "neroAacEnc", "MP4Box", "mkvextract",
                                   "OGMDemuxer", "normalize", "chanfold", "MediaInfo" };

bool matches(const QString &pattern, const QString &text)
{
    return QRegularExpression(pattern).match(text).hasMatch();
}

class JobDriverTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ensureApp();
        g_stage = nullptr;
        platform::SettingsStore().removeAll();
        const QString root = freshFolder(QStringLiteral("driver"));
        program = root + QStringLiteral("/program 폴더/");
        work = root + QStringLiteral("/work/");
        sources = root + QStringLiteral("/sources/");
        output = root + QStringLiteral("/output/");
        for (const QString &d : { program + QStringLiteral("tools"), work, sources, output })
            QDir().mkpath(d);
        // The eight tools. ffmpeg is the one the test stages run: "make FILE" writes the
        // file, "hang PIDFILE" records its id and never ends.
        for (const char *name : kToolNames)
            writeTool(program + QStringLiteral("tools/") + QLatin1String(name), "exit 0\n");
        writeTool(program + QStringLiteral("tools/ffmpeg"),
                  "case \"$1\" in\n"
                  "make) echo 'Writing 100%'; printf done > \"$2\" ;;\n"
                  "hang) echo $$ > \"$2\"; exec /bin/sleep 1000 ;;\n"
                  "esac\n");
        ui.options.strTempFolder = work;
    }

    void TearDown() override { g_stage = nullptr; }

    QString addSource(const QString &name)
    {
        writeFile(sources + name, "RIFF");
        ui.list.appendRow(name, sources);
        return sources + name;
    }

    RunOutcome convert() { return OnConvert(ui, program, kTestStages); }

    // A stage that runs ffmpeg to make this row's output, then names it as the job's output.
    static StageResult makeOutput(ConvertJob &job, const QString &outputFolder)
    {
        const QString name = QStringLiteral("[Qor] row%1.mp4").arg(job.job.iRow);
        ToolStep step;
        step.tool = kFfmpeg;
        step.statusText = QStringLiteral("먹싱중");
        step.output = outputFolder + name;
        step.registerOutput = false;
        step.arguments = QStringLiteral("make \"") + step.output + QLatin1Char('"');
        step.stopLine = QStringLiteral("Mux stopped");
        const StepOutcome r = RunToolStep(job, step);
        if (r == StepOutcome::Stopped)
            return StageResult::StopRun;
        if (r == StepOutcome::Missing) {
            job.setStatus(QStringLiteral("먹싱 실패"));
            return StageResult::SkipJob;
        }
        job.job.strOutputFolder = outputFolder;
        job.job.strOutputName = name;
        return StageResult::Continue;
    }

    Recorder ui;
    QString program, work, sources, output;
};

} // namespace

TEST_F(JobDriverTest, EmptyListDoesNothingVisibleButStoresTheOptions)
{
    EXPECT_EQ(convert(), RunOutcome::NotStarted);
    EXPECT_TRUE(ui.nothingShown());
    EXPECT_FALSE(ui.bConverting);
    // Convert stores all twenty-one values even when Save Options was never pressed.
    QSettings raw(QSettings::NativeFormat, QSettings::UserScope, QStringLiteral("Tarvolin"),
                  QStringLiteral("Marbleway"));
    EXPECT_EQ(raw.allKeys().size(), 21);
}

TEST_F(JobDriverTest, SameTempAndSaveFolderIsRefused)
{
    addSource(QStringLiteral("a.avi"));
    const QString mixed = QFileInfo(platform::withoutTrailingSeparators(work)).absolutePath() + QStringLiteral("/Work");
    QDir().mkpath(mixed);
    struct Case { QString temp, save; };
    const Case cases[] = {
        { work, platform::withoutTrailingSeparators(work) },           // trailing separator only
        { work, mixed + QStringLiteral("/") },                          // letter case only
        { work + QStringLiteral("//"), work },                          // several separators
        { output + QStringLiteral("gone1/"), output + QStringLiteral("gone2/") }, // neither exists
    };
    for (const Case &c : cases) {
        Recorder fresh;
        fresh.list.appendRow(QStringLiteral("a.avi"), sources);
        fresh.list.history.clear();
        fresh.options.strTempFolder = c.temp;
        fresh.options.strSaveFolder = c.save;
        fresh.options.bUseSaveFolder = true;
        EXPECT_EQ(OnConvert(fresh, program, kTestStages), RunOutcome::NotStarted) << qPrintable(c.save);
        EXPECT_EQ(fresh.messages, QStringList({ QStringLiteral("저장폴더와 임시폴더가 같음!") }));
        EXPECT_TRUE(fresh.list.history.empty());
        EXPECT_TRUE(fresh.enableCalls.empty());
        EXPECT_TRUE(fresh.finishedQuestions.isEmpty());
        EXPECT_FALSE(fresh.bConverting);
    }
    // Without "use External Save Folder" the same folders are fine.
    ui.options.strSaveFolder = work;
    EXPECT_EQ(convert(), RunOutcome::Finished);
}

TEST_F(JobDriverTest, SaveFolderNameAStepScriptCannotCarryIsRefused)
{
    // The mux names its output in the save folder between double quotes: a quote there
    // would hand the tool another path. Nothing runs and nothing is written.
    for (const QString &name : { QStringLiteral("say \"hi\""), QStringLiteral("back\\slash"), QStringLiteral("line\nbreak") }) {
        const QString save = output + name + QLatin1Char('/');
        QDir().mkpath(save);
        Recorder fresh;
        fresh.list.appendRow(QStringLiteral("a.avi"), sources);
        fresh.list.history.clear();
        fresh.options.strTempFolder = work;
        fresh.options.strSaveFolder = save;
        fresh.options.bUseSaveFolder = true;
        EXPECT_EQ(OnConvert(fresh, program, kTestStages), RunOutcome::NotStarted);
        EXPECT_EQ(fresh.messages, QStringList({ kUnsafeSaveFolderMessage }));
        EXPECT_TRUE(fresh.list.history.empty());
        EXPECT_FALSE(fresh.bConverting);
    }
    // Quotes of other kinds, shell syntax and Hangul are fine.
    ui.options.strSaveFolder = output + QString::fromUtf8("it's $(x) & 한글/");
    QDir().mkpath(ui.options.strSaveFolder);
    ui.options.bUseSaveFolder = true;
    addSource(QStringLiteral("a.avi"));
    EXPECT_EQ(convert(), RunOutcome::Finished);
}

TEST_F(JobDriverTest, MissingToolStopsBeforeAnythingRuns)
{
    addSource(QStringLiteral("a.avi"));
    ui.list.history.clear();
    QFile::remove(program + QStringLiteral("tools/normalize"));
    EXPECT_EQ(convert(), RunOutcome::NotStarted);
    EXPECT_EQ(ui.messages, QStringList({ QStringLiteral("tools 폴더에 주요 파일이 없음!!") }));
    EXPECT_TRUE(ui.list.history.empty());
    EXPECT_TRUE(ui.enableCalls.empty());
    EXPECT_FALSE(ui.bConverting);
    // Nothing was stored either: the options are saved only after the tool check.
    QSettings raw(QSettings::NativeFormat, QSettings::UserScope, QStringLiteral("Tarvolin"),
                  QStringLiteral("Marbleway"));
    EXPECT_TRUE(raw.allKeys().isEmpty());
}

TEST_F(JobDriverTest, FolderInPlaceOfAToolCountsAsMissing)
{
    addSource(QStringLiteral("a.avi"));
    QFile::remove(program + QStringLiteral("tools/chanfold"));
    QDir().mkpath(program + QStringLiteral("tools/chanfold"));
    EXPECT_EQ(convert(), RunOutcome::NotStarted);
    EXPECT_EQ(ui.messages, QStringList({ QStringLiteral("tools 폴더에 주요 파일이 없음!!") }));
}

TEST_F(JobDriverTest, NightlyNeedsItsOwnMuxer)
{
    addSource(QStringLiteral("a.avi"));
    ui.options.bForNightly = true;
    EXPECT_EQ(convert(), RunOutcome::NotStarted);
    EXPECT_EQ(ui.messages, QStringList({ QStringLiteral("tools 폴더에 주요 파일이 없음!!") }));

    QDir().mkpath(program + QStringLiteral("tools/Nightly"));
    writeTool(program + QStringLiteral("tools/Nightly/MP4Box"), "exit 0\n");
    ui.messages.clear();
    EXPECT_EQ(convert(), RunOutcome::Finished);
    EXPECT_FALSE(ui.messages.contains(QStringLiteral("tools 폴더에 주요 파일이 없음!!")));
}

TEST_F(JobDriverTest, DeletedSourceFailsItsRowAndTheNextRowStillRuns)
{
    QFile::remove(addSource(QStringLiteral("gone.avi")));
    addSource(QStringLiteral("here.avi"));
    const QString out = output;
    g_stage = [out](ConvertJob &job) { return makeOutput(job, out); };
    EXPECT_EQ(convert(), RunOutcome::Finished);
    EXPECT_EQ(ui.list.history[QStringLiteral("gone.avi")], QStringList({ kWaiting, kPreparing, kSourceError }));
    EXPECT_EQ(ui.statuses().at(0), kSourceError);
    EXPECT_TRUE(matches(QStringLiteral("^완료: \\d+:\\d\\d$"), ui.statuses().at(1)));
    ASSERT_EQ(ui.finishedQuestions.size(), 1);
    EXPECT_TRUE(ui.finishedQuestions.first().startsWith(QStringLiteral("작업 종료! / ")));
    EXPECT_TRUE(ui.messages.isEmpty());
}

TEST_F(JobDriverTest, RunShowsCounterAndClearsTheStatusBarAtTheEnd)
{
    addSource(QStringLiteral("a.avi"));
    addSource(QStringLiteral("b.avi"));
    EXPECT_EQ(convert(), RunOutcome::Finished);
    QStringList part0;
    for (const auto &[part, text] : ui.statusBar) {
        if (part == 0)
            part0 << text;
    }
    EXPECT_EQ(part0, QStringList({ QStringLiteral("1/2"), QStringLiteral("2/2"), QString() }));
    EXPECT_EQ(ui.summaries.last(), QString());
    EXPECT_EQ(ui.enableCalls, std::vector<bool>({ false, true }));
    // Nothing succeeded: a plain message, no "Finished" question.
    EXPECT_TRUE(ui.finishedQuestions.isEmpty());
    ASSERT_EQ(ui.messages.size(), 1);
    EXPECT_TRUE(matches(QStringLiteral("^작업 종료! / \\d+:\\d\\d$"), ui.messages.first()));
    EXPECT_FALSE(ui.bConverting);
}

TEST_F(JobDriverTest, DefaultChainSkipsASourceMediaInfoCannotRead)
{
    // The test program folder's MediaInfo writes no report: the real stage chain
    // refuses the row as unreadable and the run still ends normally.
    addSource(QStringLiteral("a.avi"));
    EXPECT_EQ(OnConvert(ui, program), RunOutcome::Finished);
    EXPECT_EQ(ui.statuses(), QStringList({ QStringLiteral("파일 읽기 오류") }));
}

namespace {

// Presses Stop once the hanging tool has written its process id.
struct StopWhenHanging
{
    explicit StopWhenHanging(RunnerHost &host, const QString &pidFile)
    {
        QObject::connect(&timer, &QTimer::timeout, [&host, pidFile] {
            if (QFile::exists(pidFile) && readPid(pidFile) > 0)
                host.requestStop();
        });
        timer.start(20);
    }
    QTimer timer;
};

} // namespace

TEST_F(JobDriverTest, StopDuringTheSecondOfThreeRows)
{
    for (const char *n : { "one.avi", "two.avi", "three.avi" })
        addSource(QLatin1String(n));
    const QString pidFile = work + QStringLiteral("hang.pid");
    const QString out = output;
    g_stage = [out, pidFile](ConvertJob &job) {
        if (job.job.iRow != 1)
            return makeOutput(job, out);
        ToolStep step;
        step.tool = kFfmpeg;
        step.statusText = QStringLiteral("비디오 추출중");
        step.output = job.strWorkFolder + QStringLiteral("video.h264");
        step.arguments = QStringLiteral("hang \"") + pidFile + QLatin1Char('"');
        step.stopLine = QStringLiteral("Video extraction stopped");
        return RunToolStep(job, step) == StepOutcome::Stopped ? StageResult::StopRun : StageResult::SkipJob;
    };
    StopWhenHanging stopper(ui, pidFile);
    EXPECT_EQ(convert(), RunOutcome::Stopped);

    const QStringList s = ui.statuses();
    EXPECT_TRUE(matches(QStringLiteral("^완료: \\d+:\\d\\d$"), s.at(0))) << qPrintable(s.at(0));
    EXPECT_TRUE(matches(QStringLiteral("^중단: \\d+:\\d\\d$"), s.at(1))) << qPrintable(s.at(1));
    EXPECT_EQ(s.at(2), kWaiting);
    EXPECT_EQ(ui.list.history[QStringLiteral("three.avi")], QStringList({ kWaiting }));
    // One row succeeded: the "Finished" question carries the stop message.
    ASSERT_EQ(ui.finishedQuestions.size(), 1);
    EXPECT_TRUE(matches(QStringLiteral("^작업 중단! / \\d+:\\d\\d$"), ui.finishedQuestions.first()));
    EXPECT_TRUE(ui.messages.isEmpty());
    // Disabled for the run, enabled by the stop path and again at the end.
    EXPECT_EQ(ui.enableCalls, std::vector<bool>({ false, true, true }));
    EXPECT_TRUE(waitGone(readPid(pidFile)));
    EXPECT_FALSE(QFile::exists(work + QStringLiteral("runapp.cmd")));
    EXPECT_FALSE(ui.bConverting);
}

TEST_F(JobDriverTest, StopReachesAMediaInfoThatNeverReturns)
{
    // A probe that hangs would otherwise hang the whole program: Stop ends it like any
    // other tool step, and the rows after it keep waiting.
    addSource(QStringLiteral("one.avi"));
    addSource(QStringLiteral("two.avi"));
    const QString pidFile = work + QStringLiteral("mediainfo.pid");
    writeTool(program + QStringLiteral("tools/MediaInfo"),
              "echo $$ > \"" + pidFile.toUtf8() + "\"; exec /bin/sleep 1000\n");
    StopWhenHanging stopper(ui, pidFile);
    EXPECT_EQ(OnConvert(ui, program), RunOutcome::Stopped);
    const QStringList s = ui.statuses();
    EXPECT_TRUE(matches(QStringLiteral("^중단: \\d+:\\d\\d$"), s.at(0))) << qPrintable(s.at(0));
    EXPECT_EQ(s.at(1), kWaiting);
    EXPECT_TRUE(waitGone(readPid(pidFile)));
    EXPECT_EQ(ui.currentRunner, nullptr);
    EXPECT_FALSE(QFile::exists(work + QStringLiteral("getinfo.cmd")));
}

TEST_F(JobDriverTest, StopWithoutAnEarlierSuccessShowsAPlainMessage)
{
    for (const char *n : { "one.avi", "two.avi", "three.avi" })
        addSource(QLatin1String(n));
    const QString pidFile = work + QStringLiteral("hang.pid");
    g_stage = [pidFile](ConvertJob &job) {
        ToolStep step;
        step.tool = kFfmpeg;
        step.statusText = QStringLiteral("오디오 추출중");
        if (job.job.iRow == 0) {
            // The first row's tool makes nothing: that row fails.
            step.output = job.strWorkFolder + QStringLiteral("never.wav");
            step.arguments = QStringLiteral("nothing");
        } else {
            step.arguments = QStringLiteral("hang \"") + pidFile + QLatin1Char('"');
        }
        step.stopLine = QStringLiteral("Audio extraction stopped");
        const StepOutcome r = RunToolStep(job, step);
        if (r == StepOutcome::Stopped)
            return StageResult::StopRun;
        job.setStatus(QStringLiteral("오디오 추출 실패"));
        return StageResult::SkipJob;
    };
    StopWhenHanging stopper(ui, pidFile);
    EXPECT_EQ(convert(), RunOutcome::Stopped);
    const QStringList s = ui.statuses();
    EXPECT_EQ(s.at(0), QStringLiteral("오디오 추출 실패"));
    EXPECT_TRUE(matches(QStringLiteral("^중단: \\d+:\\d\\d$"), s.at(1)));
    EXPECT_EQ(s.at(2), kWaiting);
    EXPECT_TRUE(ui.finishedQuestions.isEmpty());
    ASSERT_EQ(ui.messages.size(), 1);
    EXPECT_TRUE(ui.messages.first().startsWith(QStringLiteral("작업 중단! / ")));
    EXPECT_TRUE(waitGone(readPid(pidFile)));
}

TEST_F(JobDriverTest, StopPressedWhenNoToolRunsDoesNotMarkAFinishedRowStopped)
{
    addSource(QStringLiteral("only.avi"));
    const QString out = output;
    g_stage = [out](ConvertJob &job) {
        const StageResult r = makeOutput(job, out);
        // Stop pressed after the last tool step (say during a probe, which Stop
        // cannot reach): there is nothing left to stop, the row is done.
        job.ui.requestStop();
        return r;
    };
    EXPECT_EQ(convert(), RunOutcome::Finished);
    EXPECT_TRUE(matches(QStringLiteral("^완료: \\d+:\\d\\d$"), ui.statuses().at(0))) << qPrintable(ui.statuses().at(0));
    ASSERT_EQ(ui.finishedQuestions.size(), 1);
    EXPECT_TRUE(ui.finishedQuestions.first().startsWith(QStringLiteral("작업 종료! / ")));
}

TEST_F(JobDriverTest, FinishedYesDeletesExactlyTheCompletedRows)
{
    for (const char *n : { "ok1.avi", "missing.avi", "ok2.avi", "fails.avi" })
        addSource(QLatin1String(n));
    QFile::remove(sources + QStringLiteral("missing.avi"));
    const QString out = output;
    g_stage = [out](ConvertJob &job) {
        if (job.job.iRow == 3) {
            job.setStatus(QStringLiteral("확장자 오류!"));
            return StageResult::SkipJob;
        }
        return makeOutput(job, out);
    };
    ui.answerYes = true;
    EXPECT_EQ(convert(), RunOutcome::Finished);
    ASSERT_EQ(ui.finishedQuestions.size(), 1);
    ASSERT_EQ(ui.list.rowCount(), 2);
    EXPECT_EQ(ui.list.text(0, FileList::kName), QStringLiteral("missing.avi"));
    EXPECT_EQ(ui.list.text(1, FileList::kName), QStringLiteral("fails.avi"));
    EXPECT_EQ(ui.statuses(), QStringList({ kSourceError, QStringLiteral("확장자 오류!") }));
}

TEST_F(JobDriverTest, FinishedNoKeepsEveryRow)
{
    addSource(QStringLiteral("ok.avi"));
    addSource(QStringLiteral("ok2.avi"));
    const QString out = output;
    g_stage = [out](ConvertJob &job) { return makeOutput(job, out); };
    ui.answerYes = false;
    EXPECT_EQ(convert(), RunOutcome::Finished);
    EXPECT_EQ(ui.finishedQuestions.size(), 1);
    EXPECT_EQ(ui.list.rowCount(), 2);
}

TEST_F(JobDriverTest, TemporaryFilesGoAtJobEndUnlessKept)
{
    addSource(QStringLiteral("a.avi"));
    addSource(QStringLiteral("b.avi"));
    QStringList seenAtSecondJob;
    QString runFolder;
    g_stage = [&](ConvertJob &job) {
        runFolder = job.strWorkFolder;
        const QString temp = job.strWorkFolder + QStringLiteral("temp row%1.wav").arg(job.job.iRow);
        writeFile(temp, "pcm");
        AddTempFile(job.tempFiles, temp);
        if (job.job.iRow == 1)
            seenAtSecondJob = QDir(job.strWorkFolder).entryList(QDir::Files);
        return StageResult::Continue;
    };
    writeFile(work + QStringLiteral("someone else's.txt"), "keep me");
    EXPECT_EQ(convert(), RunOutcome::Finished);
    // The run worked in a subfolder of its own, private to the user.
    EXPECT_TRUE(runFolder.startsWith(work + QStringLiteral("run-%1-").arg(getpid()))) << runFolder.toStdString();
    EXPECT_TRUE(runFolder.endsWith(QLatin1Char('/')));
    // The first job's file went at its job end; the run's folder went at its end.
    EXPECT_EQ(seenAtSecondJob, QStringList({ QStringLiteral("temp row1.wav") }));
    EXPECT_EQ(QDir(work).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden),
              QStringList({ QStringLiteral("someone else's.txt") }));
    // Sources are never touched.
    EXPECT_TRUE(QFile::exists(sources + QStringLiteral("a.avi")));
    EXPECT_TRUE(QFile::exists(sources + QStringLiteral("b.avi")));

    // Kept: everything stays in a folder later runs leave alone, named in the end message.
    ui.options.bKeepTempFiles = true;
    EXPECT_EQ(convert(), RunOutcome::Finished);
    const QStringList kept = QDir(work).entryList({ QStringLiteral("kept-*") }, QDir::Dirs);
    ASSERT_EQ(kept.size(), 1);
    const QString keptFolder = work + kept.first() + QLatin1Char('/');
    EXPECT_EQ(QDir(keptFolder).entryList(QDir::Files),
              QStringList({ QStringLiteral("temp row0.wav"), QStringLiteral("temp row1.wav") }));
    ASSERT_FALSE(ui.messages.isEmpty());
    EXPECT_TRUE(ui.messages.last().endsWith(QStringLiteral("\n임시파일 위치: ") + keptFolder))
        << ui.messages.last().toStdString();
    ui.options.bKeepTempFiles = false;
    EXPECT_EQ(convert(), RunOutcome::Finished);
    EXPECT_TRUE(QDir(keptFolder).exists());
}

TEST_F(JobDriverTest, TemporaryFolderThatChangedHandsIsRefusedAtConvert)
{
    addSource(QStringLiteral("a.avi"));
    ui.list.history.clear();
    writeFile(work + QStringLiteral("theirs"), "x");
    ASSERT_EQ(chown(QFile::encodeName(work).constData(), getuid() + 4242, getgid()), 0);
    const QString logPath = sandbox() + QStringLiteral("/home/Qor_Log.txt");
    QFile::remove(logPath);
    ui.options.bWriteLog = true;
    EXPECT_EQ(convert(), RunOutcome::NotStarted);
    const QString folder = platform::withoutTrailingSeparators(work);
    EXPECT_EQ(ui.messages, QStringList{ QStringLiteral("임시폴더의 소유자가 다른 사용자라서 사용하지 않음: ") + folder });
    const QByteArray log = readFile(logPath);
    EXPECT_TRUE(QString::fromUtf16(reinterpret_cast<const char16_t *>(log.constData()), log.size() / 2)
                    .contains(QStringLiteral("Temp folder refused (owned by another user): ") + folder));
    EXPECT_TRUE(ui.list.history.empty());
    EXPECT_FALSE(ui.bConverting);
    EXPECT_EQ(QDir(work).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden), QStringList{ QStringLiteral("theirs") });
    QFile::remove(logPath);
}

TEST_F(JobDriverTest, SkippedJobsTemporaryFilesGoAtTheNextJobEnd)
{
    addSource(QStringLiteral("a.avi"));
    addSource(QStringLiteral("b.avi"));
    bool firstTempPresentInSecondJob = true;
    g_stage = [&](ConvertJob &job) {
        const QString temp = job.strWorkFolder + QStringLiteral("skip.wav");
        if (job.job.iRow == 0) {
            writeFile(temp, "pcm");
            AddTempFile(job.tempFiles, temp);
            job.setStatus(QStringLiteral("오디오 변환 실패"));
            return StageResult::SkipJob;
        }
        firstTempPresentInSecondJob = QFile::exists(temp);
        return StageResult::Continue;
    };
    EXPECT_EQ(convert(), RunOutcome::Finished);
    // A skipped job does not reach its job end; the next job end deletes its files.
    EXPECT_TRUE(firstTempPresentInSecondJob);
}

TEST_F(JobDriverTest, LogOffCreatesNoFileAndLeavesAnOldOneAlone)
{
    const QString logPath = sandbox() + QStringLiteral("/home/Qor_Log.txt");
    QFile::remove(logPath);
    addSource(QStringLiteral("a.avi"));
    EXPECT_EQ(convert(), RunOutcome::Finished);
    EXPECT_FALSE(QFile::exists(logPath));

    writeFile(logPath, "earlier log");
    EXPECT_EQ(convert(), RunOutcome::Finished);
    EXPECT_EQ(readFile(logPath), QByteArray("earlier log"));
    QFile::remove(logPath);
}

TEST_F(JobDriverTest, LogOnStartsWithSystemToolCheckAndOptions)
{
    const QString logPath = sandbox() + QStringLiteral("/home/Qor_Log.txt");
    writeFile(logPath, "earlier log");
    addSource(QStringLiteral("a %1.avi"));
    ui.options.bWriteLog = true;
    EXPECT_EQ(convert(), RunOutcome::Finished);

    const QByteArray bytes = readFile(logPath);
    ASSERT_TRUE(bytes.startsWith("\xFF\xFE"));
    const QString text = QString::fromUtf16(reinterpret_cast<const char16_t *>(bytes.constData() + 2),
                                            (bytes.size() - 2) / 2);
    QStringList lines = text.split(QStringLiteral("\r\n"));
    lines.removeLast();
    for (QString &l : lines)
        l = l.mid(26);
    ASSERT_GE(lines.size(), 23);
    EXPECT_TRUE(lines[0].startsWith(QStringLiteral("OS Info: ")));
    EXPECT_TRUE(lines[1].startsWith(QStringLiteral("Mem Info: ")));
    EXPECT_EQ(lines[2], QStringLiteral("File check completed: ffmpeg, neroAacEnc, MP4Box, mkvextract, OGMDemuxer, "
                                       "normalize, chanfold, MediaInfo"));
    EXPECT_EQ(lines[3], QStringLiteral("Option: smaller than 4GB = 0"));
    EXPECT_EQ(lines[22], QStringLiteral("Option: Save Folder = "));
    EXPECT_TRUE(lines.contains(QStringLiteral("Preparing job: 1/1")));
    EXPECT_TRUE(lines.contains(QStringLiteral("Source filename: ") + sources + QStringLiteral("a %1.avi")));
    EXPECT_EQ(lines.last(), QStringLiteral("job fnished"));
    QFile::remove(logPath);
}

namespace {

// The log's lines without their time stamps.
QStringList logLines(const QString &path)
{
    const QByteArray bytes = readFile(path);
    if (!bytes.startsWith("\xFF\xFE"))
        return {};
    QStringList lines = QString::fromUtf16(reinterpret_cast<const char16_t *>(bytes.constData() + 2),
                                           (bytes.size() - 2) / 2)
                            .split(QStringLiteral("\r\n"), Qt::SkipEmptyParts);
    for (QString &l : lines)
        l = l.mid(26);
    return lines;
}

} // namespace

TEST_F(JobDriverTest, SideBySideJobsRunTogetherEachInItsOwnFolder)
{
    if (platform::processorCount() < 2)
        GTEST_SKIP() << "one processor: jobs run one after the other";
    const QString logPath = sandbox() + QStringLiteral("/home/Qor_Log.txt");
    writeFile(logPath, "");
    for (const char *n : { "one.avi", "two.avi", "three.avi" })
        addSource(QLatin1String(n));
    ui.options.iConcurrentJobs = 2;
    ui.options.bWriteLog = true;
    // The first two rows each wait for the other: one after the other, neither would end.
    writeTool(program + QStringLiteral("tools/ffmpeg"),
              "case \"$1\" in\n"
              "make) printf done > \"$2\" ;;\n"
              "meet) : > \"$2\"; for i in $(seq 100); do [ -e \"$3\" ] && { printf done > \"$4\"; exit 0; }; "
              "sleep 0.05; done; exit 1 ;;\n"
              "esac\n");
    std::mutex guard;
    std::map<int, QString> folders;
    const QString out = output, meeting = output;
    g_stage = [&](ConvertJob &job) {
        const int row = job.job.iRow;
        {
            const std::lock_guard<std::mutex> lock(guard);
            folders[row] = job.strWorkFolder;
        }
        job.ui.setSummaryText(QStringLiteral("summary"));
        // Each job's step script has the same name: only its own folder keeps it apart.
        if (row == 2)
            return makeOutput(job, out);
        ToolStep step;
        step.tool = kFfmpeg;
        step.statusText = QStringLiteral("만나는 중");
        step.output = out + QStringLiteral("[Qor] row%1.mp4").arg(row);
        step.registerOutput = false;
        step.arguments = QStringLiteral("meet \"%1here%2\" \"%1here%3\" \"%4\"")
                             .arg(meeting).arg(row).arg(1 - row).arg(step.output);
        if (RunToolStep(job, step) != StepOutcome::Produced)
            return StageResult::SkipJob;
        job.job.strOutputFolder = out;
        job.job.strOutputName = QStringLiteral("[Qor] row%1.mp4").arg(row);
        return StageResult::Continue;
    };
    EXPECT_EQ(convert(), RunOutcome::Finished);
    for (const QString &status : ui.statuses())
        EXPECT_TRUE(status.startsWith(QStringLiteral("완료: "))) << qPrintable(status);
    ASSERT_EQ(folders.size(), 3u);
    for (const auto &[row, folder] : folders) {
        EXPECT_TRUE(folder.endsWith(QStringLiteral("/job-%1/").arg(row + 1))) << qPrintable(folder);
        EXPECT_FALSE(QFileInfo::exists(folder)) << "left behind: " << qPrintable(folder);
    }
    // The status bar showed both running rows at once, and ends cleared.
    bool both = false;
    for (const auto &[part, text] : ui.statusBar)
        both = both || (part == 0 && text == QStringLiteral("1,2/3"));
    EXPECT_TRUE(both);
    EXPECT_EQ(ui.statusBar.back().second, QString());
    // So does each source's summary line, and the log's lines of each job.
    for (int row = 1; row <= 3; ++row)
        EXPECT_TRUE(ui.summaries.contains(QStringLiteral("[%1] summary").arg(row))) << qPrintable(ui.summaries.join(','));
    const QStringList lines = logLines(logPath);
    for (int row = 1; row <= 3; ++row) {
        EXPECT_TRUE(lines.contains(QStringLiteral("[job %1] Preparing job: %1/3").arg(row))) << row;
        EXPECT_TRUE(lines.contains(QStringLiteral("[job %1] job fnished").arg(row))) << row;
    }
    QFile::remove(logPath);
}

TEST_F(JobDriverTest, StopEndsEverySideBySideJobAndStartsNoOther)
{
    if (platform::processorCount() < 2)
        GTEST_SKIP() << "one processor: jobs run one after the other";
    for (const char *n : { "one.avi", "two.avi", "three.avi" })
        addSource(QLatin1String(n));
    ui.options.iConcurrentJobs = 2;
    const QString pids = work;
    g_stage = [pids](ConvertJob &job) {
        ToolStep step;
        step.tool = kFfmpeg;
        step.statusText = QStringLiteral("비디오 추출중");
        step.output = job.strWorkFolder + QStringLiteral("video.h264");
        step.arguments = QStringLiteral("hang \"%1hang%2.pid\"").arg(pids).arg(job.job.iRow);
        step.stopLine = QStringLiteral("Video extraction stopped");
        return RunToolStep(job, step) == StepOutcome::Stopped ? StageResult::StopRun : StageResult::SkipJob;
    };
    const QString first = work + QStringLiteral("hang0.pid"), second = work + QStringLiteral("hang1.pid");
    QTimer press;
    QObject::connect(&press, &QTimer::timeout, [&] {
        if (readPid(first) > 0 && readPid(second) > 0)
            ui.requestStop();
    });
    press.start(20);
    EXPECT_EQ(convert(), RunOutcome::Stopped);
    const QStringList statuses = ui.statuses();
    EXPECT_TRUE(statuses[0].startsWith(QStringLiteral("중단: "))) << qPrintable(statuses[0]);
    EXPECT_TRUE(statuses[1].startsWith(QStringLiteral("중단: "))) << qPrintable(statuses[1]);
    EXPECT_EQ(statuses[2], kWaiting);
    for (const QString &pidFile : { first, second })
        EXPECT_NE(kill(readPid(pidFile), 0), 0) << "tool still running: " << qPrintable(pidFile);
    ASSERT_EQ(ui.messages.size(), 1);
    EXPECT_TRUE(ui.messages[0].startsWith(QStringLiteral("작업 중단! / ")));
}
