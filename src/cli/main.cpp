// quillmark-cli: every drive operation of the workbench from a shell.
#include <CLI/CLI.hpp>
#include <chrono>
#include <cstdlib>
#include <iostream>
#include <memory>
#include <string>
#include <vector>

#include "cli/Cli.h"
#include "cli/CliArgs.h"
#include "common/SimulatedClock.h"
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

struct GlobalOptions {
    bool demo = false, persist = false, forceAta = false, forceScsi = false, virtualTime = false;
    std::string vdrive, pio, api, pciDump, dataDir;
    uint16_t base = 0x1F0, control = 0x3F6;  // --pio, parsed
    double timeout = 0;
};

bool ParsePorts(const std::string& text, uint16_t& base, uint16_t& control) {
    const size_t slash = text.find('/');
    if (slash == std::string::npos) return false;
    unsigned long long b = 0, c = 0;
    if (!ParseCliHex(text.substr(0, slash), b) || !ParseCliHex(text.substr(slash + 1), c))
        return false;
    if (b > 0xFFF8 || c > 0xFFFF) return false;
    base = static_cast<uint16_t>(b);
    control = static_cast<uint16_t>(c);
    return true;
}

// The options that choose the drive and how to talk to it. They may stand
// before the command or after it.
void AddGlobalOptions(CLI::App& app, GlobalOptions& g) {
    const char* drive = "Drive (one of)";
    app.add_flag("--demo", g.demo, "the built-in sample drive (virtual)")->group(drive);
    app.add_option("--vdrive", g.vdrive, "a virtual drive read from a drive folder")
        ->type_name("DIR")
        ->group(drive);
    app.add_option_function<std::string>(
           "--pio",
           [&g](const std::string& text) {
               if (!ParsePorts(text, g.base, g.control))
                   throw CLI::ValidationError("--pio wants BASE/CTRL in hex, e.g. 01F0/03F6");
               g.pio = text;
           },
           "a controller channel by its ports in hex, e.g. 01F0/03F6")
        ->type_name("BASE/CTRL")
        ->group(drive);
    app.add_option("--api", g.api, "an operating-system disk (ATA or SCSI pass-through by its bus)")
        ->type_name("PATH")
        ->group(drive);
    app.add_flag("--ata", g.forceAta, "force ATA pass-through with --api")->group(drive);
    app.add_flag("--scsi", g.forceScsi, "force SCSI pass-through with --api")->group(drive);
    app.add_option("--pci-dump", g.pciDump, "read PCI configuration space from an lspci -x dump")
        ->type_name("FILE")
        ->group(drive);
    app.add_option_function<std::string>(
           "--timeout",
           [&g](const std::string& text) {
               char* end = nullptr;
               g.timeout = std::strtod(text.c_str(), &end);
               if (text.empty() || !end || *end || !(g.timeout > 0))
                   throw CLI::ValidationError("--timeout needs a positive number of seconds");
           },
           "stop waiting for the drive after this long (Ctrl+C stops too)")
        ->type_name("SECONDS");
    app.add_flag("--persist", g.persist, "write changes of a --vdrive drive back to its folder");
    app.add_flag("--virtual-time", g.virtualTime,
                 "run a virtual drive and the program's clock on one simulated clock: waits on "
                 "the drive take no real time");
    app.add_option("--data-dir", g.dataDir,
                   "the folder of the data files (Errors.ini, ModDescr.ini, SCRIPTS.INI, "
                   "pcidevs.ini, pci.ini); default: the program's folder (installed: "
                   "PREFIX/share/quillmark)")
        ->check(CLI::Validator(CLI::ExistingDirectory).description(""))
        ->type_name("DIR");
}

bool CheckGlobal(const GlobalOptions& g, std::ostream& err) {
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
    if (g.virtualTime && !g.demo && g.vdrive.empty()) {
        err << "quillmark-cli: --virtual-time needs a virtual drive (--demo or --vdrive DIR)\n";
        return false;
    }
    return true;
}

// A bad command line: what is wrong, and where to read more.
int UsageError(const CLI::ParseError& e, const CLI::App& app, const CliCommands& commands,
               std::ostream& err) {
    const CLI::App* at = commands.Deepest();
    const std::vector<std::string> rest = app.remaining();
    const bool commandMissing = std::string(e.what()) == "A subcommand is required";
    if (at == &app && !rest.empty() && !rest.front().empty() && rest.front()[0] != '-')
        err << "quillmark-cli: unknown command '" << rest.front() << "'\n";
    else if (commandMissing) {
        err << "quillmark-cli: '" << CommandPath(at) << "' needs a command:";
        const char* sep = " ";
        for (const CLI::App* c : at->get_subcommands([](const CLI::App*) { return true; })) {
            err << sep << c->get_name();
            sep = ", ";
        }
        err << '\n';
    } else
        err << "quillmark-cli: " << e.what() << '\n';
    if (at == &app)
        err << "Run 'quillmark-cli --help' for the commands and options.\n";
    else
        err << "Run '" << CommandPath(at)
            << " --help' for its options, 'quillmark-cli --help' for the drive options.\n";
    return kExitUsage;
}

int Main(int argc, char** argv) {
    CLI::App app("quillmark-cli: the workbench's drive operations from a shell", "quillmark-cli");
    app.require_subcommand(1);
    app.get_formatter()->label("SUBCOMMAND", "COMMAND");
    app.fallthrough();  // the drive options also after the command
    GlobalOptions g;
    AddGlobalOptions(app, g);
    CliCommands commands(app);
    AddCommands(commands);
    // After the commands, so that their own help pages do not repeat it.
    app.footer(
        "Run 'quillmark-cli COMMAND --help' for a command's own options.\n"
        "Exit codes: 0 done; 1 the drive operation failed; 2 bad command line; 3 no drive "
        "reached;\n4 S.M.A.R.T. verdict BAD; 5 a test step ended with an error code.");
    if (argc < 2) {
        std::cerr << app.help();
        return kExitUsage;
    }
    try {
        app.parse(argc, argv);
    } catch (const CLI::CallForHelp& e) {
        return app.exit(e, std::cout, std::cerr);  // the chosen command's help
    } catch (const CLI::ParseError& e) {
        return UsageError(e, app, commands, std::cerr);
    }
    if (!CheckGlobal(g, std::cerr)) return kExitUsage;
    const CliRun* run = commands.Chosen();
    if (!run) return UsageError(CLI::RequiredError("A command"), app, commands, std::cerr);

    ConsoleHost host(std::cout, std::cerr);
    // The servo test's run raises what the system allows an ordinary user.
    platform::TimingPriority priority;
    host.timingPriority = [&priority](bool raised) { priority.Set(raised); };
    // With --virtual-time the bench's counter and sleeps run on the drive's clock.
    SimulatedClock clock;
    SimulatedTimeHost simulatedHost(host, clock);
    Workbench wb(g.virtualTime ? static_cast<Host&>(simulatedHost) : host);
    wb.programFolder = platform::ProgramFolder();
    wb.dataFilesFolder = g.dataDir.empty() ? platform::DataFilesFolder() : g.dataDir;
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
        if (g.virtualTime) mounted.UseClock(clock);
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

    CliContext ctx{wb, host, std::cout, std::cerr, vdrive.get(), false, {}};
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
    ctx.interrupted = &interrupted;
    ctx.timedOut = &timedOut;
    host.interruptRequested = [&] {
        if (interrupts.Pending()) interrupted = true;
        if (g.timeout > 0 && std::chrono::steady_clock::now() > deadline) timedOut = true;
        if (interrupted || timedOut) wb.link.abort = true;
        return interrupted || timedOut;
    };

    // Port I/O is wanted for --pio and for the virtual drive's default channel
    // (01F0/03F6).
    if (!g.pio.empty() || (g.api.empty() && vdrive)) {
        wb.portIoReady = wb.portIo && wb.portIo->InitializeOls();
        if (!wb.portIoReady) {
            std::cerr << "Initialize port I/O ERROR!\n"
                      << (wb.portIo ? wb.portIo->FailureReason() : std::string("no port I/O"))
                      << '\n';
            return kExitSetup;
        }
        wb.link.mode = TransportMode::PortIo;
        wb.link.basePort = g.base;
        wb.link.controlPort = g.control;
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
        rc = (*run)(ctx);
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
