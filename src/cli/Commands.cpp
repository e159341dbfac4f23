#include "cli/Cli.h"

#include <algorithm>
#include <ostream>

namespace qm {

int RunIdentify(CliContext& ctx);
int RunSmart(CliContext& ctx);
int RunModule(CliContext& ctx);
int RunTable(CliContext& ctx);
int RunHeads(CliContext& ctx);
int RunReset(CliContext& ctx);
int RunBackup(CliContext& ctx);
int RunIdle3(CliContext& ctx);
int RunList(CliContext& ctx);

const std::vector<CliCommand>& CliCommands() {
    static const std::vector<CliCommand> commands = {
        {"identify", "identify",
         "IDENTIFY DEVICE: prints model, firmware and serial as the main window logs them",
         RunIdentify},
        {"smart", "smart [--raw-only | --json]", "S.M.A.R.T. list and verdict (4: BAD)", RunSmart},
        {"module", "module read ID [-o FILE]", "read a service-area module into a file", RunModule},
        {"module", "module write ID FILE [--verify]",
         "check, journal and write a module file (--force skips the checks)", RunModule},
        {"module", "module checksum FILE [--fix]", "check (or fix) a module file's checksum",
         RunModule},
        {"table", "table read ID PARAM [-o FILE]", "read a drive table (ids in hex)", RunTable},
        {"heads", "heads", "head count from module 0A or the configuration table", RunHeads},
        {"reset", "reset", "Power On Reset Immediate", RunReset},
        {"backup", "backup DIR",
         "every module, the configuration and zone tables into a drive folder", RunBackup},
        {"idle3", "idle3 [--set N]", "read (or set) the idle3 head-parking timer", RunIdle3},
        {"list", "list --pio | --api", "controller channels (PIO) or system drives (API)", RunList},
    };
    return commands;
}

bool CliContext::TakeFlag(const std::string& name) {
    auto it = std::find(args.begin(), args.end(), name);
    if (it == args.end()) return false;
    args.erase(it);
    return true;
}

bool CliContext::TakeValue(const std::string& name, std::string& value, bool& bad) {
    auto it = std::find(args.begin(), args.end(), name);
    if (it == args.end()) return false;
    if (it + 1 == args.end()) {
        err << "quillmark-cli: " << name << " needs a value\n";
        bad = true;
        args.erase(it);
        return false;
    }
    value = *(it + 1);
    args.erase(it, it + 2);
    return true;
}

bool CliContext::RequireDrive() {
    if (driveSelected) return true;
    err << "quillmark-cli: no drive selected: give --pio BASE/CTRL or --api PATH "
           "(or --demo / --vdrive DIR for a virtual drive)\n";
    return false;
}

}  // namespace qm
