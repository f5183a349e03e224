#include "shell/MainDialog.h"

#include "engine/SourceFiles.h"
#include "platform/Paths.h"
#include "platform/SettingsStore.h"
#include "platform/SystemInfo.h"
#include "shell/AboutDialog.h"
#include "shell/AppIcon.h"
#include "shell/CompactComboStyle.h"
#include "shell/DialogUnits.h"
#include "shell/FileListCtrl.h"
#include "shell/FinishedDialog.h"
#include "shell/Formatters.h"
#include "shell/StatusBar.h"
#include "shell/WindowFonts.h"

#include <QAction>
#include <QCheckBox>
#include <QCloseEvent>
#include <QAbstractItemView>
#include <QComboBox>
#include <QFileDialog>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QSettings>
#include <QStyleOptionComboBox>
#include <QToolButton>

#include <algorithm>
#include <climits>

namespace {

enum class Kind { List, Group, Button, DefaultButton, Check, Combo, Static };

// How a control follows the window when it is made larger than its template: the list
// takes the new room, the option rows and buttons keep their layout below it.
enum Anchor {
    Fixed = 0,
    MoveX = 1, // keeps its distance to the right edge
    MoveY = 2, // keeps its distance to the bottom edge
    GrowX = 4,
    GrowY = 8,
};

struct ControlSpec
{
    int id; // -1: a control the program never addresses
    Kind kind;
    const char *caption;
    int x, y, w, h;
    bool disabled;
    int anchor;
};

constexpr int kBelow = MoveY;
constexpr int kBottomRight = MoveX | MoveY;
constexpr int kBottomWide = MoveY | GrowX;

// The window's controls in creation order, rectangles in dialog units.
const ControlSpec kControls[] = {
    { 1001, Kind::List, "", 7, 25, 492, 123, false, GrowX | GrowY },
    { -1, Kind::Group, "", 7, 148, 492, 41, false, kBottomWide },
    { -1, Kind::Group, "", 204, 190, 295, 27, false, kBottomWide },
    { 1028, Kind::Button, "지정", 463, 7, 36, 15, false, MoveX },
    { 1008, Kind::Check, "4GB 이하만", 15, 157, 52, 10, false, kBelow },
    { 1035, Kind::Combo, "", 68, 155, 104, 30, false, kBelow },
    { 1036, Kind::Combo, "", 175, 155, 45, 30, false, kBelow },
    { 1030, Kind::Combo, "", 224, 155, 46, 30, false, kBelow },
    { 1017, Kind::Check, "30fps 확인", 278, 157, 47, 10, false, kBelow },
    { 1021, Kind::Check, "디인터레이스", 327, 157, 57, 10, true, kBelow },
    { 1029, Kind::Combo, "", 384, 155, 67, 38, false, kBelow },
    { 1037, Kind::Check, "Nightly", 459, 157, 36, 10, false, kBelow },
    { 1038, Kind::Combo, "", 15, 171, 83, 45, false, kBelow },
    { 1013, Kind::Check, "오디오 지정:", 122, 173, 52, 10, false, kBelow },
    { 1012, Kind::Combo, "", 175, 171, 27, 41, true, kBelow },
    { 1018, Kind::Check, "음량 정규화", 229, 173, 49, 10, false, kBelow },
    { 1039, Kind::Combo, "", 281, 171, 54, 60, false, kBelow },
    { 1010, Kind::Check, "싱크 재조정(DC 생성)", 338, 173, 84, 10, false, kBelow },
    { 1011, Kind::Check, "DC→ Qor 덮어쓰기", 424, 173, 73, 10, true, kBelow },
    { 1031, Kind::Static, "자막크기(무의미):", 16, 201, 57, 8, false, kBelow },
    { 1024, Kind::Combo, "", 77, 198, 26, 38, false, kBelow },
    { 1026, Kind::Check, "SRT 언어:", 112, 200, 42, 10, false, kBelow },
    { 1034, Kind::Combo, "", 156, 198, 38, 41, true, kBelow },
    { 1027, Kind::Check, "임시파일 유지", 210, 200, 57, 10, false, kBelow },
    { 1019, Kind::Button, "임시 폴더 지정", 267, 198, 55, 15, false, kBelow },
    { 1023, Kind::Check, "", 329, 200, 9, 10, false, kBelow },
    { 1020, Kind::Button, "저장 폴더 지정", 339, 198, 55, 15, true, kBelow },
    { 1033, Kind::Check, "바탕화면에 로그파일 생성", 400, 200, 96, 10, false, kBelow },
    { 1003, Kind::Button, "삭제", 311, 223, 19, 15, true, kBottomRight },
    { 1016, Kind::Button, "전체삭제", 330, 223, 36, 15, true, kBottomRight },
    { 1004, Kind::DefaultButton, "변환", 366, 223, 19, 15, false, kBottomRight },
    { 1006, Kind::Button, "중단", 385, 223, 19, 15, true, kBottomRight },
    { 1015, Kind::Button, "옵션저장", 404, 223, 36, 15, false, kBottomRight },
    { 1022, Kind::Button, "옵션초기화", 440, 223, 40, 15, false, kBottomRight },
    { 2, Kind::Button, "닫기", 480, 223, 19, 15, false, kBottomRight },
    { 1, Kind::Button, "확인", 9, 142, 20, 14, true, kBelow }, // hidden
    { -1, Kind::Static, "비디오 파일 목록", 7, 7, 54, 8, false, Fixed },
    { 1005, Kind::Static, "", 9, 228, 300, 8, false, kBottomWide },
    { -1, Kind::Group, "", 7, 190, 193, 27, false, kBelow },
};

// The about button sits in the free space left of "지정", in dialog units.
const QRect kAboutButtonUnits(445, 7, 15, 15);

struct ComboItems
{
    int id;
    std::initializer_list<const char *> items;
};

const ComboItems kComboItems[] = {
    { 1035, { "H.264/MPEG4만 강제 변환", "재생 가능 비디오만 변환", "필요시 비디오 재인코딩", "비디오 강제 재인코딩 (H.264)" } },
    { 1036, { "Slow", "Fast", "Very Fast", "Super Fast", "Ultra Fast", "HiBR/Slow" } },
    { 1030, { "아이폰3", "아이폰4", "아이폰4s", "최신 아이폰·아이패드" } },
    { 1029, { "PAR 유지", "PAR=1:1", "PAR<1.5", "PAR<2.0", "SAR=3:2 (아이폰)", "SAR=4:3 (아이패드)" } },
    { 1038, { "다채널 AAC 다운믹스", "AAC 강제 재인코딩", "AAC 무조건 원본유지" } },
    { 1012, { "ko", "en", "ja", "de", "fr", "ru", "그외", "#1", "#2", "#3", "#4", "#5", "#6", "#7", "#8", "#9" } },
    { 1024, { "18pt", "24pt", "36pt", "48pt" } },
    { 1034, { "한글", "중국간체", "일본", "서유럽", "중앙유럽" } },
};

// Which field each option control shows.
struct CheckBinding
{
    int id;
    bool ConverterOptions::*field;
};

const CheckBinding kCheckBindings[] = {
    { 1008, &ConverterOptions::bSmallerThan4GB },      { 1017, &ConverterOptions::b30fpsCheck },
    { 1010, &ConverterOptions::bCreateDC },            { 1011, &ConverterOptions::bOverwriteDC },
    { 1021, &ConverterOptions::bDeinterlace },         { 1037, &ConverterOptions::bForNightly },
    { 1013, &ConverterOptions::bDesignateAudioLanguage }, { 1018, &ConverterOptions::bNormalizeVolume },
    { 1026, &ConverterOptions::bDesignateSrtLanguage }, { 1023, &ConverterOptions::bUseSaveFolder },
    { 1027, &ConverterOptions::bKeepTempFiles },       { 1033, &ConverterOptions::bWriteLog },
};

struct ComboBinding
{
    int id;
    int ConverterOptions::*field;
};

const ComboBinding kComboBindings[] = {
    { 1035, &ConverterOptions::iConversionMode }, { 1036, &ConverterOptions::iConversionProfile },
    { 1030, &ConverterOptions::iDeviceKind },     { 1029, &ConverterOptions::iParMode },
    { 1038, &ConverterOptions::iAacMode },        { 1012, &ConverterOptions::iAudioLanguage },
    { 1024, &ConverterOptions::iSubtitleSize },   { 1034, &ConverterOptions::iSrtLanguage },
};

// Enabled exactly while idle.
const int kIdleOnlyControls[] = { 2,    1004, 1019, 1015, 1022, 1028, 1008, 1038, 1010, 1013,
                                  1018, 1023, 1027, 1024, 1029, 1035, 1031, 1033, 1037, 1026, 1039 };

// The "동시 변환" box: item i converts i + 1 files at the same time.
constexpr int kConcurrentJobsCombo = 1039;

QString videoFilter()
{
    // Name filters here match case-sensitively, so each pattern comes in both cases.
    static const char *const exts[] = { "avi", "divx", "mkv", "flv", "ogm", "ogg", "mp4", "mov", "qt",
                                        "3gp", "swf", "wmv", "asf", "mpg", "mpeg", "dat", "vob", "m4v", "webm",
                                        "ts",  "m2ts", "mts", "tp", "trp" };
    QStringList lower, upper;
    for (const char *e : exts) {
        lower << QStringLiteral("*.") + QLatin1String(e);
        upper << QStringLiteral("*.") + QLatin1String(e).toString().toUpper();
    }
    return QStringLiteral("Video files (") + (lower + upper).join(QLatin1Char(' ')) + QStringLiteral(");;All Files (*)");
}

} // namespace

MainDialog::MainDialog(QWidget *parent)
    : QDialog(parent)
    , m_stages(DefaultStages())
{
    setWindowTitle(QString::fromUtf8(kTitle));
    setWindowFlags(Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint
                   | Qt::WindowMaximizeButtonHint | Qt::WindowCloseButtonHint);
    setFont(DialogFont(9));
    createControls();
    pushOptions();
}

MainDialog::~MainDialog() = default;

void MainDialog::createControls()
{
    const DialogUnits du(font());
    m_templateSize = du.size(kWidthUnits, kHeightUnits);
    auto *comboStyle = new CompactComboStyle;
    comboStyle->setParent(this);

    QList<QWidget *> groups;
    for (const ControlSpec &c : kControls) {
        const QString caption = QString::fromUtf8(c.caption);
        QRect r = du.rect(c.x, c.y, c.w, c.h);
        QWidget *w = nullptr;
        switch (c.kind) {
        case Kind::List:
            m_list = new FileListCtrl(this);
            w = m_list;
            break;
        case Kind::Group: {
            auto *g = new QGroupBox(this);
            groups << g;
            w = g;
            break;
        }
        case Kind::Button:
        case Kind::DefaultButton: {
            auto *b = new QPushButton(caption, this);
            b->setAutoDefault(false);
            b->setDefault(c.kind == Kind::DefaultButton);
            w = b;
            break;
        }
        case Kind::Check:
            w = new QCheckBox(caption, this);
            break;
        case Kind::Combo: {
            auto *cb = new QComboBox(this);
            cb->setStyle(comboStyle);
            // The template's height includes the dropped list; the closed box is one line.
            r.setHeight(qMin(r.height(), cb->sizeHint().height()));
            w = cb;
            break;
        }
        case Kind::Static: {
            auto *l = new QLabel(caption, this);
            l->setTextFormat(Qt::PlainText);
            l->setAlignment(Qt::AlignLeft | Qt::AlignTop);
            w = l;
            break;
        }
        }
        w->setGeometry(r);
        w->setEnabled(!c.disabled);
        m_placements.append({ w, r, c.anchor });
        if (c.id >= 0) {
            w->setObjectName(QString::number(c.id));
            m_controls.insert(c.id, w);
        }
    }
    // Group boxes only frame the controls drawn over them.
    for (QWidget *g : groups)
        g->lower();
    button(1)->hide();
    m_summary = qobject_cast<QLabel *>(control(1005));

    for (const ComboItems &ci : kComboItems) {
        for (const char *item : ci.items)
            combo(ci.id)->addItem(QString::fromUtf8(item));
        combo(ci.id)->setMaxVisibleItems(static_cast<int>(ci.items.size()));
    }
    QComboBox *jobs = combo(kConcurrentJobsCombo);
    const int mostJobs = qMin(platform::processorCount(), ConverterOptions::kMaxConcurrentJobs);
    for (int n = 1; n <= mostJobs; ++n)
        jobs->addItem(QStringLiteral("동시 변환 %1").arg(n));
    jobs->setToolTip(QStringLiteral("한 번에 변환할 파일 수"));
    fitCombosToItems(du);

    // Linux has no system menu to extend: the about item sits in the window's
    // context menu, F1 opens it, and a small button beside "지정" shows it is there.
    m_aboutAction = new QAction(QStringLiteral("Marbleway 정보(&A)..."), this);
    m_aboutAction->setShortcut(QKeySequence(Qt::Key_F1));
    m_aboutAction->setShortcutContext(Qt::WindowShortcut);
    connect(m_aboutAction, &QAction::triggered, this, &MainDialog::showAbout);
    addAction(m_aboutAction);
    setContextMenuPolicy(Qt::ActionsContextMenu);

    m_aboutButton = new QToolButton(this);
    m_aboutButton->setObjectName(QStringLiteral("about"));
    m_aboutButton->setText(QStringLiteral("?"));
    m_aboutButton->setToolTip(QStringLiteral("Marbleway 정보 (F1)"));
    m_aboutButton->setFocusPolicy(Qt::NoFocus);
    const QRect aboutRect = du.rect(kAboutButtonUnits.x(), kAboutButtonUnits.y(), kAboutButtonUnits.width(),
                                    kAboutButtonUnits.height());
    m_aboutButton->setGeometry(aboutRect);
    m_placements.append({ m_aboutButton, aboutRect, MoveX });
    connect(m_aboutButton, &QToolButton::clicked, this, &MainDialog::showAbout);

    // The template's size is the smallest; the window manager may make it larger.
    setMinimumSize(smallestSize());
    resize(smallestSize());
    setSizeGripEnabled(false);

    connect(button(1028), &QPushButton::clicked, this, &MainDialog::onAddFiles);
    connect(button(1003), &QPushButton::clicked, this, &MainDialog::onDelete);
    connect(button(1016), &QPushButton::clicked, this, &MainDialog::onDeleteAll);
    connect(button(1004), &QPushButton::clicked, this, &MainDialog::onConvert);
    connect(button(1006), &QPushButton::clicked, this, &MainDialog::onStop);
    connect(button(1019), &QPushButton::clicked, this, &MainDialog::onTempFolder);
    connect(button(1020), &QPushButton::clicked, this, &MainDialog::onSaveFolder);
    connect(button(1015), &QPushButton::clicked, this, &MainDialog::onSaveOptions);
    connect(button(1022), &QPushButton::clicked, this, &MainDialog::onResetOptions);
    connect(button(2), &QPushButton::clicked, this, &MainDialog::reject);
    for (int id : { 1010, 1013, 1023, 1026 })
        connect(check(id), &QCheckBox::clicked, this, &MainDialog::applyOptionRules);
    connect(combo(1035), &QComboBox::activated, this, &MainDialog::applyOptionRules);
    connect(m_list, &FileListCtrl::pathsDropped, this, &MainDialog::addPaths);
    connect(m_list, &FileListCtrl::listClicked, this, &MainDialog::onListClicked);
    connect(m_list, &FileListCtrl::listKeyPressed, this, &MainDialog::onListKey);
}

void MainDialog::fitCombosToItems(const DialogUnits &du)
{
    // The substitute fonts are wider than the ones the layout was drawn with: a combo
    // too narrow for its longest item grows, and the controls after it in its row
    // move right just as far as they must.
    constexpr int kMinGap = 3;
    QHash<QWidget *, int> wanted;
    for (const Placement &p : std::as_const(m_placements)) {
        auto *cb = qobject_cast<QComboBox *>(p.widget);
        if (!cb)
            continue;
        // The newest device's name is longer than any name the layout was drawn for: its
        // list shows it whole, while the closed box keeps the layout's width.
        const bool listOnly = cb->objectName() == QLatin1String("1030");
        int longest = 0;
        int longestInList = 0;
        for (int i = 0; i < cb->count(); ++i) {
            const int w = cb->fontMetrics().horizontalAdvance(cb->itemText(i));
            longestInList = qMax(longestInList, w);
            if (!(listOnly && i == cb->count() - 1))
                longest = qMax(longest, w);
        }
        QStyleOptionComboBox option;
        option.initFrom(cb);
        option.rect = QRect(QPoint(0, 0), p.rect.size());
        const int field = cb->style()->subControlRect(QStyle::CC_ComboBox, &option, QStyle::SC_ComboBoxEditField, cb).width();
        const int frame = p.rect.width() - field;
        if (listOnly)
            cb->view()->setMinimumWidth(longestInList + frame);
        if (longest + frame > p.rect.width())
            wanted.insert(cb, longest + frame);
    }
    if (wanted.isEmpty())
        return;

    // One row: the controls below the list whose rectangles share a line.
    QList<Placement *> row;
    auto sameRow = [](const QRect &a, const QRect &b) { return qAbs(a.center().y() - b.center().y()) < a.height() / 2 + 2; };
    int overflow = 0;
    for (Placement &p : m_placements) {
        if (!wanted.contains(p.widget))
            continue;
        row.clear();
        for (Placement &q : m_placements) {
            if (q.anchor == kBelow && !qobject_cast<QGroupBox *>(q.widget) && q.widget->objectName() != QLatin1String("1")
                && sameRow(p.rect, q.rect))
                row << &q;
        }
        std::sort(row.begin(), row.end(), [](const Placement *x, const Placement *y) { return x->rect.left() < y->rect.left(); });
        int prevRight = INT_MIN;
        for (Placement *q : row) {
            if (wanted.contains(q->widget))
                q->rect.setWidth(qMax(q->rect.width(), wanted.value(q->widget)));
            if (prevRight != INT_MIN && q->rect.left() < prevRight + kMinGap)
                q->rect.moveLeft(prevRight + kMinGap);
            prevRight = q->rect.right() + 1;
        }
        // The rows end a little inside their frame.
        overflow = qMax(overflow, prevRight - du.x(497));
    }
    // The window then starts wider by as much, and its frames and the list follow.
    m_rowOverflow = qMax(0, overflow);
}

void MainDialog::initDialog()
{
    if (m_initialized)
        return;
    m_initialized = true;

    setWindowIcon(AppIcon());
    m_list->prepare();
    m_list->setDropsAccepted(true);

    currentRunner = nullptr;
    strProgramFolder = platform::programFolder();

    options.strSaveFolder.clear();
    bToolsPresent = platform::directoryExists(strProgramFolder + QStringLiteral("tools"));
    QString tempRefusal;
    {
        platform::SettingsStore store;
        InitialTempFolder(options, store, bToolsPresent, &tempRefusal);
    }
    pushOptions();
    if (!bToolsPresent) {
        enableControls(false);
        button(2)->setEnabled(true);
        button(1006)->setEnabled(false);
        showMessage(QStringLiteral(".\\tools 폴더가 존재하지 않음!"));
    } else {
        enableControls(true);
        if (!tempRefusal.isEmpty())
            showMessage(tempRefusal);
        if (const QString refused = LegacyCodePageRefusal(); !refused.isEmpty())
            showMessage(refused);
    }

    m_statusBar = new StatusBar(smallestSize().width(), this);
    m_statusBar->setObjectName(QStringLiteral("1025"));
    m_statusBar->setFont(StatusBarFont());
    m_statusBar->show();

    m_summary->setFont(DialogFont(8));
    bConverting = false;
    restoreWindowGeometry();
    placeControls();
}

void MainDialog::placeControls()
{
    const int dx = qMax(0, width() - m_templateSize.width());
    const int dy = qMax(0, height() - m_templateSize.height());
    for (const Placement &p : std::as_const(m_placements)) {
        QRect r = p.rect;
        r.translate(p.anchor & MoveX ? dx : 0, p.anchor & MoveY ? dy : 0);
        r.setSize(r.size() + QSize(p.anchor & GrowX ? dx : 0, p.anchor & GrowY ? dy : 0));
        p.widget->setGeometry(r);
    }
    if (m_statusBar) {
        const int barHeight = qMax(StatusBar::kMinimumHeight, QFontMetrics(m_statusBar->font()).height() + 6);
        m_statusBar->setGeometry(0, height() - barHeight, width(), barHeight);
    }
}

void MainDialog::resizeEvent(QResizeEvent *event)
{
    QDialog::resizeEvent(event);
    placeControls();
}

void MainDialog::restoreWindowGeometry()
{
    const QSettings settings(QSettings::NativeFormat, QSettings::UserScope, QStringLiteral("Tarvolin"),
                             QStringLiteral("Marbleway"));
    const QByteArray geometry = settings.value(QLatin1String(kGeometryKey)).toByteArray();
    if (geometry.isEmpty() || !restoreGeometry(geometry))
        resize(smallestSize());
}

void MainDialog::saveWindowGeometry()
{
    QSettings settings(QSettings::NativeFormat, QSettings::UserScope, QStringLiteral("Tarvolin"),
                       QStringLiteral("Marbleway"));
    settings.setValue(QLatin1String(kGeometryKey), saveGeometry());
}

void MainDialog::showEvent(QShowEvent *event)
{
    initDialog();
    QDialog::showEvent(event);
}

QWidget *MainDialog::control(int id) const
{
    return m_controls.value(id);
}

QCheckBox *MainDialog::check(int id) const
{
    return qobject_cast<QCheckBox *>(control(id));
}

QComboBox *MainDialog::combo(int id) const
{
    return qobject_cast<QComboBox *>(control(id));
}

QPushButton *MainDialog::button(int id) const
{
    return qobject_cast<QPushButton *>(control(id));
}

FileList &MainDialog::fileList()
{
    return *m_list;
}

void MainDialog::pullOptions()
{
    for (const CheckBinding &b : kCheckBindings)
        options.*(b.field) = check(b.id)->isChecked();
    for (const ComboBinding &b : kComboBindings)
        options.*(b.field) = qMax(0, combo(b.id)->currentIndex());
    options.iConcurrentJobs = qMax(0, combo(kConcurrentJobsCombo)->currentIndex()) + 1;
}

void MainDialog::pushOptions()
{
    for (const CheckBinding &b : kCheckBindings)
        check(b.id)->setChecked(options.*(b.field));
    for (const ComboBinding &b : kComboBindings) {
        QComboBox *cb = combo(b.id);
        cb->setCurrentIndex(qBound(0, options.*(b.field), cb->count() - 1));
    }
    QComboBox *jobs = combo(kConcurrentJobsCombo);
    jobs->setCurrentIndex(qBound(0, options.iConcurrentJobs - 1, jobs->count() - 1));
    updateFolderTips();
}

void MainDialog::updateFolderTips()
{
    // The picker shows no folder once closed; the buttons tell which one is in force.
    button(1019)->setToolTip(options.strTempFolder);
    button(1020)->setToolTip(options.strSaveFolder);
}

void MainDialog::enableControls(bool on)
{
    QPushButton *del = button(1003);
    if (bToolsPresent && !on && m_idle)
        m_deleteWasEnabled = del->isEnabled();
    m_list->setDropsAccepted(on);

    for (int id : kIdleOnlyControls)
        control(id)->setEnabled(on);
    // Back from a run, Delete is as it was when the run began; when the window was
    // idle already (Reset), it keeps following the selection.
    if (!on)
        del->setEnabled(false);
    else if (!m_idle)
        del->setEnabled(m_deleteWasEnabled);
    button(1006)->setEnabled(!on);
    button(1016)->setEnabled(on && m_list->rowCount() > 0);
    m_idle = on;
    if (on) {
        m_runPlace.clear();
        m_toolPercent = -1;
        if (m_statusBar)
            m_statusBar->hideProgress();
        setWindowTitle(QString::fromUtf8(kTitle));
    } else {
        updateRunProgress();
    }

    pullOptions();
    for (const auto &[id, enabled] : OptionEnabling(options, on))
        control(id)->setEnabled(enabled);
}

void MainDialog::applyOptionRules()
{
    pullOptions();
    for (const auto &[id, enabled] : OptionEnabling(options, m_idle))
        control(id)->setEnabled(enabled);
}

void MainDialog::setStatusText(int part, const QString &text)
{
    if (!m_statusBar)
        return;
    m_statusBar->setPartText(part, text);
    if (!bConverting || m_idle)
        return;
    if (part == 0) {
        m_runPlace = text;
    } else if (part == 2) {
        // A cleared line is a tool's start: no percentage yet.
        if (text.isEmpty())
            m_toolPercent = -1;
        else if (const std::optional<int> percent = ProgressPercent(text))
            m_toolPercent = *percent;
    }
    // The user chose to close while no tool ran: the next one ends as it starts.
    if (m_closeAfterRun && currentRunner)
        requestStop();
    updateRunProgress();
}

void MainDialog::updateRunProgress()
{
    if (!m_statusBar || !bConverting || m_idle)
        return;
    const std::optional<int> percent = m_toolPercent >= 0 ? std::optional<int>(m_toolPercent) : std::nullopt;
    // The title carries the progress to the task bar while the window is minimised.
    QString progress = m_runPlace;
    if (percent)
        progress += (progress.isEmpty() ? QString() : QStringLiteral(" ")) + QString::number(*percent) + QLatin1Char('%');
    setWindowTitle(progress.isEmpty() ? QString::fromUtf8(kTitle)
                                      : QLatin1Char('[') + progress + QStringLiteral("] ") + QString::fromUtf8(kTitle));
    m_statusBar->showProgress(m_runPlace, percent);
}

void MainDialog::setSummaryText(const QString &text)
{
    m_summary->setText(text);
}

void MainDialog::showMessage(const QString &text)
{
    if (!m_closeAfterRun)
        messageBox(text);
}

bool MainDialog::askFinished(const QString &message)
{
    return !m_closeAfterRun && finishedBox(message);
}

void MainDialog::messageBox(const QString &text)
{
    QMessageBox box(QMessageBox::NoIcon, QStringLiteral("Marbleway"), text, QMessageBox::Ok, this);
    box.exec();
}

bool MainDialog::finishedBox(const QString &message)
{
    FinishedDialog dialog(message, this);
    return dialog.exec() == QDialog::Accepted;
}

bool MainDialog::confirmStopAndClose()
{
    QMessageBox box(QMessageBox::Question, QStringLiteral("Marbleway"),
                    QStringLiteral("변환 중입니다. 작업을 중단하고 프로그램을 닫을까요?"),
                    QMessageBox::Yes | QMessageBox::No, this);
    box.setDefaultButton(QMessageBox::No);
    return box.exec() == QMessageBox::Yes;
}

void MainDialog::showAbout()
{
    AboutDialog about(this);
    about.exec();
}

void MainDialog::addPaths(const QStringList &paths)
{
    // A dangling link or a vanished file has nothing to add; it is no naming problem.
    QStringList present;
    for (const QString &p : paths) {
        if (!platform::shortPath(p).isEmpty())
            present << p;
    }
    const QString refused = AddFilesMessage(AddSourcePaths(*m_list, present));
    if (!refused.isEmpty())
        showMessage(refused);
    if (m_list->rowCount() > 0 && !bConverting && m_idle)
        button(1016)->setEnabled(true);
}

QStringList MainDialog::chooseSourceFiles()
{
    QFileDialog dialog(this);
    dialog.setFileMode(QFileDialog::ExistingFiles);
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    dialog.setNameFilter(videoFilter());
    if (!m_lastOpenFolder.isEmpty())
        dialog.setDirectory(m_lastOpenFolder);
    if (dialog.exec() != QDialog::Accepted)
        return {};
    m_lastOpenFolder = dialog.directory().absolutePath();
    return dialog.selectedFiles();
}

void MainDialog::onAddFiles()
{
    QStringList paths = chooseSourceFiles();
    const qsizetype left = paths.size() - kMaxDialogFiles;
    if (left > 0)
        paths = paths.mid(0, kMaxDialogFiles);
    addPaths(paths);
    if (left > 0) {
        showMessage(Fmt("한 번에 %d개까지만 추가할 수 있어 나머지 %d개의 파일은 추가되지 않음!")
                        .d(kMaxDialogFiles)
                        .d(left));
    }
}

void MainDialog::updateDeleteButtons()
{
    button(1003)->setEnabled(!m_list->selectedRows().isEmpty());
    button(1016)->setEnabled(m_list->rowCount() > 0);
}

void MainDialog::onDelete()
{
    m_list->deleteSelectedRows();
    updateDeleteButtons();
}

void MainDialog::onDeleteAll()
{
    m_list->clear();
    button(1003)->setEnabled(false);
    button(1016)->setEnabled(false);
}

void MainDialog::onListClicked()
{
    if (bConverting)
        return;
    button(1003)->setEnabled(!m_list->selectedRows().isEmpty());
}

void MainDialog::onListKey(int key)
{
    if (bConverting)
        return;
    onListClicked();
    if (key == Qt::Key_Delete)
        onDelete();
}

void MainDialog::onConvert()
{
    OnConvert(*this, strProgramFolder, m_stages);
    if (m_closeAfterRun) {
        m_closeAfterRun = false;
        reject();
    }
}

void MainDialog::onStop()
{
    requestStop();
}

void MainDialog::onTempFolder()
{
    QString folder;
    if (!BrowseForFolder(QStringLiteral("임시파일 저장 폴더 지정"), options.strTempFolder, &folder) || folder.isEmpty())
        return;
    QString refusal;
    options.strTempFolder = WithOneTrailingSeparator(ValidateTempFolder(folder, &refusal));
    updateFolderTips();
    if (!refusal.isEmpty())
        showMessage(refusal);
}

void MainDialog::onSaveFolder()
{
    QString folder;
    if (!BrowseForFolder(QStringLiteral("저장 폴더 지정"), options.strSaveFolder, &folder) || folder.isEmpty())
        return;
    options.strSaveFolder = WithOneTrailingSeparator(folder);
    updateFolderTips();
}

bool MainDialog::BrowseForFolder(const QString &title, const QString &initialFolder, QString *folder)
{
    const QString chosen = QFileDialog::getExistingDirectory(this, title, initialFolder);
    *folder = chosen;
    return !chosen.isEmpty();
}

void MainDialog::onSaveOptions()
{
    pullOptions();
    platform::SettingsStore store;
    options.SaveOptions(store);
    showMessage(QStringLiteral("옵션 저장 완료"));
}

void MainDialog::onResetOptions()
{
    // The fields that reset leaves alone keep what the window shows now.
    pullOptions();
    platform::SettingsStore store;
    options.ResetOptions(store);
    pushOptions();
    enableControls(true);
    showMessage(QStringLiteral("옵션 초기화 및 레지스트리 삭제 완료"));
}

void MainDialog::keyPressEvent(QKeyEvent *event)
{
    // Escape never closes the window.
    if (event->key() == Qt::Key_Escape) {
        event->accept();
        return;
    }
    QDialog::keyPressEvent(event);
}

void MainDialog::reject()
{
    // A run owns the window until it ends; Close is disabled then, and nothing else
    // may end the program under it.
    if (bConverting)
        return;
    QDialog::reject();
}

void MainDialog::closeEvent(QCloseEvent *event)
{
    // The run owns the window; the user may end it and leave, once asked.
    if (bConverting) {
        event->ignore();
        if (!m_closeAfterRun && confirmStopAndClose())
            stopRunAndClose();
        return;
    }
    QDialog::closeEvent(event);
}

void MainDialog::stopRunAndClose()
{
    if (!bConverting) {
        reject();
        return;
    }
    m_closeAfterRun = true;
    requestStop();
}

void MainDialog::done(int result)
{
    if (isVisible())
        saveWindowGeometry();
    QDialog::done(result);
}
