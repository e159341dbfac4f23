#pragma once
// The command line's shared context, its exit codes and the registry every
// Cmd*.cpp adds its commands to (see docs/architecture.md, "How to add a command").
#include <functional>
#include <iosfwd>
#include <map>
#include <string>

#include "common/ConsoleHost.h"
#include "common/Workbench.h"

namespace CLI {
class App;
}

namespace qm {

class VirtualDrive;

// Exit codes of quillmark-cli.
enum ExitCode : int {
    kExitOk = 0,
    kExitFailed = 1,     // the drive operation failed
    kExitUsage = 2,      // bad command line
    kExitSetup = 3,      // no drive could be reached (folder, port I/O, device)
    kExitSmartBad = 4,   // S.M.A.R.T. verdict BAD
    kExitStepError = 5,  // a test step ended with a non-zero error code
};

// What a command runs with: the bench with its drive attached, the console
// host, and stdout/stderr.
struct CliContext {
    Workbench& wb;
    ConsoleHost& host;
    std::ostream& out;
    std::ostream& err;
    VirtualDrive* vdrive = nullptr;  // the mounted virtual drive, if any
    bool driveSelected = false;
    std::string persistFolder;  // --persist: where drive writes go back to

    // Fails with a message when no drive was selected.
    bool RequireDrive();
};

// Runs a command once the command line is parsed and the drive attached;
// returns the exit code.
using CliRun = std::function<int(CliContext&)>;

// The commands of the program. Each Cmd*.cpp has one function that adds its
// commands here (listed in Commands.cpp); a command's options are CLI11
// options bound to variables its CliRun holds on to.
class CliCommands {
  public:
    explicit CliCommands(CLI::App& program) : program_(program) {}

    // A command: `quillmark-cli NAME ...`, or `... GROUP NAME ...` under a group.
    CLI::App* Add(const std::string& name, const std::string& summary, CliRun run);
    CLI::App* Add(CLI::App* group, const std::string& name, const std::string& summary, CliRun run);
    // A group word that only leads to its own commands (`module read|write|...`).
    CLI::App* AddGroup(const std::string& name, const std::string& summary,
                       CLI::App* parent = nullptr);

    // The last command word the parser took (the program itself when none).
    CLI::App* Deepest() const;
    // What runs for Deepest(); null when it is the program or a group.
    const CliRun* Chosen() const;

  private:
    CLI::App& program_;
    std::map<const CLI::App*, CliRun> runs_;
};

// Adds every command of the program (the central list in Commands.cpp).
void AddCommands(CliCommands& commands);

// "quillmark-cli module read": the words that lead to `command`.
std::string CommandPath(const CLI::App* command);

}  // namespace qm
