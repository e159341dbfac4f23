#pragma once
// A full backup of a drive's service area into a drive folder: every module
// the directory module 0x01 lists, the configuration table (1, 0) and each
// head's zone table, with the drive's identity and S.M.A.R.T. sectors, so
// that the folder mounted as a virtual drive is the same drive again.
//
// Module directory (data area of module 0x01): u16 entry count, then entries
// of u8 length, u8 word count, u16 module id, ...; the next entry starts
// `length` bytes further (0 = the first entry's length).
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "vendor/Modules.h"

namespace qm {

struct Workbench;

// Module ids listed by a module-directory image (empty when it is not one).
std::vector<uint16_t> ParseModuleDirectory(const ModuleImage& directory);

struct BackupStep {
    std::string item;  // "module 0033", "table 0D/0002"
    size_t done = 0, total = 0;
};

struct BackupReport {
    size_t modules = 0, tables = 0, bytes = 0;
    std::vector<std::string> failures;  // one line each: what and why
    bool stopped = false;               // the abort flag ended it
    bool Complete() const { return failures.empty() && !stopped; }
};

// Writes the folder (created when missing). Items that fail are reported and
// skipped; files are written atomically, so a failed item leaves no file.
BackupReport BackupDrive(Workbench& wb, const std::string& folder,
                         const std::function<void(const BackupStep&)>& progress = {});

}  // namespace qm
