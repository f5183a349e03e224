#include "runner/CommandScript.h"

#include "platform/Paths.h"

#include <QFile>

namespace runner {

QByteArray commandScriptBytes(const QStringList &bodyLines)
{
    QByteArray bytes = "@echo off\r\nchcp 949\r\n";
    for (const QString &line : bodyLines) {
        bytes += platform::encodePath(line);
        bytes += "\r\n";
    }
    return bytes;
}

bool writeCommandScript(const QString &path, const QStringList &bodyLines)
{
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return false;
    const QByteArray bytes = commandScriptBytes(bodyLines);
    const bool ok = f.write(bytes) == bytes.size();
    f.close();
    return ok && f.error() == QFileDevice::NoError;
}

QString toolCommandLine(const QString &scriptToolPath, const QString &arguments)
{
    return QLatin1Char('"') + scriptToolPath + QStringLiteral("\" ") + arguments;
}

} // namespace runner
