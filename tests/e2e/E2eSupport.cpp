#include "E2eSupport.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QProcess>
#include <QProcessEnvironment>
#include <QStringDecoder>

#include <gtest/gtest.h>

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

std::unique_ptr<Sandbox::Running> Sandbox::startCli(const QStringList &args, const QString &programFolder,
                                                    const QStringList &extraEnvironment) const
{
    auto run = std::make_unique<Running>();
    run->checksums = sourceChecksums(args);
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("XDG_CONFIG_HOME"), root() + QStringLiteral("/config"));
    env.insert(QStringLiteral("HOME"), root());
    env.insert(QStringLiteral("XDG_CACHE_HOME"), root() + QStringLiteral("/cache"));
    env.remove(QStringLiteral("XDG_RUNTIME_DIR"));
    env.insert(QStringLiteral("LC_ALL"), QStringLiteral("C.UTF-8"));
    // The default temporary folder, and the folder every tool starts in, are the
    // sandbox's own: parallel tests never share them.
    QDir(root()).mkpath(QStringLiteral("tmp"));
    env.insert(QStringLiteral("TMPDIR"), root() + QStringLiteral("/tmp"));
    run->process.setWorkingDirectory(root());
    if (!programFolder.isEmpty())
        env.insert(QStringLiteral("MARBLEWAY_PROGRAM_FOLDER"), programFolder);
    for (const QString &assignment : extraEnvironment) {
        const qsizetype eq = assignment.indexOf(QLatin1Char('='));
        env.insert(assignment.left(eq), assignment.mid(eq + 1));
    }
    run->process.setProcessEnvironment(env);
    const QStringList cliArgs = m_useDefaultTemp ? args : QStringList{ QStringLiteral("--temp-folder"), tempDir() } + args;
    const QString cli = binDir() + QStringLiteral("/marbleway-cli");
    if (m_launcher.isEmpty())
        run->process.start(cli, cliArgs);
    else
        run->process.start(m_launcher.first(), m_launcher.mid(1) + QStringList{ cli } + cliArgs);
    run->process.waitForStarted();
    return run;
}

RunResult Sandbox::finish(std::unique_ptr<Running> run, int timeoutMs) const
{
    QProcess &p = run->process;
    RunResult r;
    if (!p.waitForFinished(timeoutMs)) {
        p.kill();
        p.waitForFinished();
        r.err = QStringLiteral("timed out");
    } else {
        r.exitCode = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
    }
    r.out = QString::fromUtf8(p.readAllStandardOutput());
    r.err += QString::fromUtf8(p.readAllStandardError());

    // The user's files are never touched, whatever happened in the run.
    int changed = 0;
    for (const auto &[path, before] : run->checksums) {
        if (m_removedOnPurpose.contains(path))
            continue;
        const QByteArray after = fileHash(path);
        if (after != before) {
            ++changed;
            ADD_FAILURE() << "source file " << (after.isEmpty() ? "gone" : "changed") << ": " << path.toStdString();
        }
    }
    addFigure(QStringLiteral("runs"), 1);
    addFigure(QStringLiteral("source_files_checksummed"), qint64(run->checksums.size()));
    addFigure(QStringLiteral("source_files_changed"), changed);
    return r;
}

RunResult Sandbox::runCli(const QStringList &args, const QString &programFolder, int timeoutMs) const
{
    return finish(startCli(args, programFolder), timeoutMs);
}

std::map<QString, QByteArray> sourceChecksums(const QStringList &cliArguments)
{
    static const QStringList companions = { "smi", "srt", "ass", "ssa", "aac", "wav", "dts", "ac3", "mp3", "mp2", "wma" };
    std::map<QString, QByteArray> sums;
    for (const QString &arg : cliArguments) {
        const QFileInfo source(arg);
        if (!source.isFile())
            continue;
        sums[source.absoluteFilePath()] = fileHash(arg);
        const QString base = source.fileName().left(source.fileName().lastIndexOf(QLatin1Char('.')));
        const QDir folder = source.absoluteDir();
        for (const QFileInfo &f : folder.entryInfoList(QDir::Files | QDir::Hidden)) {
            if (f.fileName().startsWith(base) && companions.contains(f.suffix().toLower()))
                sums[f.absoluteFilePath()] = fileHash(f.absoluteFilePath());
        }
    }
    return sums;
}

void addFigure(const QString &key, qint64 value)
{
    static std::map<QString, qint64> figures;
    static const ::testing::TestInfo *figuresOf = nullptr;
    const ::testing::TestInfo *test = ::testing::UnitTest::GetInstance()->current_test_info();
    if (test != figuresOf) {
        figures.clear();
        figuresOf = test;
    }
    figures[key] += value;
    if (!test || binDir().isEmpty())
        return;
    const QString folder = binDir() + QStringLiteral("/../reliability");
    QDir().mkpath(folder);
    // Parameterised tests have '/' in their names.
    QString name = QString::fromLatin1(test->test_suite_name()) + QLatin1Char('.') + QString::fromLatin1(test->name());
    name.replace(QLatin1Char('/'), QLatin1Char('_'));
    QFile file(folder + QLatin1Char('/') + name + QStringLiteral(".tsv"));
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return;
    for (const auto &[k, v] : figures)
        file.write(k.toUtf8() + '\t' + QByteArray::number(v) + '\n');
}

// The log goes to the desktop folder, or to the home folder when there is none.
static QStringList diagnosticLogPaths(const QString &home)
{
    return { home + QStringLiteral("/Qor_Log.txt"), home + QStringLiteral("/Desktop/Qor_Log.txt") };
}

QString Sandbox::diagnosticLog() const
{
    for (const QString &path : diagnosticLogPaths(root())) {
        QFile f(path);
        if (f.open(QIODevice::ReadOnly)) {
            // UTF-16 little-endian with a byte-order mark.
            QStringDecoder decode(QStringDecoder::Utf16LE);
            return decode(f.readAll());
        }
    }
    return {};
}

void Sandbox::removeDiagnosticLog() const
{
    for (const QString &path : diagnosticLogPaths(root()))
        QFile::remove(path);
}

QStringList Sandbox::leftoverTempFiles() const
{
    // Files of the temporary folder itself and of every run's subfolder, by name; a
    // run subfolder left behind empty counts too.
    const QDir temp(tempDir());
    QStringList left = temp.entryList(QDir::Files | QDir::NoDotAndDotDot | QDir::Hidden);
    for (const QString &sub : temp.entryList(QDir::Dirs | QDir::NoDotAndDotDot | QDir::Hidden)) {
        const QStringList files = QDir(temp.filePath(sub)).entryList(QDir::Files | QDir::NoDotAndDotDot | QDir::Hidden);
        left += files.isEmpty() ? QStringList{ sub + QLatin1Char('/') } : files;
    }
    return left;
}

QString Sandbox::keptWorkFolder() const
{
    const QStringList kept = QDir(tempDir()).entryList({ QStringLiteral("kept-*") }, QDir::Dirs, QDir::Time);
    return kept.isEmpty() ? QString() : tempDir() + QLatin1Char('/') + kept.first() + QLatin1Char('/');
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

QJsonObject firstStream(const QString &file, const char *kind)
{
    const QList<QJsonObject> s = streams(probe(file), QString::fromLatin1(kind));
    return s.isEmpty() ? QJsonObject() : s.first();
}

int rotationOf(const QJsonObject &s)
{
    for (const QJsonValue &v : s.value(QStringLiteral("side_data_list")).toArray()) {
        const QJsonObject d = v.toObject();
        if (d.contains(QStringLiteral("rotation")))
            return d.value(QStringLiteral("rotation")).toInt();
    }
    return 0;
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
