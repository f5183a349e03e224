#include "shell/FileListCtrl.h"

#include "platform/Paths.h"

#include <QDragEnterEvent>
#include <QHeaderView>
#include <QMimeData>
#include <QUrl>

namespace {

struct ColumnSpec
{
    const char *header;
    Qt::Alignment alignment;
    int width;
};

const ColumnSpec kColumns[FileList::kColumnCount] = {
    { "파일명", Qt::AlignLeft, 275 },
    { "경로", Qt::AlignLeft, 210 },
    { "외부오디오", Qt::AlignHCenter, 90 },
    { "자막", Qt::AlignHCenter, 60 },
    { "진행", Qt::AlignHCenter, 145 },
};

} // namespace

FileListCtrl::FileListCtrl(QWidget *parent)
    : QTreeWidget(parent)
{
    setRootIsDecorated(false);
    setItemsExpandable(false);
    setUniformRowHeights(true);
    setAllColumnsShowFocus(true);
    setSelectionBehavior(QAbstractItemView::SelectRows);
    setSelectionMode(QAbstractItemView::ExtendedSelection);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setDragDropMode(QAbstractItemView::DropOnly);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    header()->setStretchLastSection(false);
    header()->setSectionsMovable(false);
    header()->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);

    // The selection stays visible when the list loses the focus.
    QPalette p = palette();
    p.setColor(QPalette::Inactive, QPalette::Highlight, p.color(QPalette::Active, QPalette::Highlight));
    p.setColor(QPalette::Inactive, QPalette::HighlightedText, p.color(QPalette::Active, QPalette::HighlightedText));
    setPalette(p);
    setDropsAccepted(false);
}

void FileListCtrl::prepare()
{
    clear();
    setColumnCount(kColumnCount);
    QStringList headers;
    for (const ColumnSpec &c : kColumns)
        headers << QString::fromUtf8(c.header);
    setHeaderLabels(headers);
    for (int i = 0; i < kColumnCount; ++i) {
        setColumnWidth(i, kColumns[i].width);
        headerItem()->setTextAlignment(i, kColumns[i].alignment | Qt::AlignVCenter);
    }
    // The template's column widths belong to the list's present width (a hidden list gets its
    // resize events only once shown).
    m_columnsWidth = width();
}

void FileListCtrl::setDropsAccepted(bool on)
{
    m_dropsAccepted = on;
    setAcceptDrops(on);
    viewport()->setAcceptDrops(on);
}

QList<int> FileListCtrl::selectedRows() const
{
    QList<int> rows;
    for (int row = 0; row < topLevelItemCount(); ++row) {
        if (topLevelItem(row)->isSelected())
            rows << row;
    }
    return rows;
}

int FileListCtrl::deleteSelectedRows()
{
    const QList<int> rows = selectedRows();
    int deleted = 0;
    for (int row : rows) {
        removeRow(row - deleted);
        ++deleted;
    }
    return deleted;
}

QString FileListCtrl::text(int row, int column) const
{
    const QTreeWidgetItem *item = topLevelItem(row);
    if (!item || column < 0 || column >= kColumnCount)
        return QString();
    return item->text(column);
}

void FileListCtrl::setText(int row, int column, const QString &text)
{
    QTreeWidgetItem *item = topLevelItem(row);
    if (!item || column < 0 || column >= kColumnCount)
        return;
    item->setText(column, text);
    if (column == kName || column == kFolder)
        setPathTips(item);
}

void FileListCtrl::setPathTips(QTreeWidgetItem *item)
{
    // Long names and folders are cut off in their columns; the whole path is a hover away.
    const QString path = item->text(kFolder) + item->text(kName);
    item->setToolTip(kName, path);
    item->setToolTip(kFolder, path);
}

int FileListCtrl::appendRow(const QString &name, const QString &folder)
{
    auto *item = new QTreeWidgetItem;
    item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemNeverHasChildren);
    for (int i = 0; i < kColumnCount; ++i)
        item->setTextAlignment(i, kColumns[i].alignment | Qt::AlignVCenter);
    item->setText(kName, name);
    item->setText(kFolder, folder);
    setPathTips(item);
    addTopLevelItem(item);
    return topLevelItemCount() - 1;
}

void FileListCtrl::removeRow(int row)
{
    delete takeTopLevelItem(row);
}

void FileListCtrl::ensureVisible(int row)
{
    if (QTreeWidgetItem *item = topLevelItem(row))
        scrollToItem(item);
}

QStringList FileListCtrl::droppedPaths(const QMimeData *mime)
{
    QStringList paths;
    if (!mime)
        return paths;
    for (const QUrl &url : mime->urls()) {
        if (!url.isLocalFile())
            continue;
        QString path = url.toLocalFile();
        // A link dropped on the list stands for the file it points to.
        path = platform::resolveLinks(path);
        if (!path.isEmpty())
            paths << path;
    }
    return paths;
}

bool FileListCtrl::takesDrop(QDropEvent *event) const
{
    // The files stay where they are: whatever the file manager proposes, the list
    // answers with a copy, so a "move" never ends with the source deleted.
    if (!m_dropsAccepted || !event->mimeData()->hasUrls() || !(event->possibleActions() & Qt::CopyAction))
        return false;
    event->setDropAction(Qt::CopyAction);
    return true;
}

void FileListCtrl::dragEnterEvent(QDragEnterEvent *event)
{
    if (takesDrop(event))
        event->accept();
    else
        event->ignore();
}

void FileListCtrl::dragMoveEvent(QDragMoveEvent *event)
{
    if (takesDrop(event))
        event->accept();
    else
        event->ignore();
}

void FileListCtrl::dropEvent(QDropEvent *event)
{
    if (!takesDrop(event)) {
        event->ignore();
        return;
    }
    const QStringList paths = droppedPaths(event->mimeData());
    event->accept();
    if (!paths.isEmpty())
        emit pathsDropped(paths);
}

void FileListCtrl::resizeEvent(QResizeEvent *event)
{
    QTreeWidget::resizeEvent(event);
    // The folder column takes what the list gains or loses in width, never going
    // below its template width, and keeps the user's own column widths otherwise.
    if (m_columnsWidth <= 0 || columnCount() != kColumnCount)
        return;
    const int dw = event->size().width() - m_columnsWidth;
    m_columnsWidth = event->size().width();
    if (dw != 0)
        setColumnWidth(kFolder, qMax(kColumns[kFolder].width, columnWidth(kFolder) + dw));
}

void FileListCtrl::mouseReleaseEvent(QMouseEvent *event)
{
    QTreeWidget::mouseReleaseEvent(event);
    emit listClicked();
}

void FileListCtrl::keyPressEvent(QKeyEvent *event)
{
    QTreeWidget::keyPressEvent(event);
    emit listKeyPressed(event->key());
}
