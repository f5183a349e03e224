#include "runner/CommandScript.h"
#include "runner/ScriptInterpreter.h"

#include <gtest/gtest.h>

using namespace runner;

namespace {

QStringList split(const char *utf8)
{
    return splitWindowsArguments(QString::fromUtf8(utf8));
}

QStringList list(std::initializer_list<const char *> items)
{
    QStringList out;
    for (const char *s : items)
        out << QString::fromUtf8(s);
    return out;
}

} // namespace

TEST(SplitArguments, BlanksSeparateAndQuotesGroupAndVanish)
{
    EXPECT_EQ(split(""), QStringList());
    EXPECT_EQ(split("   \t "), QStringList());
    EXPECT_EQ(split("a  b\tc"), list({ "a", "b", "c" }));
    EXPECT_EQ(split("-i \"a.avi\" \"b.wav\""), list({ "-i", "a.avi", "b.wav" }));
    EXPECT_EQ(split("\"a b\" c"), list({ "a b", "c" }));
    // A quote in the middle of a word groups without splitting the word.
    EXPECT_EQ(split("2:\"C:/x y.srt\""), list({ "2:C:/x y.srt" }));
    EXPECT_EQ(split("-add \"v.h264\":fps=23.976 x"), list({ "-add", "v.h264:fps=23.976", "x" }));
    // An empty quoted argument stays an argument.
    EXPECT_EQ(split("\"\" x"), list({ "", "x" }));
    EXPECT_EQ(split("x \"\""), list({ "x", "" }));
    // An unclosed quote runs to the end of the line.
    EXPECT_EQ(split("a \"b c"), list({ "a", "b c" }));
}

TEST(SplitArguments, BackslashRulesOfTheCRuntime)
{
    // Backslashes not before a quote are literal.
    EXPECT_EQ(split("a\\b c\\\\d"), list({ "a\\b", "c\\\\d" }));
    // 2n backslashes before a quote: n backslashes, the quote groups.
    EXPECT_EQ(split("\"a\\\\\" b"), list({ "a\\", "b" }));
    EXPECT_EQ(split("\"C:\\dir\\\\\""), list({ "C:\\dir\\" }));
    // 2n+1 backslashes before a quote: n backslashes and a literal quote.
    EXPECT_EQ(split("a\\\"b"), list({ "a\"b" }));
    EXPECT_EQ(split("a\\\\\\\"b"), list({ "a\\\"b" }));
    EXPECT_EQ(split("\"a\\\" b\""), list({ "a\" b" }));
}

TEST(SplitArguments, DoubledQuoteInsideAGroupIsALiteralQuote)
{
    EXPECT_EQ(split("\"a\"\"b\""), list({ "a\"b" }));
    EXPECT_EQ(split("\"a \"\" b\" c"), list({ "a \" b", "c" }));
}

TEST(SplitArguments, ShellAndCmdSyntaxIsPlainText)
{
    EXPECT_EQ(split("\"%1\" \"$(touch x)\" \"`id`\" \"a;b&c|d\" %PATH% 한글"),
              list({ "%1", "$(touch x)", "`id`", "a;b&c|d", "%PATH%", "한글" }));
}

TEST(ScriptLine, KnownFormsAreAccepted)
{
    auto echo = parseScriptLine(QStringLiteral("@echo off"));
    ASSERT_TRUE(echo);
    EXPECT_EQ(echo->kind, ScriptLine::EchoOff);

    auto chcp = parseScriptLine(QStringLiteral("chcp 949"));
    ASSERT_TRUE(chcp);
    EXPECT_EQ(chcp->kind, ScriptLine::Chcp);
    EXPECT_EQ(chcp->value, QStringLiteral("949"));

    auto pushd = parseScriptLine(QStringLiteral("pushd \"/tmp/a b\""));
    ASSERT_TRUE(pushd);
    EXPECT_EQ(pushd->kind, ScriptLine::Pushd);
    EXPECT_EQ(pushd->value, QStringLiteral("/tmp/a b"));

    auto set = parseScriptLine(QStringLiteral("set FFMPEG_DATADIR=/opt/x y/presets"));
    ASSERT_TRUE(set);
    EXPECT_EQ(set->kind, ScriptLine::Set);
    EXPECT_EQ(set->value, QStringLiteral("FFMPEG_DATADIR=/opt/x y/presets"));

    auto del = parseScriptLine(QStringLiteral("del \"/tmp/w/x264_2pass.log\""));
    ASSERT_TRUE(del);
    EXPECT_EQ(del->kind, ScriptLine::Del);
    EXPECT_EQ(del->value, QStringLiteral("/tmp/w/x264_2pass.log"));

    auto cmd = parseScriptLine(QStringLiteral("\"/p/tools/ffmpeg\" -i \"a b.avi\" -y \"o.wav\""));
    ASSERT_TRUE(cmd);
    EXPECT_EQ(cmd->kind, ScriptLine::Command);
    EXPECT_EQ(cmd->program, QStringLiteral("/p/tools/ffmpeg"));
    EXPECT_EQ(cmd->arguments, list({ "-i", "a b.avi", "-y", "o.wav" }));
    EXPECT_TRUE(cmd->redirectPath.isEmpty());
}

TEST(ScriptLine, RedirectionOfStandardOutput)
{
    auto cmd = parseScriptLine(QStringLiteral("\"/p/MediaInfo\" -f \"/s/a b.mkv\" > \"/w/mediainfo.txt\""));
    ASSERT_TRUE(cmd);
    EXPECT_EQ(cmd->program, QStringLiteral("/p/MediaInfo"));
    EXPECT_EQ(cmd->arguments, list({ "-f", "/s/a b.mkv" }));
    EXPECT_EQ(cmd->redirectPath, QStringLiteral("/w/mediainfo.txt"));

    // Inside quotes the operators are part of a name.
    auto quoted = parseScriptLine(QStringLiteral("\"/p/x\" \"a>b|c&d<e\""));
    ASSERT_TRUE(quoted);
    EXPECT_EQ(quoted->arguments, list({ "a>b|c&d<e" }));
    EXPECT_TRUE(quoted->redirectPath.isEmpty());
}

TEST(ScriptLine, AnythingElseIsRefused)
{
    const char *refused[] = {
        "echo hi",
        "@echo on",
        "/p/tools/ffmpeg -i a.avi", // tool path not quoted
        "call \"/p/x\"",
        "start \"\" \"/p/x\"",
        "chcp",
        "chcp 949x",
        "pushd",
        "pushd \"/a\" \"/b\"",
        "del",
        "set",
        "set =x",
        "\"/p/x\" a | more",
        "\"/p/x\" a & calc",
        "\"/p/x\" a && calc",
        "\"/p/x\" < in.txt",
        "\"/p/x\" a >> \"f\"",
        "\"/p/x\" a >",
        "\"/p/x\" a > \"f\" \"g\"",
        "\"\" a",
        "%COMSPEC% /c x",
    };
    for (const char *line : refused) {
        QString why;
        EXPECT_FALSE(parseScriptLine(QString::fromUtf8(line), &why)) << line;
        EXPECT_FALSE(why.isEmpty()) << line;
    }
}

TEST(Script, WholeScriptParsesToItsLinesWithTheCommandLast)
{
    const QByteArray bytes = commandScriptBytes({ QStringLiteral("pushd \"/w\""), QStringLiteral("set A=1"),
                                                  QStringLiteral("del \"/w/x\""),
                                                  QStringLiteral("\"/p/ffmpeg\" -pass 1") });
    auto plan = parseScript(bytes);
    ASSERT_TRUE(plan);
    ASSERT_EQ(plan->lines.size(), 6u);
    EXPECT_EQ(plan->lines[0].kind, ScriptLine::EchoOff);
    EXPECT_EQ(plan->lines[1].kind, ScriptLine::Chcp);
    EXPECT_EQ(plan->lines[2].kind, ScriptLine::Pushd);
    EXPECT_EQ(plan->lines[3].kind, ScriptLine::Set);
    EXPECT_EQ(plan->lines[4].kind, ScriptLine::Del);
    EXPECT_EQ(plan->lines[5].kind, ScriptLine::Command);
    EXPECT_EQ(plan->lines[5].arguments, list({ "-pass", "1" }));
}

TEST(Script, MalformedScriptsAreRefused)
{
    QString why;
    EXPECT_FALSE(parseScript(commandScriptBytes({}), &why));
    EXPECT_FALSE(why.isEmpty());
    EXPECT_FALSE(parseScript(commandScriptBytes({ QStringLiteral("\"/p/a\""), QStringLiteral("\"/p/b\"") })));
    EXPECT_FALSE(parseScript(commandScriptBytes({ QStringLiteral("\"/p/a\" x"), QStringLiteral("echo done") })));
    // A line break smuggled into an argument becomes a line of its own and is refused.
    EXPECT_FALSE(parseScript(commandScriptBytes({ QStringLiteral("\"/p/a\" \"x\ny\"") })));
}
