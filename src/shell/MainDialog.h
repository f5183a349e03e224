#pragma once

#include "engine/FrontEnd.h"
#include "engine/JobDriver.h"

#include <QDialog>
#include <QHash>

#include <span>

class DialogUnits;
class FileListCtrl;
class QAction;
class QCheckBox;
class QComboBox;
class QLabel;
class QPushButton;
class QToolButton;
class StatusBar;

// The program's one window: the file list, the option controls, the action
// buttons, the summary line and the status bar. It is the engine's front end:
// Convert runs the whole conversion inside its handler while the tool runner keeps
// the window alive, and Stop reaches the running tool through it.
class MainDialog : public QDialog, public FrontEnd
{
    Q_OBJECT
public:
    static constexpr int kWidthUnits = 506;
    static constexpr int kHeightUnits = 261;
    // The Open dialog adds at most this many files at once.
    static constexpr int kMaxDialogFiles = 100;
    static constexpr const char *kTitle = "Qor: Marbleway v5.6";

    explicit MainDialog(QWidget *parent = nullptr);
    ~MainDialog() override;

    // Window initialisation: program folder, tools folder test, temporary folder and
    // options, status bar, fonts. Runs once; showing the window runs it if nobody did.
    void initDialog();

    // The per-path steps for each path in order, the refusal message, Delete All.
    void addPaths(const QStringList &paths);

    // The control with this template id (object name), or null.
    QWidget *control(int id) const;
    FileListCtrl *listCtrl() const { return m_list; }
    // The small "?" button beside "지정" that opens the about box.
    QToolButton *aboutButton() const { return m_aboutButton; }
    StatusBar *statusBarCtrl() const { return m_statusBar; }
    bool toolsPresent() const { return bToolsPresent; }
    QString programFolder() const { return strProgramFolder; }

    // The chain Convert runs; tests give their own.
    void setStages(std::span<const Stage> stages) { m_stages = stages; }

    // FrontEnd
    FileList &fileList() override;
    void setStatusText(int part, const QString &text) override;
    void setSummaryText(const QString &text) override;
    void showMessage(const QString &text) override;
    bool askFinished(const QString &message) override;
    void enableControls(bool on) override;
    void pullOptions() override;

    // Fields into the controls.
    void pushOptions();

    // What Yes to the closing question does: stops the running tool and the run,
    // and closes the window once the run has ended.
    void stopRunAndClose();

    // Window geometry is kept beside the options, in this group.
    static constexpr const char *kGeometryKey = "Window/Geometry";

protected:
    // What showMessage and askFinished show, unless the user is closing the window
    // during a run (then nothing is asked any more).
    virtual void messageBox(const QString &text);
    virtual bool finishedBox(const QString &message);
    // Closing during a run: true when the user answers Yes to stopping it.
    virtual bool confirmStopAndClose();

    // The Open dialog; returns every selected path.
    virtual QStringList chooseSourceFiles();
    // The folder picker: true with the chosen folder, false (empty folder) when cancelled.
    virtual bool BrowseForFolder(const QString &title, const QString &initialFolder, QString *folder);
    virtual void showAbout();

    void keyPressEvent(QKeyEvent *event) override;
    void closeEvent(QCloseEvent *event) override;
    void showEvent(QShowEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;

public slots:
    void reject() override;
    void done(int result) override;

private:
    void createControls();
    void onAddFiles();
    void onDelete();
    void onDeleteAll();
    void onConvert();
    void onStop();
    void onListClicked();
    void onListKey(int key);
    void onTempFolder();
    void onSaveFolder();
    void onSaveOptions();
    void onResetOptions();
    void applyOptionRules();
    void updateDeleteButtons();
    void updateFolderTips();
    void placeControls();
    void fitCombosToItems(const DialogUnits &du);
    void restoreWindowGeometry();
    void saveWindowGeometry();
    void updateRunProgress();

    QCheckBox *check(int id) const;
    QComboBox *combo(int id) const;
    QPushButton *button(int id) const;

    QHash<int, QWidget *> m_controls;
    FileListCtrl *m_list = nullptr;
    StatusBar *m_statusBar = nullptr;
    QLabel *m_summary = nullptr;
    QAction *m_aboutAction = nullptr;
    QToolButton *m_aboutButton = nullptr;

    // Each control's rectangle at the template's size and how it follows a resize.
    struct Placement
    {
        QWidget *widget;
        QRect rect;
        int anchor;
    };
    QList<Placement> m_placements;
    QSize m_templateSize;
    // How far the option rows reach past their frames once combos fit their items.
    int m_rowOverflow = 0;
    QSize smallestSize() const { return m_templateSize + QSize(m_rowOverflow, 0); }

    QString strProgramFolder;
    bool bToolsPresent = false;
    bool m_initialized = false;
    // Idle state as last set by enableControls, and Delete's state when a run began.
    bool m_idle = false;
    bool m_deleteWasEnabled = false;
    QString m_lastOpenFolder;
    // The run's place in the list ("3/12") and the running tool's progress.
    QString m_runPlace;
    int m_toolPercent = -1;
    bool m_closeAfterRun = false;
    std::span<const Stage> m_stages;
};
