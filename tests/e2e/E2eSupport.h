#pragma once

#include <QByteArray>
#include <QJsonObject>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

#include <map>

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

// A scratch area for one test: its own settings home (XDG_CONFIG_HOME), temp folder,
// media folder and save folder; removed at the end.
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
    RunResult runCli(const QStringList &args, const QString &programFolder = QString(), int timeoutMs = 300000) const;

    // Copies a test-media file into mediaDir() under a new name; returns its path.
    QString addMedia(const QString &mediaName, const QString &asName) const;

    // Files left in the temp folder (scripts, intermediates).
    QStringList leftoverTempFiles() const;

private:
    QTemporaryDir m_dir;
};

// Runs /usr/bin/ffmpeg -nostdin -y -loglevel error ARGS; true on exit 0 and an output file.
bool ffmpeg(const QStringList &args, const QString &output);

// ffprobe -show_streams -show_format as JSON.
QJsonObject probe(const QString &file);
// Streams of one kind ("video", "audio", "subtitle") from a probe.
QList<QJsonObject> streams(const QJsonObject &probe, const QString &codecType);
// Number of video frames counted by decoding (ffprobe -count_frames).
int countVideoFrames(const QString &file);

// Path of one file made by scripts/make-test-media.sh, generated once per test process
// into a private folder (copy it into a sandbox before a run: sources are the user's).
QString testMedia(const QString &name);

// SHA-256 of a file's bytes, for source-integrity checks.
QByteArray fileHash(const QString &path);

} // namespace e2e
