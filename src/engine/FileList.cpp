#include "engine/FileList.h"

QString MemoryFileList::text(int row, int column) const
{
    if (row < 0 || row >= rowCount() || column < 0 || column >= kColumnCount)
        return QString();
    return m_rows[static_cast<size_t>(row)].at(column);
}

void MemoryFileList::setText(int row, int column, const QString &text)
{
    if (row < 0 || row >= rowCount() || column < 0 || column >= kColumnCount)
        return;
    m_rows[static_cast<size_t>(row)][column] = text;
}

int MemoryFileList::appendRow(const QString &name, const QString &folder)
{
    QStringList row(kColumnCount);
    row[kName] = name;
    row[kFolder] = folder;
    m_rows.push_back(row);
    return rowCount() - 1;
}

void MemoryFileList::removeRow(int row)
{
    if (row >= 0 && row < rowCount())
        m_rows.erase(m_rows.begin() + row);
}
