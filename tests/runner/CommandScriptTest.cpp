#include "runner/CommandScript.h"

#include "TestSupport.h"

#include <QFile>

#include <gtest/gtest.h>

using namespace runner;

TEST(CommandScript, ToolStepScriptIsExactlyThreeCrLfLinesWithoutBom)
{
    const QString line = toolCommandLine(QStringLiteral("C:/PROGRA~1/CONV/tools/ffmpeg"),
                                         QStringLiteral("-i \"a.avi\" \"b.wav\""));
    EXPECT_EQ(commandScriptBytes({ line }),
              QByteArray("@echo off\r\nchcp 949\r\n\"C:/PROGRA~1/CONV/tools/ffmpeg\" -i \"a.avi\" \"b.wav\"\r\n"));
}

TEST(CommandScript, ArgumentsAreWrittenUnchangedInUtf8)
{
    // Nothing is escaped or expanded: the caller's quoting is the whole story.
    const QString args = QStringLiteral("\"%1 $(x) `y` 한글\" -o 50%");
    const QByteArray bytes = commandScriptBytes({ toolCommandLine(QStringLiteral("/t/x"), args) });
    EXPECT_EQ(bytes, QByteArray("@echo off\r\nchcp 949\r\n\"/t/x\" ") + args.toUtf8() + "\r\n");
    EXPECT_FALSE(bytes.startsWith("\xEF\xBB\xBF"));
}

TEST(CommandScript, WritingTruncatesAnOlderScriptAndReportsFailure)
{
    const QString dir = testsupport::freshFolder();
    const QString path = dir + QStringLiteral("/runapp.cmd");
    testsupport::writeFile(path, QByteArray(500, 'z'));
    ASSERT_TRUE(writeCommandScript(path, { QStringLiteral("\"/t/a\" b") }));
    EXPECT_EQ(testsupport::readFile(path), QByteArray("@echo off\r\nchcp 949\r\n\"/t/a\" b\r\n"));

    EXPECT_FALSE(writeCommandScript(dir + QStringLiteral("/no such folder/runapp.cmd"), { QStringLiteral("x") }));
}
