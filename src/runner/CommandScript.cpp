#include "runner/CommandScript.h"

#include "platform/Paths.h"

#include <QFile>

namespace runner {

QByteArray commandScriptBytes(const QStringList &bodyLines, LastLine last)
{
    QByteArray bytes = "@echo off\r\nchcp 949\r\n";
    for (qsizetype i = 0; i < bodyLines.size(); ++i) {
        bytes += platform::encodePath(bodyLines.at(i));
        if (i + 1 < bodyLines.size() || last == LastLine::Terminated)
            bytes += "\r\n";
    }
    return bytes;
}

bool writeCommandScript(const QString &path, const QStringList &bodyLines, LastLine last)
{
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return false;
    const QByteArray bytes = commandScriptBytes(bodyLines, last);
    const bool ok = f.write(bytes) == bytes.size();
    f.close();
    return ok && f.error() == QFileDevice::NoError;
}

QString toolCommandLine(const QString &scriptToolPath, const QString &arguments)
{
    return QLatin1Char('"') + scriptToolPath + QStringLiteral("\" ") + arguments;
}

} // namespace runner
