// identify: IDENTIFY DEVICE and the main window's identity line.
#include <CLI/CLI.hpp>
#include <cstring>
#include <ostream>

#include "cli/Cli.h"
#include "drive/Identify.h"
#include "drive/Transport.h"

namespace qm {
namespace {

int RunIdentify(CliContext& ctx) {
    if (!ctx.RequireDrive()) return kExitSetup;
    Workbench& wb = ctx.wb;
    std::memset(wb.link.Sectors(), 0, 512);
    const bool ok = IdentifyDevice(wb);
    wb.identity = ParseIdentity(wb.link.Sectors());
    ctx.out << IdentityLine(wb.identity) << '\n';
    return ok ? kExitOk : kExitFailed;
}

}  // namespace

void AddIdentifyCommand(CliCommands& commands) {
    commands.Add("identify",
                 "IDENTIFY DEVICE: prints model, firmware and serial as the main window logs them",
                 RunIdentify);
}

}  // namespace qm
