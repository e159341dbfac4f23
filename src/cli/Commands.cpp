#include <CLI/CLI.hpp>
#include <ostream>

#include "cli/Cli.h"

namespace qm {

// One function per Cmd*.cpp; the order here is the order of --help.
void AddIdentifyCommand(CliCommands& commands);
void AddSmartCommand(CliCommands& commands);
void AddModuleCommands(CliCommands& commands);
void AddBackupCommands(CliCommands& commands);
void AddListCommand(CliCommands& commands);
void AddM21Commands(CliCommands& commands);
void AddScriptCommands(CliCommands& commands);
void AddSsLogCommand(CliCommands& commands);
void AddProgressCommands(CliCommands& commands);
void AddDefectsCommands(CliCommands& commands);
void AddServoCommand(CliCommands& commands);

void AddCommands(CliCommands& commands) {
    for (auto add : {AddIdentifyCommand, AddSmartCommand, AddModuleCommands, AddBackupCommands,
                     AddDefectsCommands, AddServoCommand, AddSsLogCommand, AddProgressCommands,
                     AddScriptCommands, AddListCommand, AddM21Commands})
        add(commands);
}

CLI::App* CliCommands::Add(const std::string& name, const std::string& summary, CliRun run) {
    return Add(&program_, name, summary, std::move(run));
}

CLI::App* CliCommands::Add(CLI::App* group, const std::string& name, const std::string& summary,
                           CliRun run) {
    CLI::App* command = group->add_subcommand(name, summary)->group("Commands");
    runs_[command] = std::move(run);
    return command;
}

CLI::App* CliCommands::AddGroup(const std::string& name, const std::string& summary,
                                CLI::App* parent) {
    CLI::App* group = (parent ? parent : &program_)->add_subcommand(name, summary);
    group->group("Commands")->require_subcommand(1);
    return group;
}

CLI::App* CliCommands::Deepest() const {
    CLI::App* at = &program_;
    for (std::vector<CLI::App*> taken = at->get_subcommands(); !taken.empty();
         taken = at->get_subcommands())
        at = taken.front();
    return at;
}

const CliRun* CliCommands::Chosen() const {
    const auto it = runs_.find(Deepest());
    return it == runs_.end() ? nullptr : &it->second;
}

std::string CommandPath(const CLI::App* command) {
    std::string path;
    for (const CLI::App* at = command; at; at = at->get_parent())
        path = at->get_name() + (path.empty() ? "" : " " + path);
    return path;
}

bool CliContext::RequireDrive() {
    if (driveSelected) return true;
    err << "quillmark-cli: no drive selected: give --pio BASE/CTRL or --api PATH "
           "(or --demo / --vdrive DIR for a virtual drive)\n";
    return false;
}

}  // namespace qm
