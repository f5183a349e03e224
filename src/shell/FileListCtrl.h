#pragma once

#include "engine/FileList.h"

#include <QStringList>
#include <QTreeWidget>

// The window's list of source files (control 1001): five columns in report view,
// full-row selection, drops of files from a file manager. It is the engine's
// FileList, so the driver writes its row texts straight into the view.
class FileListCtrl : public QTreeWidget, public FileList
{
    Q_OBJECT
public:
    explicit FileListCtrl(QWidget *parent = nullptr);

    // Removes every row and column and sets up the five columns again.
    void prepare();

    // Drops are taken only while idle.
    void setDropsAccepted(bool on);
    bool dropsAccepted() const { return m_dropsAccepted; }

    // Selected row indices in ascending order.
    QList<int> selectedRows() const;
    // Removes the selected rows; returns how many went.
    int deleteSelectedRows();

    // FileList
    int rowCount() const override { return topLevelItemCount(); }
    QString text(int row, int column) const override;
    void setText(int row, int column, const QString &text) override;
    int appendRow(const QString &name, const QString &folder) override;
    void removeRow(int row) override;
    void ensureVisible(int row) override;

    // Paths of the dropped items, symbolic links resolved to their targets.
    static QStringList droppedPaths(const QMimeData *mime);

signals:
    // Files dropped on the list (links already resolved).
    void pathsDropped(const QStringList &paths);
    // A mouse click or a key press on the list, after the list has handled it
    // (so the selection is already the new one).
    void listClicked();
    void listKeyPressed(int key);

protected:
    void dragEnterEvent(QDragEnterEvent *event) override;
    void dragMoveEvent(QDragMoveEvent *event) override;
    void dropEvent(QDropEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;

private:
    bool takesDrop(QDropEvent *event) const;
    static void setPathTips(QTreeWidgetItem *item);

    bool m_dropsAccepted = false;
    // The list's width the column widths were last fitted to.
    int m_columnsWidth = 0;
};
