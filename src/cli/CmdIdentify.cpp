#include <cstring>
#include <ostream>

#include "cli/Cli.h"
#include "drive/Identify.h"
#include "drive/Transport.h"

namespace qm {

int RunIdentify(CliContext& ctx) {
    if (!ctx.args.empty()) {
        ctx.err << "quillmark-cli: identify takes no arguments\n";
        return kExitUsage;
    }
    if (!ctx.RequireDrive()) return kExitSetup;
    Workbench& wb = ctx.wb;
    std::memset(wb.link.Sectors(), 0, 512);
    const bool ok = IdentifyDevice(wb);
    wb.identity = ParseIdentity(wb.link.Sectors());
    ctx.out << IdentityLine(wb.identity) << '\n';
    return ok ? kExitOk : kExitFailed;
}

}  // namespace qm
