#pragma once
// The Host of the desktop program: the Qt event loop, a nanosecond counter,
// the keyboard state at the moment of the call, the main window's file
// dialogs and message boxes, and the main window's log pane.
#include <QElapsedTimer>
#include <QPointer>
#include <QString>
#include <functional>
#include <string>
#include <vector>

#include "common/Host.h"

class QPlainTextEdit;
class QWidget;

namespace qm {

// "Module files (*.rpm)|*.rpm|All files (*.*)|*.*" as Qt's name filters
// ("Module files (*.rpm)", "All files (*)").
QStringList QtNameFilters(const std::string& filter);

class QtHost : public Host {
  public:
    QtHost();

    // Where log lines go. Lines logged before a pane is attached are kept and
    // written when it is.
    void SetLogView(QPlainTextEdit* view);
    // Owner of the dialogs and message boxes.
    void SetDialogParent(QWidget* parent) { parent_ = parent; }

    // Replace the dialogs and message boxes (tests answer them from a
    // script; nothing modal may open there). Unset means the real dialog.
    std::function<bool(DialogState&)> openDialog, saveDialog;
    std::function<void(const std::string&)> messageBox;
    std::function<void(const std::string&)> errorBox;
    // What raises and restores the timing priority (the program sets the
    // platform's; unset, nothing changes).
    std::function<void(bool raised)> timingPriority;

    void ProcessMessages() override;
    void Sleep(uint32_t milliseconds) override;
    int64_t Counter() override;
    int64_t CounterFrequency() override { return 1000000000; }
    bool ShiftDown() override;
    bool CtrlDown() override;
    bool RunOpenDialog(DialogState& state) override;
    bool RunSaveDialog(DialogState& state) override;
    void MessageBox(const std::string& text) override;
    void ErrorBox(const std::string& text) override;
    void Log(const std::string& line) override;
    void SetTimingPriority(bool raised) override {
        if (timingPriority) timingPriority(raised);
    }

  private:
    bool RunFileDialog(DialogState& state, bool save);

    QElapsedTimer clock_;
    QPointer<QPlainTextEdit> log_;
    QPointer<QWidget> parent_;
    std::vector<std::string> pending_;
};

}  // namespace qm
