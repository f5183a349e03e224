#include "GuiTestSupport.h"

#include "platform/Paths.h"
#include "platform/SettingsStore.h"
#include "shell/AboutDialog.h"
#include "shell/DialogUnits.h"
#include "shell/FileListCtrl.h"
#include "shell/FinishedDialog.h"
#include "shell/StatusBar.h"
#include "shell/WindowTranslations.h"

#include <QCheckBox>
#include <QAbstractItemView>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QGroupBox>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QStyleOptionComboBox>
#include <QTest>
#include <QToolButton>
#include <QTranslator>

#include <gtest/gtest.h>

#include <memory>

namespace {

QComboBox *comboOf(const TestDialog &d, int id)
{
    return qobject_cast<QComboBox *>(d.w(id));
}

QCheckBox *checkOf(const TestDialog &d, int id)
{
    return qobject_cast<QCheckBox *>(d.w(id));
}

QPushButton *buttonOf(const TestDialog &d, int id)
{
    return qobject_cast<QPushButton *>(d.w(id));
}

const int kChecks[] = { 1008, 1017, 1010, 1011, 1021, 1037, 1013, 1018, 1026, 1023, 1027, 1033 };

} // namespace

TEST(StartUp, FirstStartShowsTheDefaultsInTheDesignedLayout)
{
    ProgramFolder program;
    auto d = openDialog();

    EXPECT_EQ(d->windowTitle(), QStringLiteral("Qor: Marbleway v5.6"));
    EXPECT_TRUE(d->messages.isEmpty());
    EXPECT_TRUE(d->toolsPresent());

    // Layout in dialog units of the window's own font.
    const DialogUnits du(d->font());
    EXPECT_GT(du.baseX(), 0);
    EXPECT_EQ(d->size(), du.size(506, 261));
    EXPECT_EQ(d->w(1001)->geometry(), du.rect(7, 25, 492, 123));
    EXPECT_EQ(d->w(1004)->geometry(), du.rect(366, 223, 19, 15));
    EXPECT_EQ(d->w(1033)->geometry(), du.rect(400, 200, 96, 10));
    EXPECT_EQ(buttonOf(*d, 1004)->text(), QStringLiteral("변환"));
    EXPECT_TRUE(buttonOf(*d, 1004)->isDefault());
    EXPECT_EQ(checkOf(*d, 1011)->text(), QStringLiteral("DC→ Qor 덮어쓰기"));
    EXPECT_TRUE(checkOf(*d, 1023)->text().isEmpty());
    EXPECT_FALSE(d->w(1)->isVisible());
    EXPECT_FALSE(d->w(1)->isEnabled());

    // Option defaults: every check box clear, the combos at their default items.
    for (int id : kChecks)
        EXPECT_FALSE(checkOf(*d, id)->isChecked()) << id;
    EXPECT_EQ(comboOf(*d, 1035)->currentText(), QStringLiteral("재생 가능 비디오만 변환"));
    EXPECT_EQ(comboOf(*d, 1036)->currentText(), QStringLiteral("Ultra Fast"));
    EXPECT_EQ(comboOf(*d, 1030)->currentText(), QStringLiteral("아이폰4"));
    EXPECT_EQ(comboOf(*d, 1029)->currentText(), QStringLiteral("PAR<1.5"));
    for (int id : { 1038, 1012, 1024, 1034 })
        EXPECT_EQ(comboOf(*d, id)->currentIndex(), 0) << id;
    EXPECT_EQ(comboOf(*d, 1012)->count(), 16);
    EXPECT_EQ(comboOf(*d, 1012)->itemText(6), QStringLiteral("그외"));
    EXPECT_EQ(comboOf(*d, 1034)->itemText(4), QStringLiteral("중앙유럽"));
    EXPECT_EQ(comboOf(*d, 1030)->count(), 4);
    EXPECT_EQ(comboOf(*d, 1030)->itemText(3), QStringLiteral("최신 아이폰·아이패드"));

    // Idle state under the default mode.
    for (int id : SwitchableControlIds()) {
        const bool expected = !QList<int>{ 1003, 1006, 1016, 1011, 1012, 1020, 1034, 1036, 1021 }.contains(id);
        EXPECT_EQ(d->enabled(id), expected) << id;
    }
    EXPECT_TRUE(d->listCtrl()->dropsAccepted());

    // The temporary folder is the user's own, in the cache folder.
    const QString expectedTemp = TestRoot() + QStringLiteral("/cache/marbleway/");
    EXPECT_EQ(d->options.strTempFolder, expectedTemp);
    EXPECT_TRUE(QFileInfo(expectedTemp).isDir());
}

TEST(StartUp, StoredOptionsAreLoadedIntoTheControls)
{
    ProgramFolder program;
    const QString temp = TestRoot() + QStringLiteral("/work temp");
    QDir().mkpath(temp);
    {
        platform::SettingsStore store;
        store.writeNumber(QStringLiteral("Conversion Mode"), 3);
        store.writeNumber(QStringLiteral("Conversion Profile"), 0);
        store.writeNumber(QStringLiteral("Create Qor-DC"), 1);
        store.writeNumber(QStringLiteral("Audio Language"), 9);
        store.writeString(QStringLiteral("Temp Folder"), temp);
        store.writeString(QStringLiteral("Save Folder"), QStringLiteral("/somewhere/"));
        store.sync();
    }
    auto d = openDialog();
    EXPECT_EQ(comboOf(*d, 1035)->currentIndex(), 3);
    EXPECT_EQ(comboOf(*d, 1036)->currentText(), QStringLiteral("Slow"));
    EXPECT_TRUE(checkOf(*d, 1010)->isChecked());
    EXPECT_EQ(comboOf(*d, 1012)->currentText(), QStringLiteral("#3"));
    EXPECT_EQ(d->options.strTempFolder, temp + QLatin1Char('/'));
    EXPECT_EQ(d->options.strSaveFolder, QStringLiteral("/somewhere/"));
    // The rules follow the loaded values.
    EXPECT_TRUE(d->enabled(1036));
    EXPECT_TRUE(d->enabled(1021));
    EXPECT_TRUE(d->enabled(1011));
    EXPECT_FALSE(d->enabled(1012)); // the language is stored but not designated
}

TEST(StartUp, WithoutToolsFolderOnlyCloseWorksAndNothingIsLoaded)
{
    ProgramFolder program(false);
    {
        platform::SettingsStore store;
        store.writeNumber(QStringLiteral("Conversion Mode"), 3);
        store.sync();
    }
    auto d = openDialog();
    EXPECT_FALSE(d->toolsPresent());
    EXPECT_EQ(d->messages, QStringList{ QStringLiteral(".\\tools 폴더가 존재하지 않음!") });
    EXPECT_EQ(comboOf(*d, 1035)->currentIndex(), 1);
    for (int id : SwitchableControlIds())
        EXPECT_EQ(d->enabled(id), id == 2) << id;
    EXPECT_FALSE(d->listCtrl()->dropsAccepted());
}

TEST(Options, SaveAndResetRoundTripThroughTheStore)
{
    ProgramFolder program;
    {
        auto d = openDialog();
        comboOf(*d, 1035)->setCurrentIndex(2);
        comboOf(*d, 1029)->setCurrentIndex(5);
        checkOf(*d, 1021)->setChecked(true);
        checkOf(*d, 1037)->setChecked(true);
        checkOf(*d, 1018)->setChecked(true);
        checkOf(*d, 1026)->setChecked(true);
        comboOf(*d, 1034)->setCurrentIndex(2);
        checkOf(*d, 1027)->setChecked(true); // never stored
        QTest::mouseClick(d->w(1015), Qt::LeftButton);
        EXPECT_EQ(d->messages, QStringList{ QStringLiteral("옵션 저장 완료") });
    }
    {
        platform::SettingsStore store;
        EXPECT_EQ(store.readNumber(QStringLiteral("Conversion Mode")), 2);
        EXPECT_EQ(store.readNumber(QStringLiteral("Pixel Aspect Ratio mode")), 5);
        EXPECT_EQ(store.readNumber(QStringLiteral("Deinterlace")), 1);
        EXPECT_EQ(store.readNumber(QStringLiteral("Normalize Audio Volume")), 1);
        EXPECT_EQ(store.readNumber(QStringLiteral("ANSI Srt Language")), 2);
    }

    auto d = openDialog();
    EXPECT_EQ(comboOf(*d, 1035)->currentIndex(), 2);
    EXPECT_EQ(comboOf(*d, 1029)->currentIndex(), 5);
    EXPECT_TRUE(checkOf(*d, 1021)->isChecked());
    EXPECT_TRUE(checkOf(*d, 1018)->isChecked());
    EXPECT_FALSE(checkOf(*d, 1027)->isChecked());
    EXPECT_TRUE(d->enabled(1034));

    // The user changes the deinterlace box without anything else reading it, then resets.
    checkOf(*d, 1021)->setChecked(false);
    checkOf(*d, 1033)->setChecked(true);
    QTest::mouseClick(d->w(1022), Qt::LeftButton);
    EXPECT_EQ(d->messages.value(0), QStringLiteral("옵션 초기화 및 레지스트리 삭제 완료"));
    EXPECT_EQ(comboOf(*d, 1035)->currentIndex(), 1);
    EXPECT_EQ(comboOf(*d, 1029)->currentIndex(), 2);
    EXPECT_FALSE(checkOf(*d, 1018)->isChecked());
    // Left as the window shows them.
    EXPECT_FALSE(checkOf(*d, 1021)->isChecked());
    EXPECT_TRUE(checkOf(*d, 1037)->isChecked());
    EXPECT_TRUE(checkOf(*d, 1026)->isChecked());
    EXPECT_EQ(comboOf(*d, 1034)->currentIndex(), 2);
    EXPECT_TRUE(checkOf(*d, 1033)->isChecked());
    // Idle rules re-applied for the reset mode.
    EXPECT_FALSE(d->enabled(1036));
    EXPECT_FALSE(d->enabled(1021));
    {
        platform::SettingsStore store;
        EXPECT_FALSE(store.readNumber(QStringLiteral("Conversion Mode")).has_value());
        EXPECT_FALSE(store.readNumber(QStringLiteral("For Nightly")).has_value());
    }
    d.reset();
    // The next start has nothing stored: the defaults again.
    auto fresh = openDialog();
    EXPECT_FALSE(checkOf(*fresh, 1037)->isChecked());
    EXPECT_EQ(comboOf(*fresh, 1034)->currentIndex(), 0);
}

TEST(Options, EnablingRulesFollowTheirDrivingControls)
{
    ProgramFolder program;
    auto d = openDialog();
    const std::pair<int, int> checkRules[] = { { 1010, 1011 }, { 1013, 1012 }, { 1023, 1020 }, { 1026, 1034 } };
    for (auto [driver, dependent] : checkRules) {
        EXPECT_FALSE(d->enabled(dependent)) << dependent;
        checkOf(*d, driver)->click();
        EXPECT_TRUE(d->enabled(dependent)) << dependent;
        checkOf(*d, driver)->click();
        EXPECT_FALSE(d->enabled(dependent)) << dependent;
    }

    // The mode list, changed from the keyboard as a user would.
    QComboBox *mode = comboOf(*d, 1035);
    struct Expect { int mode; bool profile, deinterlace, fps, device; };
    // From mode 1: up to 0, then down to 1, 2, 3.
    const std::pair<Qt::Key, Expect> steps[] = {
        { Qt::Key_Up, { 0, false, false, false, false } },
        { Qt::Key_Down, { 1, false, false, true, true } },
        { Qt::Key_Down, { 2, true, true, true, true } },
        { Qt::Key_Down, { 3, true, true, true, true } },
    };
    for (const auto &[key, e] : steps) {
        QTest::keyClick(mode, key);
        ASSERT_EQ(mode->currentIndex(), e.mode);
        EXPECT_EQ(d->enabled(1036), e.profile) << e.mode;
        EXPECT_EQ(d->enabled(1021), e.deinterlace) << e.mode;
        EXPECT_EQ(d->enabled(1017), e.fps) << e.mode;
        EXPECT_EQ(d->enabled(1030), e.device) << e.mode;
    }
}

TEST(Options, FolderPickersKeepValidatedFolders)
{
    ProgramFolder program;
    auto d = openDialog();
    const QString before = d->options.strTempFolder;

    // Cancelled: nothing changes.
    QTest::mouseClick(d->w(1019), Qt::LeftButton);
    EXPECT_EQ(d->folderTitles, QStringList{ QStringLiteral("임시파일 저장 폴더 지정") });
    EXPECT_EQ(d->folderStarts.value(0), before);
    EXPECT_EQ(d->options.strTempFolder, before);

    // A writable folder is kept, with one trailing separator.
    const QString chosen = TestRoot() + QStringLiteral("/picked");
    QDir().mkpath(chosen);
    d->folderToChoose = chosen + QStringLiteral("//");
    QTest::mouseClick(d->w(1019), Qt::LeftButton);
    EXPECT_EQ(d->options.strTempFolder, chosen + QLatin1Char('/'));

    // The bare system temporary folder is never used itself: it stands for the default.
    d->folderToChoose = platform::systemTempFolder();
    QTest::mouseClick(d->w(1019), Qt::LeftButton);
    EXPECT_EQ(d->options.strTempFolder, TestRoot() + QStringLiteral("/cache/marbleway/"));
    EXPECT_TRUE(d->messages.isEmpty());

    // A link is refused with a message naming it; the default is used instead.
    ASSERT_TRUE(QFile::link(chosen, TestRoot() + QStringLiteral("/link")));
    d->folderToChoose = TestRoot() + QStringLiteral("/link");
    QTest::mouseClick(d->w(1019), Qt::LeftButton);
    EXPECT_EQ(d->options.strTempFolder, TestRoot() + QStringLiteral("/cache/marbleway/"));
    EXPECT_EQ(d->messages, QStringList{ QStringLiteral("임시폴더가 심볼릭 링크라서 사용하지 않음: ") + TestRoot()
                                        + QStringLiteral("/link") });
    d->messages.clear();

    // The save folder button works once its check box is on; the folder is not tested.
    checkOf(*d, 1023)->click();
    d->folderToChoose = QStringLiteral("/no/such/place");
    QTest::mouseClick(d->w(1020), Qt::LeftButton);
    EXPECT_EQ(d->folderTitles.last(), QStringLiteral("저장 폴더 지정"));
    EXPECT_EQ(d->options.strSaveFolder, QStringLiteral("/no/such/place/"));
    EXPECT_EQ(d->w(1020)->toolTip(), QStringLiteral("/no/such/place/"));
    EXPECT_TRUE(d->messages.isEmpty());
}

TEST(Window, EscapeIsSwallowedCloseEndsAndF1ShowsTheAboutBox)
{
    ProgramFolder program;
    auto d = openDialog();
    QTest::keyClick(d.get(), Qt::Key_Escape);
    QTest::keyClick(d->listCtrl(), Qt::Key_Escape);
    QTest::keyClick(d->w(1035), Qt::Key_Escape);
    EXPECT_TRUE(d->isVisible());
    EXPECT_EQ(d->result(), 0);

    // Shortcuts reach the active window only.
    d->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(d.get()));
    QTest::keyClick(d->listCtrl(), Qt::Key_F1);
    EXPECT_EQ(d->aboutShown, 1);
    // The visible way to it: the small button beside "지정".
    ASSERT_TRUE(d->aboutButton()->isVisible());
    EXPECT_FALSE(d->aboutButton()->geometry().intersects(d->w(1028)->geometry()));
    QTest::mouseClick(d->aboutButton(), Qt::LeftButton);
    EXPECT_EQ(d->aboutShown, 2);

    QTest::mouseClick(d->w(2), Qt::LeftButton);
    EXPECT_FALSE(d->isVisible());
    EXPECT_EQ(d->result(), QDialog::Rejected);
}

TEST(Window, StatusBarHasFourPartsAlongTheBottom)
{
    ProgramFolder program;
    auto d = openDialog();
    StatusBar *bar = d->statusBarCtrl();
    ASSERT_NE(bar, nullptr);
    EXPECT_EQ(bar->objectName(), QStringLiteral("1025"));
    // Counter and time as before; the running tool's progress bar keeps W/8 at the
    // right end, and the progress line takes what lies between.
    const int w = d->width();
    EXPECT_EQ(bar->partEdges(), (QList<int>{ w / 16, w / 8, w - w / 8, -1 }));
    EXPECT_EQ(bar->partRect(0), QRect(0, 0, w / 16, bar->height()));
    EXPECT_EQ(bar->partRect(3).right(), w - 1);
    EXPECT_FALSE(bar->progressBar()->isVisible());
    EXPECT_GE(bar->height(), StatusBar::kMinimumHeight);
    EXPECT_EQ(bar->geometry().bottom(), d->height() - 1);
    // A fixed font for the digits and Latin text of the tools' progress lines.
    const QFontMetrics fm(bar->font());
    EXPECT_EQ(fm.horizontalAdvance(QLatin1Char('i')), fm.horizontalAdvance(QLatin1Char('W')));
    EXPECT_EQ(fm.horizontalAdvance(QLatin1Char('1')), fm.horizontalAdvance(QLatin1Char('%')));
    // The bar stays clear of the buttons above it.
    EXPECT_GT(bar->geometry().top(), d->w(1004)->geometry().bottom());

    d->setStatusText(2, QStringLiteral("frame= 10\r\nfps= 5"));
    EXPECT_EQ(bar->partText(2), QStringLiteral("frame= 10\r\nfps= 5"));
    EXPECT_EQ(bar->findChild<QLabel *>(QStringLiteral("part2"))->text(), QStringLiteral("frame= 10 fps= 5"));
    d->setSummaryText(QStringLiteral("MKV / H.264"));
    EXPECT_EQ(qobject_cast<QLabel *>(d->w(1005))->text(), QStringLiteral("MKV / H.264"));
}

TEST(SmallDialogs, FinishedDialogAsksWithYesAsDefault)
{
    FinishedDialog dialog(QStringLiteral("작업 종료! / 1:02"));
    const DialogUnits du(dialog.font());
    EXPECT_EQ(dialog.size(), du.size(147, 37));
    EXPECT_EQ(dialog.windowTitle(), QStringLiteral("Finished"));
    EXPECT_EQ(dialog.findChild<QLabel *>(QStringLiteral("1032"))->text(), QStringLiteral("작업 종료! / 1:02"));
    bool questionShown = false;
    for (QLabel *l : dialog.findChildren<QLabel *>())
        questionShown = questionShown || l->text() == QStringLiteral("변환 성공 목록 삭제?");
    EXPECT_TRUE(questionShown);

    dialog.show();
    QTest::keyClick(&dialog, Qt::Key_Return);
    EXPECT_EQ(dialog.result(), QDialog::Accepted);

    FinishedDialog no(QStringLiteral("x"));
    no.show();
    QTest::mouseClick(no.findChild<QPushButton *>(QStringLiteral("2")), Qt::LeftButton);
    EXPECT_EQ(no.result(), QDialog::Rejected);
}

TEST(SmallDialogs, AboutBoxNamesTheProgram)
{
    AboutDialog about;
    const DialogUnits du(about.font());
    EXPECT_EQ(about.size(), du.size(226, 41));
    EXPECT_EQ(about.windowTitle(), QStringLiteral("Marbleway 정보"));
    EXPECT_EQ(about.findChild<QLabel *>(QStringLiteral("version"))->text(), QStringLiteral("Marbleway v5.6"));
    EXPECT_FALSE(about.windowIcon().isNull());
}

TEST(Window, GrowsAroundTheListAndReopensAtItsLastSize)
{
    ProgramFolder program;
    const QString file = MakeFile(TestRoot() + QStringLiteral("/resize/a rather long folder name/clip.mkv"));
    const QSize larger(200, 120);
    QSize smallest, listSmallest;
    {
        auto d = openDialog();
        smallest = d->size();
        EXPECT_EQ(d->minimumSize(), smallest);
        EXPECT_EQ(d->maximumSize(), QSize(QWIDGETSIZE_MAX, QWIDGETSIZE_MAX));
        d->addPaths({ file });
        // Names and folders cut off in their columns show whole in a tooltip.
        EXPECT_EQ(d->listCtrl()->topLevelItem(0)->toolTip(FileList::kFolder), file);
        EXPECT_EQ(d->listCtrl()->topLevelItem(0)->toolTip(FileList::kName), file);

        const QRect list = d->w(1001)->geometry();
        listSmallest = list.size();
        const QRect add = d->w(1028)->geometry();
        const QRect mode = d->w(1035)->geometry();
        const QRect convert = d->w(1004)->geometry();
        const int folderColumn = d->listCtrl()->columnWidth(FileList::kFolder);
        const int nameColumn = d->listCtrl()->columnWidth(FileList::kName);
        d->resize(smallest + larger);
        EXPECT_EQ(d->w(1001)->geometry(), list.adjusted(0, 0, larger.width(), larger.height()));
        EXPECT_EQ(d->w(1028)->geometry(), add.translated(larger.width(), 0));
        // The option rows keep their layout below the list, the buttons their corner.
        EXPECT_EQ(d->w(1035)->geometry(), mode.translated(0, larger.height()));
        EXPECT_EQ(d->w(1004)->geometry(), convert.translated(larger.width(), larger.height()));
        EXPECT_EQ(d->statusBarCtrl()->geometry().bottom(), d->height() - 1);
        EXPECT_EQ(d->statusBarCtrl()->width(), d->width());
        // The path column takes the new width.
        EXPECT_EQ(d->listCtrl()->columnWidth(FileList::kFolder), folderColumn + larger.width());
        EXPECT_EQ(d->listCtrl()->columnWidth(FileList::kName), nameColumn);

        // Never smaller than its template.
        d->resize(smallest - QSize(100, 100));
        EXPECT_EQ(d->size(), smallest);
        EXPECT_EQ(d->listCtrl()->columnWidth(FileList::kFolder), folderColumn);
        d->resize(smallest + larger);
        QTest::mouseClick(d->w(2), Qt::LeftButton);
    }
    auto d = openDialog();
    EXPECT_EQ(d->size(), smallest + larger);
    EXPECT_EQ(d->w(1001)->size(), listSmallest + larger);
}

TEST(Window, EveryComboShowsItsLongestItemWholeWithoutCoveringItsNeighbours)
{
    ProgramFolder program;
    auto d = openDialog();
    QList<QWidget *> options;
    for (QWidget *w : d->findChildren<QWidget *>(Qt::FindDirectChildrenOnly)) {
        if (w->isVisible() && w->y() > d->w(1001)->geometry().bottom() && !qobject_cast<QGroupBox *>(w)
            && w != d->statusBarCtrl())
            options << w;
    }
    int combos = 0;
    for (QComboBox *cb : d->findChildren<QComboBox *>()) {
        ++combos;
        // The newest device's longer name shows whole in the list; the closed box keeps the
        // layout's width for the names the layout was drawn for.
        const bool listOnly = cb->objectName() == QLatin1String("1030");
        int longest = 0;
        for (int i = 0; i < cb->count() - (listOnly ? 1 : 0); ++i)
            longest = qMax(longest, cb->fontMetrics().horizontalAdvance(cb->itemText(i)));
        QStyleOptionComboBox option;
        option.initFrom(cb);
        const QRect field = cb->style()->subControlRect(QStyle::CC_ComboBox, &option, QStyle::SC_ComboBoxEditField, cb);
        EXPECT_GE(field.width(), longest) << cb->objectName().toStdString();
        if (listOnly) {
            EXPECT_GE(cb->view()->minimumWidth(),
                      cb->fontMetrics().horizontalAdvance(cb->itemText(cb->count() - 1)) + cb->width() - field.width());
        }
        // Inside the window and clear of every other control of the rows.
        EXPECT_TRUE(d->rect().contains(cb->geometry())) << cb->objectName().toStdString();
        for (QWidget *other : options) {
            if (other != cb) {
                EXPECT_FALSE(cb->geometry().intersects(other->geometry()))
                    << cb->objectName().toStdString() << " covers " << other->objectName().toStdString();
            }
        }
    }
    EXPECT_EQ(combos, 9);
}

TEST(Window, StandardDialogsSpeakKoreanOnceQtsTranslationsAreLoaded)
{
    QTranslator *translator = InstallQtTranslations(*QCoreApplication::instance());
    ASSERT_NE(translator, nullptr) << "qt6-translations-l10n is not installed";
    QDialogButtonBox buttons(QDialogButtonBox::Ok | QDialogButtonBox::Cancel | QDialogButtonBox::Yes);
    const QString ok = buttons.button(QDialogButtonBox::Ok)->text();
    const QString cancel = buttons.button(QDialogButtonBox::Cancel)->text();
    QCoreApplication::removeTranslator(translator);
    delete translator;
    EXPECT_EQ(ok, QStringLiteral("확인"));
    EXPECT_EQ(cancel, QStringLiteral("취소"));
}

TEST(Window, PercentagesAreReadFromTheToolsProgressLines)
{
    const std::pair<const char *, std::optional<int>> cases[] = {
        { "  45%", 45 },
        { "Progress: 45.2 %", 45 },
        { "ISO File Writing: |====                | (20/100)", 20 },
        { "downmixing: |=====| 12.50%", 12 },
        { "from 10% to 70%", 70 },                // the last one counts
        { "1234%", std::nullopt },                // not a percentage
        { "frame=  812 fps= 41 time=00:00:32.40", std::nullopt },
        { "Processed 42 seconds...", std::nullopt },
    };
    for (const auto &[line, expected] : cases)
        EXPECT_EQ(ProgressPercent(QString::fromLatin1(line)), expected) << line;
}
