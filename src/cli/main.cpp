// quillmark-cli: every drive operation of the workbench from a shell.
#include <chrono>
#include <cstring>
#include <iostream>
#include <memory>
#include <string>
#include <vector>

#include "cli/Cli.h"
#include "common/Format.h"
#include "drive/DriveEnum.h"
#include "drive/uATA.h"
#include "drive/uAtaPass.h"
#include "platform/Platform.h"
#include "vdrive/Mount.h"
#if defined(__linux__)
#include "platform/linux/LinuxPortIo.h"
#endif

namespace qm {
namespace {

void PrintUsage(std::ostream& o) {
    o << "usage: quillmark-cli [drive] [options] COMMAND [ARGS]\n"
         "\n"
         "drive (one of):\n"
         "  --demo               the built-in sample drive (virtual)\n"
         "  --vdrive DIR         a virtual drive read from a drive folder\n"
         "  --pio BASE/CTRL      a controller channel by its ports in hex, e.g. 01F0/03F6\n"
         "  --api PATH           an operating-system disk (ATA or SCSI pass-through by its bus)\n"
         "  --ata | --scsi       force ATA or SCSI pass-through with --api\n"
         "  --pci-dump FILE      read PCI configuration space from an lspci -x dump\n"
         "options:\n"
         "  --timeout SECONDS    stop waiting for the drive after this long (Ctrl+C stops too)\n"
         "  --persist            write changes of a --vdrive drive back to its folder\n"
         "  -h, --help           this text\n"
         "\n"
         "commands:\n";
    for (const CliCommand& c : CliCommands())
        o << "  " << Format("%-28s", c.usage) << " " << c.summary << '\n';
}

struct GlobalOptions {
    bool demo = false, persist = false, forceAta = false, forceScsi = false, help = false;
    std::string vdrive, pio, api, pciDump;
    double timeout = 0;
};

// Removes the global options from args; false on a usage error.
bool ParseGlobal(std::vector<std::string>& args, GlobalOptions& g, std::ostream& err) {
    std::vector<std::string> rest;
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        auto value = [&](std::string& into) {
            if (i + 1 >= args.size()) {
                err << "quillmark-cli: " << a << " needs a value\n";
                return false;
            }
            into = args[++i];
            return true;
        };
        // After the command word "list", --pio and --api choose what it lists.
        const bool listing = !rest.empty() && rest.front() == "list";
        if (listing && (a == "--pio" || a == "--api"))
            rest.push_back(a);
        else if (a == "--demo")
            g.demo = true;
        else if (a == "--persist")
            g.persist = true;
        else if (a == "--ata")
            g.forceAta = true;
        else if (a == "--scsi")
            g.forceScsi = true;
        else if (a == "-h" || a == "--help")
            g.help = true;
        else if (a == "--vdrive") {
            if (!value(g.vdrive)) return false;
        } else if (a == "--pio") {
            if (!value(g.pio)) return false;
        } else if (a == "--api") {
            if (!value(g.api)) return false;
        } else if (a == "--pci-dump") {
            if (!value(g.pciDump)) return false;
        } else if (a == "--timeout") {
            std::string t;
            if (!value(t)) return false;
            char* end = nullptr;
            g.timeout = std::strtod(t.c_str(), &end);
            if (!end || *end || g.timeout <= 0) {
                err << "quillmark-cli: --timeout needs a positive number of seconds\n";
                return false;
            }
        } else
            rest.push_back(a);
    }
    if (g.demo && !g.vdrive.empty()) {
        err << "quillmark-cli: give --demo or --vdrive, not both\n";
        return false;
    }
    if (!g.pciDump.empty() && (g.demo || !g.vdrive.empty())) {
        err << "quillmark-cli: give --pci-dump without --demo or --vdrive\n";
        return false;
    }
    if (!g.pio.empty() && !g.api.empty()) {
        err << "quillmark-cli: give --pio or --api, not both\n";
        return false;
    }
    if (g.forceAta && g.forceScsi) {
        err << "quillmark-cli: give --ata or --scsi, not both\n";
        return false;
    }
    args = rest;
    return true;
}

bool ParsePorts(const std::string& text, uint16_t& base, uint16_t& control) {
    const size_t slash = text.find('/');
    if (slash == std::string::npos) return false;
    unsigned long long b = 0, c = 0;
    if (!ParseHex(text.substr(0, slash), b) || !ParseHex(text.substr(slash + 1), c)) return false;
    if (b > 0xFFF8 || c > 0xFFFF) return false;
    base = static_cast<uint16_t>(b);
    control = static_cast<uint16_t>(c);
    return true;
}

int Main(int argc, char** argv) {
    std::vector<std::string> args(argv + 1, argv + argc);
    GlobalOptions g;
    if (!ParseGlobal(args, g, std::cerr)) return kExitUsage;
    if (g.help || args.empty()) {
        PrintUsage(g.help ? std::cout : std::cerr);
        return g.help ? kExitOk : kExitUsage;
    }
    const std::string name = args.front();
    args.erase(args.begin());
    const CliCommand* command = nullptr;
    for (const CliCommand& c : CliCommands())
        if (name == c.name) command = &c;
    if (!command) {
        std::cerr << "quillmark-cli: unknown command '" << name << "'\n";
        PrintUsage(std::cerr);
        return kExitUsage;
    }

    ConsoleHost host(std::cout, std::cerr);
    Workbench wb(host);
    wb.programFolder = platform::ProgramFolder();
    wb.dataFolder = platform::UserDataFolder();

    // The drive: a virtual one (mounted behind every seam) or the real backends.
    std::unique_ptr<VirtualDrive> vdrive;
    std::unique_ptr<PortIo> portIo;
    std::unique_ptr<DeviceIo> deviceIo;
    std::unique_ptr<DriveEnumerator> enumerator;
    if (g.demo || !g.vdrive.empty()) {
        MountedDrive mounted;
        std::string error;
        if (!MountVirtualDrive(g.vdrive, mounted, error)) {
            std::cerr << "quillmark-cli: drive folder refused: " << error << '\n';
            return kExitSetup;
        }
        vdrive = std::move(mounted.drive);
        portIo = std::move(mounted.portIo);
        deviceIo = std::move(mounted.deviceIo);
        enumerator = std::move(mounted.enumerator);
    } else {
        portIo = platform::CreatePortIo();
        if (!g.pciDump.empty()) {
#if defined(__linux__)
            portIo = std::make_unique<LinuxPortIo>(g.pciDump);
#else
            std::cerr << "quillmark-cli: --pci-dump needs the Linux build\n";
            return kExitUsage;
#endif
        }
        deviceIo = platform::CreateDeviceIo();
        enumerator = platform::CreateDriveEnumerator();
    }
    wb.portIo = portIo.get();
    wb.deviceIo = deviceIo.get();
    wb.enumerator = enumerator.get();

    CliContext ctx{wb, host, std::cout, std::cerr, args, nullptr, false, {}};
    ctx.vdrive = vdrive.get();
    if (g.persist) {
        if (!vdrive || g.vdrive.empty()) {
            std::cerr << "quillmark-cli: --persist needs --vdrive DIR\n";
            return kExitUsage;
        }
        ctx.persistFolder = g.vdrive;
        vdrive->SetPersistFolder(g.vdrive);
    }

    // Ctrl+C and --timeout raise the transport abort flag, so no wait hangs the shell.
    platform::InterruptWatch interrupts;
    const auto deadline = std::chrono::steady_clock::now() +
                          std::chrono::duration_cast<std::chrono::steady_clock::duration>(
                              std::chrono::duration<double>(g.timeout));
    bool timedOut = false, interrupted = false;
    host.interruptRequested = [&] {
        if (interrupts.Pending()) interrupted = true;
        if (g.timeout > 0 && std::chrono::steady_clock::now() > deadline) timedOut = true;
        if (interrupted || timedOut) wb.link.abort = true;
        return interrupted || timedOut;
    };

    // Port I/O is wanted for --pio and for the virtual drive's default channel.
    std::string pio = g.pio;
    if (pio.empty() && g.api.empty() && vdrive) pio = "01F0/03F6";
    if (!pio.empty()) {
        uint16_t base = 0, control = 0;
        if (!ParsePorts(pio, base, control)) {
            std::cerr << "quillmark-cli: --pio wants BASE/CTRL in hex, e.g. 01F0/03F6\n";
            return kExitUsage;
        }
        wb.portIoReady = wb.portIo && wb.portIo->InitializeOls();
        if (!wb.portIoReady) {
            std::cerr << "Initialize port I/O ERROR!\n"
                      << (wb.portIo ? wb.portIo->FailureReason() : std::string("no port I/O"))
                      << '\n';
            return kExitSetup;
        }
        wb.link.mode = TransportMode::PortIo;
        wb.link.basePort = base;
        wb.link.controlPort = control;
        wb.link.deviceSelect = false;
        SelectDevice(wb, 0);
        ctx.driveSelected = true;
    } else if (!g.api.empty()) {
        uint8_t busType = kBusSata;
        if (wb.enumerator) {
            const int count = wb.enumerator->EnumerateDrives(wb.drives);
            wb.driveCount = count;
            for (int i = 0; i < count && i < kMaxPhysicalDrives; ++i)
                if (wb.drives[i].devicePath == g.api || wb.drives[i].physicalDrivePath == g.api)
                    busType = wb.drives[i].busType;
        }
        const bool scsi = g.forceScsi || (!g.forceAta && UsesScsiPassThrough(busType));
        wb.link.mode = scsi ? TransportMode::ScsiPassThrough : TransportMode::AtaPassThrough;
        const DeviceHandle h = OpenDrive(wb, g.api);
        if (h == kInvalidDeviceHandle) {
            std::cerr << "quillmark-cli: cannot open " << g.api;
            if (wb.deviceIo) std::cerr << ": " << wb.deviceIo->ErrorText(wb.deviceIo->LastError());
            std::cerr << '\n';
            return kExitSetup;
        }
        (scsi ? wb.link.scsiHandle : wb.link.ataHandle) = h;
        ctx.driveSelected = true;
    }

    int rc = kExitFailed;
    try {
        rc = command->run(ctx);
    } catch (const std::exception& e) {
        std::cerr << "quillmark-cli: " << e.what() << '\n';
    }
    if (interrupted) std::cerr << "quillmark-cli: interrupted\n";
    if (timedOut)
        std::cerr << "quillmark-cli: stopped after " << g.timeout
                  << " s without an answer from the drive (--timeout)\n";
    if (wb.deviceIo) {
        if (wb.link.ataHandle != kInvalidDeviceHandle) wb.deviceIo->Close(wb.link.ataHandle);
        if (wb.link.scsiHandle != kInvalidDeviceHandle) wb.deviceIo->Close(wb.link.scsiHandle);
    }
    return rc;
}

}  // namespace
}  // namespace qm

int main(int argc, char** argv) {
    return qm::Main(argc, argv);
}
