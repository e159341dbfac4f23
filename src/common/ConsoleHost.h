#pragma once
// The command line's host: the log goes to an output stream, SHIFT/CTRL and
// the dialogs' answers come from command-line flags, and ProcessMessages runs
// the interrupt and time-out checks that end a wait.
#include <chrono>
#include <functional>
#include <iosfwd>
#include <string>

#include "common/Host.h"

namespace qm {

class ConsoleHost : public Host {
  public:
    explicit ConsoleHost(std::ostream& log, std::ostream& messages);

    // Called on every ProcessMessages; returning true ends drive work (the
    // caller wires it to the transport abort flag).
    std::function<bool()> interruptRequested;
    // Files the "dialogs" answer with; empty means the user cancelled.
    std::string openFile, saveFile;
    bool shift = false, ctrl = false;
    // What raises and restores the timing priority (the program sets the
    // platform's; unset, nothing changes).
    std::function<void(bool raised)> timingPriority;
    // When set, log lines go here instead of the log stream (a --json command
    // collects them into its answer).
    std::function<void(const std::string&)> captureLog;
    // When set, every message-box text also goes here.
    std::function<void(const std::string&)> captureMessage;

    void ProcessMessages() override;
    void Sleep(uint32_t milliseconds) override;
    int64_t Counter() override;
    int64_t CounterFrequency() override;
    bool ShiftDown() override { return shift; }
    bool CtrlDown() override { return ctrl; }
    bool RunOpenDialog(DialogState& state) override;
    bool RunSaveDialog(DialogState& state) override;
    void MessageBox(const std::string& text) override;
    void Log(const std::string& line) override;
    void SetTimingPriority(bool raised) override {
        if (timingPriority) timingPriority(raised);
    }

  private:
    std::ostream& log_;
    std::ostream& messages_;
};

}  // namespace qm
