#pragma once

#include <QByteArray>
#include <QJsonObject>
#include <QProcess>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

#include "../QtPrinters.h"

#include <map>
#include <memory>

// Shared pieces of the end-to-end tests: running marbleway-cli in an isolated
// settings home, making media with ffmpeg, and reading outputs back with ffprobe.
namespace e2e {

// build/bin (from MARBLEWAY_BIN_DIR) and the source tree (MARBLEWAY_SOURCE_DIR).
QString binDir();
QString sourceDir();

struct RunResult
{
    int exitCode = -1;
    QString out; // standard output: "status<TAB>path" per row
    QString err;
    // Final status text per source path, from standard output.
    std::map<QString, QString> statusByPath() const;
};

// A scratch area for one test: its own settings home (XDG_CONFIG_HOME), cache folder,
// temp folder, media folder and save folder; removed at the end.
class Sandbox
{
public:
    Sandbox();
    QString root() const { return m_dir.path(); }
    QString mediaDir() const { return m_dir.path() + QStringLiteral("/media"); }
    QString tempDir() const { return m_dir.path() + QStringLiteral("/work"); }
    QString saveDir() const { return m_dir.path() + QStringLiteral("/out"); }

    // marbleway-cli with --temp-folder tempDir() and the given arguments.
    // programFolder overrides where tools/ is looked up (empty: build/bin).
    // Every source given (and every companion audio or subtitle file beside it) is
    // checksummed before and after the run; a change, or a source gone, fails the test.
    RunResult runCli(const QStringList &args, const QString &programFolder = QString(), int timeoutMs = 300000) const;

    // The same, started in the background: the caller may signal the process (SIGINT is
    // Stop) before finish() waits for it and checks the sources.
    struct Running
    {
        QProcess process;
        std::map<QString, QByteArray> checksums;
    };
    std::unique_ptr<Running> startCli(const QStringList &args, const QString &programFolder = QString(),
                                      const QStringList &extraEnvironment = QStringList()) const;
    RunResult finish(std::unique_ptr<Running> run, int timeoutMs = 300000) const;

    // A command put in front of marbleway-cli (for example unshare and a mount), empty for none.
    void setLauncher(const QStringList &launcher) { m_launcher = launcher; }

    // A source the test itself removes during the run: its absence is no fault.
    void expectSourceRemoved(const QString &path) const { m_removedOnPurpose << path; }

    // Copies a test-media file into mediaDir() under a new name; returns its path.
    QString addMedia(const QString &mediaName, const QString &asName) const;

    // Files left in the temp folder and in the runs' subfolders there (scripts,
    // intermediates), by name.
    QStringList leftoverTempFiles() const;
    // The newest run subfolder kept with --keep-temp (trailing '/'), or empty.
    QString keptWorkFolder() const;

    // Runs leave out --temp-folder and use the default temporary folder of the
    // sandbox's home (its cache folder, cacheDir()).
    void useDefaultTempFolder() { m_useDefaultTemp = true; }
    QString cacheDir() const { return m_dir.path() + QStringLiteral("/cache"); }

    // The diagnostic log of the runs (--log), as text; empty when none was written.
    QString diagnosticLog() const;
    // Removes it, so the next run's log stands alone.
    void removeDiagnosticLog() const;

private:
    QTemporaryDir m_dir;
    mutable QStringList m_removedOnPurpose;
    QStringList m_launcher;
    bool m_useDefaultTemp = false;
};

// Checksums of the files a run must leave alone: each FILE argument that exists and
// the companion audio and subtitle files beside it (same base name).
std::map<QString, QByteArray> sourceChecksums(const QStringList &cliArguments);

// Adds to a figure of the reliability report: each test case writes its own file in
// build/reliability/, which scripts/reliability-report.sh sums into docs/RELIABILITY.md.
void addFigure(const QString &key, qint64 value);

// Runs /usr/bin/ffmpeg -nostdin -y -loglevel error ARGS; true on exit 0 and an output file.
bool ffmpeg(const QStringList &args, const QString &output);

// ffprobe -show_streams -show_format as JSON.
QJsonObject probe(const QString &file);
// Streams of one kind ("video", "audio", "subtitle") from a probe.
QList<QJsonObject> streams(const QJsonObject &probe, const QString &codecType);
// The first stream of one kind in a file, empty when it has none.
QJsonObject firstStream(const QString &file, const char *kind);
// The rotation a stream's display matrix tells (ffprobe's side data), 0 when none.
int rotationOf(const QJsonObject &stream);
// Number of video frames counted by decoding (ffprobe -count_frames).
int countVideoFrames(const QString &file);

// Path of one file made by scripts/make-test-media.sh, generated once per test process
// into a private folder (copy it into a sandbox before a run: sources are the user's).
QString testMedia(const QString &name);

// SHA-256 of a file's bytes, for source-integrity checks.
QByteArray fileHash(const QString &path);

} // namespace e2e
