#pragma once
// What drive and feature code needs from the user interface. The GUI, the
// command line and the tests each supply one.
#include <cstdint>
#include <string>

namespace qm {

// One of the main window's file dialogs: features set the fields, run it and
// read the chosen file name back. Reset() returns it to its start-up state.
struct DialogState {
    std::string title;
    std::string filter;    // "Module files (*.rpm)|*.rpm|All files (*.*)|*.*"
    std::string fileName;  // in: proposed name; out: the chosen path
    std::string folder;    // initial folder
    std::string defaultExt;
    void Reset() { *this = DialogState{}; }
};

class Host {
  public:
    virtual ~Host() = default;
    // Let pending window messages run (the GUI's event loop, the CLI's
    // interrupt and time-out checks).
    virtual void ProcessMessages() = 0;
    virtual void Sleep(uint32_t milliseconds) = 0;
    // High-resolution counter and its frequency in counts per second.
    virtual int64_t Counter() = 0;
    virtual int64_t CounterFrequency() = 0;
    virtual bool ShiftDown() = 0;
    virtual bool CtrlDown() = 0;
    // Run the open or save dialog on the given state; true when the user
    // picked a file (its path is then in state.fileName).
    virtual bool RunOpenDialog(DialogState& state) = 0;
    virtual bool RunSaveDialog(DialogState& state) = 0;
    virtual void MessageBox(const std::string& text) = 0;
    // The standard error box: a file error's text (the path and the system's
    // message, in the system's own encoding). Where no box of its own exists,
    // a plain message.
    virtual void ErrorBox(const std::string& text) { MessageBox(text); }
    // Append one whole line to the log.
    virtual void Log(const std::string& line) = 0;
    // Raises the process and thread priority for timing work as far as the
    // platform allows without privilege (true), or puts back what was there
    // before (false). A refusal is ignored; hosts without the means do nothing.
    virtual void SetTimingPriority(bool raised) { (void)raised; }
};

}  // namespace qm
