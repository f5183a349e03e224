#pragma once

#include <QString>
#include <QStringList>

#include <vector>

// The list of source files the user converts: five text columns per row
// (0 file name, 1 folder with trailing separator, 2 external audio extension,
// 3 external subtitle extension, 4 progress/status text).
class FileList
{
public:
    enum Column { kName = 0, kFolder = 1, kAudio = 2, kSubtitle = 3, kStatus = 4, kColumnCount = 5 };

    virtual ~FileList() = default;
    virtual int rowCount() const = 0;
    virtual QString text(int row, int column) const = 0;
    virtual void setText(int row, int column, const QString &text) = 0;
    // Adds a row with the file name and folder set, the other columns empty; returns its index.
    virtual int appendRow(const QString &name, const QString &folder) = 0;
    virtual void removeRow(int row) = 0;
    virtual void ensureVisible(int /*row*/) { }

    // Column 1 + column 0.
    QString fullPath(int row) const { return text(row, kFolder) + text(row, kName); }
};

// A file list held in memory: the command-line front end and the tests use it.
class MemoryFileList : public FileList
{
public:
    int rowCount() const override { return static_cast<int>(m_rows.size()); }
    QString text(int row, int column) const override;
    void setText(int row, int column, const QString &text) override;
    int appendRow(const QString &name, const QString &folder) override;
    void removeRow(int row) override;

private:
    std::vector<QStringList> m_rows;
};
