#pragma once
// The per-drive journal of module writes: before a module is sent to a drive,
// the drive's current copy and the image about to be written are kept here,
// so a write never destroys the only copy.
//
// Layout: <data folder>/journal/<model>_<serial>/
//   ~id0021-20261208T163045Z-042.before.rpm       the drive's copy before the write
//   ~id0021-20261208T163045Z-042.sending.rpm      the image, while it is being sent
//   ~id0021-20261208T163045Z-042.written.rpm      ... once the drive took it
//   ~id0021-20261208T163045Z-042.not-written.rpm  ... when the write failed
//   ~id0021-20261208T163045Z-042.txt              what happened (always written)
// A .sending.rpm left behind means the program ended in the middle of the
// write: the drive's module may be either copy, or a mix.
#include <cstdint>
#include <string>
#include <vector>

namespace qm {

struct Workbench;

class ModuleJournal {
  public:
    explicit ModuleJournal(const Workbench& wb);
    // The folder of the drive last identified.
    const std::string& Folder() const { return folder_; }
    // Keeps the entry; `before` is null when the drive's copy could not be
    // read (the note says so). False, with `error`, when anything could not be
    // written: the caller must not send the module then.
    bool Keep(uint16_t id, const std::vector<uint8_t>* before, const std::vector<uint8_t>& written,
              std::string& error);
    // Records the outcome of the write of the last entry kept: the image
    // becomes .written.rpm or .not-written.rpm, and the note says why.
    void Settle(bool written, const std::string& outcome);
    // Path stem of the last entry kept.
    const std::string& LastEntry() const { return lastEntry_; }

  private:
    std::string folder_;
    std::string model_, serial_;
    std::string lastEntry_;
    std::string note_;
};

}  // namespace qm
