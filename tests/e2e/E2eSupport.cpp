#include "E2eSupport.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QProcess>
#include <QProcessEnvironment>

namespace e2e {

QString binDir()
{
    return qEnvironmentVariable("MARBLEWAY_BIN_DIR");
}

QString sourceDir()
{
    return qEnvironmentVariable("MARBLEWAY_SOURCE_DIR");
}

std::map<QString, QString> RunResult::statusByPath() const
{
    std::map<QString, QString> m;
    for (const QString &line : out.split(QLatin1Char('\n'), Qt::SkipEmptyParts)) {
        const qsizetype tab = line.indexOf(QLatin1Char('\t'));
        if (tab > 0)
            m[line.mid(tab + 1)] = line.left(tab);
    }
    return m;
}

Sandbox::Sandbox()
{
    QDir root(m_dir.path());
    root.mkpath(QStringLiteral("media"));
    root.mkpath(QStringLiteral("work"));
    root.mkpath(QStringLiteral("out"));
    root.mkpath(QStringLiteral("config"));
}

RunResult Sandbox::runCli(const QStringList &args, const QString &programFolder, int timeoutMs) const
{
    QProcess p;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("XDG_CONFIG_HOME"), root() + QStringLiteral("/config"));
    env.insert(QStringLiteral("HOME"), root());
    env.insert(QStringLiteral("LC_ALL"), QStringLiteral("C.UTF-8"));
    if (!programFolder.isEmpty())
        env.insert(QStringLiteral("MARBLEWAY_PROGRAM_FOLDER"), programFolder);
    p.setProcessEnvironment(env);
    p.start(binDir() + QStringLiteral("/marbleway-cli"),
            QStringList{ QStringLiteral("--temp-folder"), tempDir() } + args);
    RunResult r;
    if (!p.waitForFinished(timeoutMs)) {
        p.kill();
        p.waitForFinished();
        r.err = QStringLiteral("timed out");
        return r;
    }
    r.exitCode = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
    r.out = QString::fromUtf8(p.readAllStandardOutput());
    r.err = QString::fromUtf8(p.readAllStandardError());
    return r;
}

QStringList Sandbox::leftoverTempFiles() const
{
    return QDir(tempDir()).entryList(QDir::Files | QDir::NoDotAndDotDot | QDir::Hidden);
}

bool ffmpeg(const QStringList &args, const QString &output)
{
    QProcess p;
    p.start(QStringLiteral("/usr/bin/ffmpeg"),
            QStringList{ QStringLiteral("-nostdin"), QStringLiteral("-y"), QStringLiteral("-loglevel"),
                         QStringLiteral("error") }
                + args + QStringList{ output });
    if (!p.waitForFinished(120000))
        return false;
    return p.exitStatus() == QProcess::NormalExit && p.exitCode() == 0 && QFileInfo(output).size() > 0;
}

QJsonObject probe(const QString &file)
{
    QProcess p;
    p.start(QStringLiteral("/usr/bin/ffprobe"),
            { QStringLiteral("-v"), QStringLiteral("error"), QStringLiteral("-print_format"), QStringLiteral("json"),
              QStringLiteral("-show_streams"), QStringLiteral("-show_format"), file });
    p.waitForFinished(60000);
    return QJsonDocument::fromJson(p.readAllStandardOutput()).object();
}

QList<QJsonObject> streams(const QJsonObject &probeResult, const QString &codecType)
{
    QList<QJsonObject> out;
    for (const QJsonValue &v : probeResult.value(QStringLiteral("streams")).toArray()) {
        const QJsonObject s = v.toObject();
        if (s.value(QStringLiteral("codec_type")).toString() == codecType)
            out << s;
    }
    return out;
}

int countVideoFrames(const QString &file)
{
    QProcess p;
    p.start(QStringLiteral("/usr/bin/ffprobe"),
            { QStringLiteral("-v"), QStringLiteral("error"), QStringLiteral("-select_streams"), QStringLiteral("v:0"),
              QStringLiteral("-count_frames"), QStringLiteral("-show_entries"),
              QStringLiteral("stream=nb_read_frames"), QStringLiteral("-of"), QStringLiteral("csv=p=0"), file });
    p.waitForFinished(120000);
    bool ok = false;
    const int n = QString::fromUtf8(p.readAllStandardOutput()).trimmed().toInt(&ok);
    return ok ? n : -1;
}

QString testMedia(const QString &name)
{
    static QTemporaryDir dir;
    static bool made = false;
    if (!made) {
        QProcess p;
        p.start(QStringLiteral("/bin/bash"),
                { sourceDir() + QStringLiteral("/scripts/make-test-media.sh"), dir.path() });
        p.waitForFinished(300000);
        made = p.exitStatus() == QProcess::NormalExit && p.exitCode() == 0;
        if (!made)
            qWarning("make-test-media.sh failed: %s", p.readAllStandardError().constData());
    }
    return dir.path() + QLatin1Char('/') + name;
}

QString Sandbox::addMedia(const QString &mediaName, const QString &asName) const
{
    const QString target = mediaDir() + QLatin1Char('/') + asName;
    QFile::remove(target);
    QFile::copy(testMedia(mediaName), target);
    return target;
}

QByteArray fileHash(const QString &path)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return QByteArray();
    QCryptographicHash h(QCryptographicHash::Sha256);
    h.addData(&f);
    return h.result().toHex();
}

} // namespace e2e
