#include "GuiTestSupport.h"

#include "shell/FileListCtrl.h"

#include <QDir>
#include <QDragEnterEvent>
#include <QFile>
#include <QMimeData>
#include <QPushButton>
#include <QTest>
#include <QUrl>

#include <gtest/gtest.h>

#include <memory>

namespace {

QString mediaFolder()
{
    return TestRoot() + QStringLiteral("/media/");
}

} // namespace

TEST(FileList, ColumnsAsDesigned)
{
    ProgramFolder program;
    auto d = openDialog();
    FileListCtrl *list = d->listCtrl();
    ASSERT_EQ(list->columnCount(), 5);
    const char *headers[] = { "파일명", "경로", "외부오디오", "자막", "진행" };
    const int widths[] = { 275, 210, 90, 60, 145 };
    for (int i = 0; i < 5; ++i) {
        EXPECT_EQ(list->headerItem()->text(i), QString::fromUtf8(headers[i]));
        EXPECT_EQ(list->columnWidth(i), widths[i]);
    }
    EXPECT_EQ(list->selectionBehavior(), QAbstractItemView::SelectRows);

    const QString folder = mediaFolder() + QStringLiteral("columns/");
    MakeFile(folder + QStringLiteral("movie.mkv"));
    MakeFile(folder + QStringLiteral("movie.smi"));
    MakeFile(folder + QStringLiteral("movie.ac3"));
    d->addPaths({ folder + QStringLiteral("movie.mkv") });
    ASSERT_EQ(list->rowCount(), 1);
    EXPECT_EQ(list->text(0, FileList::kFolder), folder);
    EXPECT_EQ(list->text(0, FileList::kAudio), QStringLiteral("ac3"));
    EXPECT_EQ(list->text(0, FileList::kSubtitle), QStringLiteral("smi"));
    EXPECT_EQ(list->topLevelItem(0)->textAlignment(0) & Qt::AlignHorizontal_Mask, Qt::AlignLeft);
    EXPECT_EQ(list->topLevelItem(0)->textAlignment(4) & Qt::AlignHorizontal_Mask, Qt::AlignHCenter);
}

TEST(FileList, DropsAddVideosOnlyOnceAndFollowLinks)
{
    ProgramFolder program;
    auto d = openDialog();
    const QString m = mediaFolder();
    const QString a = MakeFile(m + QStringLiteral("a.mkv"));
    const QString b = MakeFile(m + QStringLiteral("b.AVI"));
    const QString c = MakeFile(m + QStringLiteral("c.MPEG"));
    const QString notes = MakeFile(m + QStringLiteral("notes.txt"));
    const QString target = MakeFile(m + QStringLiteral("real/target.mp4"));
    QDir().mkpath(m + QStringLiteral("folder.avi"));
    QDir().mkpath(m + QStringLiteral("plain folder"));
    ASSERT_TRUE(QFile::link(target, m + QStringLiteral("linked.mkv")));
    ASSERT_TRUE(QFile::link(m + QStringLiteral("folder.avi"), m + QStringLiteral("dirlink.mkv")));
    ASSERT_TRUE(QFile::link(m + QStringLiteral("gone.mp4"), m + QStringLiteral("dangling.mkv")));

    EXPECT_TRUE(dropOn(d->listCtrl(), { a, notes, m + QStringLiteral("folder.avi"), m + QStringLiteral("plain folder"), b, c,
                                        m + QStringLiteral("linked.mkv"), m + QStringLiteral("dirlink.mkv"),
                                        m + QStringLiteral("dangling.mkv") }));
    EXPECT_EQ(columnTexts(*d->listCtrl()),
              (QStringList{ QStringLiteral("a.mkv"), QStringLiteral("b.AVI"), QStringLiteral("c.MPEG"),
                            QStringLiteral("target.mp4") }));
    EXPECT_EQ(d->listCtrl()->text(3, FileList::kFolder), m + QStringLiteral("real/"));
    EXPECT_TRUE(d->messages.isEmpty());
    EXPECT_TRUE(d->enabled(1016));
    EXPECT_FALSE(d->enabled(1003));

    // The same files again, one of them through its link: nothing new.
    EXPECT_TRUE(dropOn(d->listCtrl(), { a, target, m + QStringLiteral("linked.mkv") }));
    EXPECT_EQ(d->listCtrl()->rowCount(), 4);
    EXPECT_TRUE(d->messages.isEmpty());
}

TEST(FileList, DropsAnswerWithCopySoAMoveNeverDeletesTheSource)
{
    ProgramFolder program;
    auto d = openDialog();
    QWidget *viewport = d->listCtrl()->viewport();
    const QString clip = MakeFile(mediaFolder() + QStringLiteral("moved/clip.mkv"));
    QMimeData mime;
    mime.setUrls({ QUrl::fromLocalFile(clip) });
    const QPoint pos = viewport->rect().center();

    // A file manager offering copy or move, with move proposed.
    QDragEnterEvent enter(pos, Qt::CopyAction | Qt::MoveAction, &mime, Qt::LeftButton, Qt::NoModifier);
    enter.setDropAction(Qt::MoveAction);
    ASSERT_EQ(enter.dropAction(), Qt::MoveAction);
    QCoreApplication::sendEvent(viewport, &enter);
    EXPECT_TRUE(enter.isAccepted());
    EXPECT_EQ(enter.dropAction(), Qt::CopyAction);
    QDragMoveEvent move(pos, Qt::CopyAction | Qt::MoveAction, &mime, Qt::LeftButton, Qt::NoModifier);
    move.setDropAction(Qt::MoveAction);
    QCoreApplication::sendEvent(viewport, &move);
    EXPECT_TRUE(move.isAccepted());
    EXPECT_EQ(move.dropAction(), Qt::CopyAction);
    QDropEvent drop(QPointF(pos), Qt::CopyAction | Qt::MoveAction, &mime, Qt::LeftButton, Qt::NoModifier);
    drop.setDropAction(Qt::MoveAction);
    QCoreApplication::sendEvent(viewport, &drop);
    EXPECT_TRUE(drop.isAccepted());
    EXPECT_EQ(drop.dropAction(), Qt::CopyAction);
    EXPECT_EQ(columnTexts(*d->listCtrl()), QStringList{ QStringLiteral("clip.mkv") });

    // A drag that can only move is refused.
    d->listCtrl()->clear();
    QDropEvent moveOnly(QPointF(pos), Qt::MoveAction, &mime, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(viewport, &moveOnly);
    EXPECT_FALSE(moveOnly.isAccepted());
    EXPECT_EQ(d->listCtrl()->rowCount(), 0);
}

TEST(FileList, NamesAScriptCannotCarryAreRefusedAndCounted)
{
    ProgramFolder program;
    auto d = openDialog();
    const QString m = mediaFolder() + QStringLiteral("names/");
    const QString quote = MakeFile(m + QStringLiteral("say \"hi\".mkv"));
    const QString tab = MakeFile(m + QStringLiteral("tab\there.mkv"));
    const QString korean = MakeFile(m + QStringLiteral("한글 이름 %1.mkv"));
    const QString plain = MakeFile(m + QStringLiteral("plain.mp4"));
    EXPECT_TRUE(dropOn(d->listCtrl(), { quote, korean, tab, plain }));
    EXPECT_EQ(d->messages, QStringList{ QStringLiteral("2개의 파일에서 파일명에 사용할 수 없는 문자(\", \\, 제어 문자) 포함!") });
    EXPECT_EQ(columnTexts(*d->listCtrl()), (QStringList{ QStringLiteral("한글 이름 %1.mkv"), QStringLiteral("plain.mp4") }));
}

TEST(FileList, DeleteKeyRemovesExactlyTheSelectedRows)
{
    ProgramFolder program;
    auto d = openDialog();
    QStringList paths;
    for (const char *n : { "r0.mkv", "r1.mkv", "r2.mkv", "r3.mkv" })
        paths << MakeFile(mediaFolder() + QStringLiteral("del/") + QLatin1String(n));
    d->addPaths(paths);
    FileListCtrl *list = d->listCtrl();
    ASSERT_EQ(list->rowCount(), 4);

    clickRow(list, 0);
    EXPECT_TRUE(d->enabled(1003));
    clickRow(list, 2, Qt::ControlModifier);
    EXPECT_EQ(list->selectedRows(), (QList<int>{ 0, 2 }));
    QTest::keyClick(list, Qt::Key_Delete);
    EXPECT_EQ(columnTexts(*list), (QStringList{ QStringLiteral("r1.mkv"), QStringLiteral("r3.mkv") }));
    EXPECT_FALSE(d->enabled(1003));
    EXPECT_TRUE(d->enabled(1016));

    // The button does the same; Delete All empties the list.
    clickRow(list, 1);
    QTest::mouseClick(d->w(1003), Qt::LeftButton);
    EXPECT_EQ(columnTexts(*list), QStringList{ QStringLiteral("r1.mkv") });
    QTest::mouseClick(d->w(1016), Qt::LeftButton);
    EXPECT_EQ(list->rowCount(), 0);
    EXPECT_FALSE(d->enabled(1003));
    EXPECT_FALSE(d->enabled(1016));
}

TEST(FileList, OpenDialogAddsAtMostAHundredFilesAndSaysSo)
{
    ProgramFolder program;
    auto d = openDialog();
    for (int i = 0; i < 120; ++i)
        d->filesToChoose << MakeFile(mediaFolder() + QStringLiteral("many/f%1.mkv").arg(i, 3, 10, QLatin1Char('0')));
    QTest::mouseClick(d->w(1028), Qt::LeftButton);
    ASSERT_EQ(d->listCtrl()->rowCount(), 100);
    EXPECT_EQ(d->listCtrl()->text(0, FileList::kName), QStringLiteral("f000.mkv"));
    EXPECT_EQ(d->listCtrl()->text(99, FileList::kName), QStringLiteral("f099.mkv"));
    EXPECT_EQ(d->messages,
              QStringList{ QStringLiteral("한 번에 100개까지만 추가할 수 있어 나머지 20개의 파일은 추가되지 않음!") });

    // Choosing nothing adds nothing and says nothing.
    d->messages.clear();
    d->filesToChoose.clear();
    QTest::mouseClick(d->w(1028), Qt::LeftButton);
    EXPECT_EQ(d->listCtrl()->rowCount(), 100);
    EXPECT_TRUE(d->messages.isEmpty());
}
