// The step-script interpreter on arbitrary bytes: whole scripts and single lines.
// Besides not crashing, it must keep the one promise the converter relies on: a
// command line built from names that pass the name test gives back exactly those
// names as arguments, so no name can reach past its quotes.
#include "platform/Paths.h"
#include "runner/CommandScript.h"
#include "runner/ScriptInterpreter.h"

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char *>(data), qsizetype(size));

    // A script as the runner reads it.
    if (auto plan = runner::parseScript(bytes)) {
        if (plan->lines.empty() || plan->lines.back().kind != runner::ScriptLine::Command)
            __builtin_trap();
        if (plan->lines.back().program.isEmpty())
            __builtin_trap();
    }
    // One line, and the argument splitter on its own.
    const QString text = QString::fromUtf8(bytes);
    (void)runner::parseScriptLine(text);
    (void)runner::splitWindowsArguments(text);

    // The bytes as a list of names (split at NUL): each name the name test accepts
    // goes into the command line quoted, as every stage writes it.
    QStringList names;
    for (const QByteArray &part : bytes.split('\0')) {
        const QString name = QString::fromUtf8(part);
        if (!name.isEmpty() && platform::isScriptSafePath(name))
            names << name;
    }
    if (names.isEmpty())
        return 0;
    QString arguments;
    for (const QString &name : names)
        arguments += QStringLiteral(" \"") + name + QLatin1Char('"');
    const QString line = runner::toolCommandLine(QStringLiteral("/opt/tools/ffmpeg"), arguments.mid(1));
    auto parsed = runner::parseScript(runner::commandScriptBytes({ line }));
    if (!parsed)
        __builtin_trap();
    const runner::ScriptLine &command = parsed->lines.back();
    if (command.program != QLatin1String("/opt/tools/ffmpeg") || !command.redirectPath.isEmpty())
        __builtin_trap();
    if (command.arguments != names)
        __builtin_trap();
    return 0;
}
