#pragma once
// The command line's shared context and its command table.
#include <iosfwd>
#include <memory>
#include <string>
#include <vector>

#include "common/ConsoleHost.h"
#include "common/Workbench.h"

namespace qm {

class VirtualDrive;

// Exit codes of quillmark-cli.
enum ExitCode : int {
    kExitOk = 0,
    kExitFailed = 1,    // the drive operation failed
    kExitUsage = 2,     // bad command line
    kExitSetup = 3,     // no drive could be reached (folder, port I/O, device)
    kExitSmartBad = 4,  // S.M.A.R.T. verdict BAD
};

struct CliContext {
    Workbench& wb;
    ConsoleHost& host;
    std::ostream& out;
    std::ostream& err;
    std::vector<std::string> args;   // the command's own arguments
    VirtualDrive* vdrive = nullptr;  // the mounted virtual drive, if any
    bool driveSelected = false;
    std::string persistFolder;  // --persist: where drive writes go back to

    // Takes "--name" from args; true when it was there.
    bool TakeFlag(const std::string& name);
    // Takes "--name VALUE" from args; false when absent (value untouched).
    // A present flag without a value is a usage error reported through `bad`.
    bool TakeValue(const std::string& name, std::string& value, bool& bad);
    // Fails with a message when no drive was selected.
    bool RequireDrive();
};

struct CliCommand {
    const char* name;
    const char* usage;
    const char* summary;
    int (*run)(CliContext&);
};

const std::vector<CliCommand>& CliCommands();

}  // namespace qm
