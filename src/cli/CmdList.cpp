// list --pio | --api: the main window's two selection lists.
#include <CLI/CLI.hpp>
#include <memory>
#include <ostream>

#include "cli/Cli.h"
#include "drive/DriveEnum.h"
#include "drive/PciScan.h"
#include "drive/PortIo.h"

namespace qm {
namespace {

struct ListArgs {
    bool pio = false, api = false;
};

// --pio: the controller channels as the main window's rows.
// --api: the drive table: index, name, bus type, path.
int RunList(CliContext& ctx, const ListArgs& a) {
    if (a.pio == a.api) {
        ctx.err << "quillmark-cli: list takes --pio or --api\n";
        return kExitUsage;
    }
    Workbench& wb = ctx.wb;
    if (a.pio) {
        const int count = ScanPciControllers(wb);
        for (const PCIDevDesc& d : wb.controllers) ctx.out << ControllerRowText(d) << '\n';
        if (count == 0) ctx.err << "quillmark-cli: no disk controller channels found\n";
        return kExitOk;
    }
    if (!wb.enumerator) {
        ctx.err << "quillmark-cli: drive enumeration is not available here\n";
        return kExitSetup;
    }
    wb.driveCount = wb.enumerator->EnumerateDrives(wb.drives);
    for (int i = 0; i < wb.driveCount && i < kMaxPhysicalDrives; ++i) {
        const TST_PhysicalDrive& d = wb.drives[static_cast<size_t>(i)];
        ctx.out << i << "  " << d.displayName << "  " << BusTypeName(d.busType) << "  "
                << d.devicePath;
        if (!d.physicalDrivePath.empty() && d.physicalDrivePath != d.devicePath)
            ctx.out << " (" << d.physicalDrivePath << ')';
        ctx.out << '\n';
    }
    if (wb.driveCount == 0) ctx.err << "quillmark-cli: no drives found\n";
    return kExitOk;
}

}  // namespace

void AddListCommand(CliCommands& commands) {
    auto a = std::make_shared<ListArgs>();
    CLI::App* list = commands.Add("list", "controller channels (PIO) or system drives (API)",
                                  [a](CliContext& ctx) { return RunList(ctx, *a); });
    // Here --pio and --api choose the list; before the command they choose a drive.
    list->add_flag("--pio", a->pio, "the controller channels found on the PCI bus");
    list->add_flag("--api", a->api, "the operating system's drives");
}

}  // namespace qm
