#pragma once

#include <QString>
#include <QStringList>

// Where a run keeps its scripts and intermediate files. The temporary folder belongs
// to the user alone; each run works in a subfolder of its own, so two runs (two
// windows, or the window and the command line) never share a file.
namespace platform {

// Candidates for the default temporary folder, in order: $XDG_CACHE_HOME/marbleway
// (else ~/.cache/marbleway), on disk where a film's intermediate streams fit; then
// $XDG_RUNTIME_DIR/marbleway, a small memory-backed folder, when that is set.
// Nothing is created here. No trailing separators.
QStringList defaultTempFolders();

enum class FolderProblem {
    None,
    CannotCreate,
    NotAFolder,
    SymbolicLink,
    OtherOwner,
    OpenToOthers, // group- or world-writable
    NotWritable,
};

// Makes sure folder (created with its parents, 0700, when missing) can hold this
// user's work files: a real folder, no symbolic link, owned by the user, writable
// by nobody else, and writable by us.
FolderProblem preparePrivateFolder(const QString &folder);

// One run's own subfolder of a temporary folder: "run-PID-XXXXXX", 0700, locked for
// as long as this object lives so that a later start knows the run is still going.
class RunFolder
{
public:
    RunFolder() = default;
    ~RunFolder();
    RunFolder(const RunFolder &) = delete;
    RunFolder &operator=(const RunFolder &) = delete;

    // Removes the subfolders of runs whose process is gone, then makes a new one.
    bool create(const QString &tempFolder);
    // With a trailing separator; empty before create() succeeded.
    QString path() const { return m_path; }
    // Renames it "kept-PID-XXXXXX" (left alone by later starts); returns the new path.
    QString keep();
    // Deletes it with everything in it.
    void remove();

private:
    void unlock();

    QString m_path;
    int m_lockFd = -1;
};

// Deletes the "run-*" subfolders of folder that no running process holds.
void removeStaleRunFolders(const QString &folder);

} // namespace platform
