#pragma once

#include "engine/ConvertJob.h"
#include "engine/FileList.h"
#include "shell/MainDialog.h"

#include <QStringList>
#include <QTemporaryDir>

#include <functional>
#include <memory>

// Every test process gets a settings store and a system temporary folder of its
// own (XDG_CONFIG_HOME, XDG_CACHE_HOME and TMPDIR point into a temporary folder) and one
// QApplication on the offscreen platform.
QString TestRoot();

// The window with its dialogs replaced by recorders, so nothing blocks.
class TestDialog : public MainDialog
{
public:
    QStringList messages;
    QStringList finishedMessages;
    bool finishedAnswer = false;
    QStringList filesToChoose;
    QString folderToChoose; // empty: the picker is cancelled
    QStringList folderTitles;
    QStringList folderStarts;
    int aboutShown = 0;
    // Closing during a run: the question is counted and answered No, unless the
    // real message box is wanted.
    int closeQuestions = 0;
    bool realCloseQuestion = false;
    std::function<void(const QString &)> onMessage;

    // Convenience accessors by id.
    QWidget *w(int id) const { return control(id); }
    bool enabled(int id) const { return control(id)->isEnabled(); }

protected:
    void messageBox(const QString &text) override;
    bool finishedBox(const QString &message) override;
    QStringList chooseSourceFiles() override { return filesToChoose; }
    bool BrowseForFolder(const QString &title, const QString &initialFolder, QString *folder) override;
    void showAbout() override { ++aboutShown; }
    bool confirmStopAndClose() override
    {
        ++closeQuestions;
        return realCloseQuestion && MainDialog::confirmStopAndClose();
    }
};

// A program folder with a tools/ folder holding the eight tools as small scripts;
// making one also empties the settings store.
class ProgramFolder
{
public:
    // withTools false: the folder has no tools/ at all.
    explicit ProgramFolder(bool withTools = true);
    ~ProgramFolder();
    QString path() const { return m_dir.path() + QLatin1Char('/'); }
    // Replaces one tool with a script of this body (after the #!/bin/sh line).
    void writeTool(const QString &name, const QString &body);

private:
    QTemporaryDir m_dir;
};

// Creates a file (and its folder) with some bytes; returns its path.
QString MakeFile(const QString &path, const QByteArray &bytes = QByteArrayLiteral("x"));

class FileListCtrl;

// A dialog opened as main() opens it: initialised, then shown.
std::unique_ptr<TestDialog> openDialog();

// Drags the paths over the list and drops them; false when the list refused them.
bool dropOn(FileListCtrl *list, const QStringList &paths);
// Clicks a row as a user does (with Ctrl for adding to the selection).
void clickRow(FileListCtrl *list, int row, Qt::KeyboardModifiers modifiers = Qt::NoModifier);
// Column 0 (or another column) of every row.
QStringList columnTexts(const FileList &list, int column = FileList::kName);

// Every template id of a control the window enables or disables.
QList<int> SwitchableControlIds();

// Stages for tests: a plain function pointer that calls whatever the test set.
extern std::function<StageResult(ConvertJob &)> g_testStage;
StageResult CallTestStage(ConvertJob &job);
