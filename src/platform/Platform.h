#pragma once
// Factories of the operating system's backends of the seams, and the few
// process-level services the programs need. Implemented once per OS.
#include <memory>
#include <string>

#include "drive/DeviceIo.h"
#include "drive/DriveTables.h"
#include "drive/PortIo.h"

namespace qm::platform {

std::unique_ptr<PortIo> CreatePortIo();
std::unique_ptr<DeviceIo> CreateDeviceIo();
std::unique_ptr<DriveEnumerator> CreateDriveEnumerator();

// Console interrupt (Ctrl+C): after Install(), Pending() tells whether the
// user asked to stop since the last call. Polled from the host's message
// processing, so no handler touches program state.
class InterruptWatch {
  public:
    InterruptWatch();
    ~InterruptWatch();
    InterruptWatch(const InterruptWatch&) = delete;
    InterruptWatch& operator=(const InterruptWatch&) = delete;
    bool Pending();

  private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

// The priority of timing work (the servo test's run): Raise lifts the
// calling thread (on Windows also the process) as far as the system lets an
// unprivileged user, never to a real-time class that would starve the rest
// of the machine; Restore puts back what was there. Refusals are ignored.
class TimingPriority {
  public:
    void Raise();
    void Restore();
    void Set(bool raised) { raised ? Raise() : Restore(); }
    bool Raised() const { return raised_; }

  private:
    bool raised_ = false;
    [[maybe_unused]] int savedProcess_ = 0;  // the priority class, on Windows only
    int savedThread_ = 0;
};

// Folder of the running program file.
std::string ProgramFolder();
// Where the data files (Errors.ini, ModDescr.ini, ...) are looked for when no
// --data-dir is given: next to the program file, except for a program
// installed on Linux (PREFIX/bin), whose files sit in PREFIX/share/quillmark.
std::string DataFilesFolder();
// Per-user folder for data the program keeps (journal, settings), created on demand.
std::string UserDataFolder();
// Operating-system text for the main window caption ("Debian GNU/Linux 12 (bookworm) x64").
std::string OperatingSystemText();
// Whether the standard error stream is a terminal (progress bars go there).
bool StderrIsTerminal();

}  // namespace qm::platform
