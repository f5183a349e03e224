#pragma once

#include <QString>

// The support log "Qor_Log.txt" on the desktop: UTF-16LE with a byte-order mark,
// one timestamped line per event, opened and closed for every line so a crash loses
// nothing already written. Inert until started. Copies of a started log may write
// from several threads: each line goes in whole.
class DiagnosticLog
{
public:
    // Desktop folder + "/Qor_Log.txt", computed once per process.
    static QString defaultPath();

    void Start(const QString &path);
    // Lines of a job that runs beside others carry its number after the time.
    void setJobNumber(int number) { m_jobNumber = number; }
    void WriteLine(const QString &text);
    void WriteSystemInfo();
    // " - %s drive free space: %sMB" for the file system holding path.
    void LogDriveFreeSpace(const QString &path);

    bool isStarted() const { return !m_path.isEmpty(); }
    QString path() const { return m_path; }

    static QString timestampPrefix();
    static QString memoryLine();

private:
    QString m_path;
    int m_jobNumber = 0;
};
