#include "TestSupport.h"

#include <QDir>
#include <QProcess>
#include <QProcessEnvironment>

#include <gtest/gtest.h>

using namespace testsupport;

namespace {

const char *const kToolNames[] = { "ffmpeg", "neroAacEnc", "MP4Box", "mkvextract",
                                   "OGMDemuxer", "normalize", "chanfold", "MediaInfo" };

struct Result
{
    int exitCode = -1;
    QString out, err;
};

class CliBinaryTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        const QString binDir = qEnvironmentVariable("MARBLEWAY_BIN_DIR");
        if (binDir.isEmpty())
            GTEST_SKIP() << "MARBLEWAY_BIN_DIR is not set (run through ctest)";
        binary = binDir + QStringLiteral("/marbleway-cli");
        ASSERT_TRUE(QFile::exists(binary)) << qPrintable(binary);
        root = freshFolder(QStringLiteral("cli"));
        program = root + QStringLiteral("/program/");
        sources = root + QStringLiteral("/source files/");
        QDir().mkpath(program + QStringLiteral("tools"));
        QDir().mkpath(sources);
        for (const char *name : kToolNames)
            writeTool(program + QStringLiteral("tools/") + QLatin1String(name), "exit 0\n");
    }

    Result run(const QStringList &args)
    {
        QProcess p;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        // The sandboxed HOME, XDG_CONFIG_HOME and TMPDIR are inherited.
        env.insert(QStringLiteral("MARBLEWAY_PROGRAM_FOLDER"), program);
        env.insert(QStringLiteral("LC_ALL"), QStringLiteral("C.UTF-8"));
        p.setProcessEnvironment(env);
        p.start(binary, args);
        Result r;
        if (!p.waitForFinished(60000)) {
            p.kill();
            p.waitForFinished();
            ADD_FAILURE() << "marbleway-cli did not end";
            return r;
        }
        r.exitCode = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
        r.out = QString::fromUtf8(p.readAllStandardOutput());
        r.err = QString::fromUtf8(p.readAllStandardError());
        return r;
    }

    QString source(const QString &name)
    {
        writeFile(sources + name, "RIFF");
        return sources + name;
    }

    QString binary, root, program, sources;
};

} // namespace

TEST_F(CliBinaryTest, HelpExitsZero)
{
    const Result r = run({ QStringLiteral("--help") });
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_TRUE(r.out.startsWith(QStringLiteral("Usage: marbleway-cli"))) << qPrintable(r.out);
}

TEST_F(CliBinaryTest, UsageErrorsExitTwo)
{
    const QString a = source(QStringLiteral("a.avi"));
    for (const QStringList &args : { QStringList{ QStringLiteral("--mode"), QStringLiteral("4"), a },
                                     QStringList{ QStringLiteral("--device"), QStringLiteral("x"), a },
                                     QStringList{ QStringLiteral("--what"), a }, QStringList{} }) {
        const Result r = run(args);
        EXPECT_EQ(r.exitCode, 2) << qPrintable(args.join(QLatin1Char(' ')));
        EXPECT_TRUE(r.err.contains(QStringLiteral("Usage:")));
        EXPECT_TRUE(r.out.isEmpty());
    }
}

TEST_F(CliBinaryTest, MissingToolsExitTwo)
{
    const QString a = source(QStringLiteral("a.avi"));
    QFile::remove(program + QStringLiteral("tools/MediaInfo"));
    Result r = run({ a });
    EXPECT_EQ(r.exitCode, 2);
    EXPECT_TRUE(r.err.contains(QStringLiteral("tools 폴더에 주요 파일이 없음!!"))) << qPrintable(r.err);
    EXPECT_TRUE(r.out.isEmpty());

    QDir(program + QStringLiteral("tools")).removeRecursively();
    r = run({ a });
    EXPECT_EQ(r.exitCode, 2);
    EXPECT_TRUE(r.out.isEmpty());
}

TEST_F(CliBinaryTest, SameFoldersExitTwo)
{
    const QString a = source(QStringLiteral("a.avi"));
    const QString folder = root + QStringLiteral("/same");
    QDir().mkpath(folder);
    const Result r = run({ QStringLiteral("--temp-folder"), folder, QStringLiteral("--save-folder"),
                           folder + QStringLiteral("/"), a });
    EXPECT_EQ(r.exitCode, 2);
    EXPECT_TRUE(r.err.contains(QStringLiteral("저장폴더와 임시폴더가 같음!")));
}

TEST_F(CliBinaryTest, RunPrintsOneLinePerRowAndFailsWhenARowIsNotDone)
{
    const QStringList files = { source(QStringLiteral("a.avi")), source(QStringLiteral("b c.mkv")),
                                source(QStringLiteral("한글 %1 $(touch PWNED).mp4")) };
    const QString refused = source(QStringLiteral("quote\"d.avi"));
    const QString temp = root + QStringLiteral("/work");
    QDir().mkpath(temp);
    const Result r = run(QStringList{ QStringLiteral("--temp-folder"), temp } + files + QStringList{ refused });

    // The test program folder's MediaInfo reports nothing, so every row is refused
    // by the identification stage as unreadable and the run reports failure (1).
    EXPECT_EQ(r.exitCode, 1) << qPrintable(r.err);
    QStringList expected;
    for (const QString &f : files)
        expected << QStringLiteral("파일 읽기 오류\t") + f;
    EXPECT_EQ(r.out, expected.join(QLatin1Char('\n')) + QLatin1Char('\n'));
    // Row statuses and message boxes go to standard error.
    EXPECT_TRUE(r.err.contains(QStringLiteral("[1] a.avi: 대기중")));
    EXPECT_TRUE(r.err.contains(QStringLiteral("[3] 한글 %1 $(touch PWNED).mp4: 파일 읽기 오류")));
    EXPECT_TRUE(r.err.contains(QStringLiteral("1개의 파일에서 파일명에 사용할 수 없는 문자(\", \\, 제어 문자) 포함!")));
    EXPECT_TRUE(r.err.contains(QStringLiteral("작업 종료! / ")));
    EXPECT_FALSE(QFile::exists(temp + QStringLiteral("/PWNED")));
    // The sources are untouched.
    for (const QString &f : files)
        EXPECT_EQ(readFile(f), QByteArray("RIFF"));
}
