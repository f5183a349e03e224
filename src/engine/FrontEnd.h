#pragma once

#include "runner/RunnerHost.h"
#include "shell/ConverterOptions.h"

#include <QString>

class FileList;

// Everything the engine needs from the program it runs in: the file list, the
// status bar, the summary line, message boxes, the "Finished" question, the
// enabling of controls and the options. The window, the command-line front end
// and the tests' recorder each implement it.
class FrontEnd : public RunnerHost
{
public:
    virtual FileList &fileList() = 0;

    // The one-line text under the list.
    virtual void setSummaryText(const QString &text) = 0;
    // A message box with the text alone and an OK button.
    virtual void showMessage(const QString &text) = 0;
    // The "Finished" dialog: true when the user answers Yes.
    virtual bool askFinished(const QString &message) = 0;
    // Idle (true) or converting (false) state of the controls.
    virtual void enableControls(bool on) = 0;
    // Copies the control states into options (the window reads its controls).
    virtual void pullOptions() { }

    ConverterOptions options;
    bool bConverting = false;
};
