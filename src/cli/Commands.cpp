#include "cli/Cli.h"

#include <algorithm>
#include <ostream>

namespace qm {

int RunIdentify(CliContext& ctx);

const std::vector<CliCommand>& CliCommands() {
    static const std::vector<CliCommand> commands = {
        {"identify", "identify",
         "IDENTIFY DEVICE: prints model, firmware and serial as the main window logs them",
         RunIdentify},
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
