// backup DIR and idle3 [--set N].
#include <CLI/CLI.hpp>
#include <memory>
#include <optional>
#include <ostream>

#include "cli/Cli.h"
#include "cli/CliArgs.h"
#include "common/Format.h"
#include "platform/Platform.h"
#include "vendor/Backup.h"
#include "vendor/VendorOps.h"
#include "vendor/Vsc.h"

namespace qm {
namespace {

int RunBackup(CliContext& ctx, const std::string& folder) {
    if (!ctx.RequireDrive()) return kExitSetup;
    const bool bar = platform::StderrIsTerminal();
    const BackupReport report = BackupDrive(ctx.wb, folder, [&](const BackupStep& s) {
        if (!bar || s.total == 0) return;
        const size_t width = 30, filled = s.done * width / s.total;
        ctx.err << '\r' << '[' << std::string(filled, '#') << std::string(width - filled, '.')
                << Format("] %3zu/%zu %-16s", s.done, s.total, s.item.c_str()) << std::flush;
    });
    if (bar) ctx.err << '\n';
    for (const std::string& f : report.failures) ctx.err << "backup: " << f << '\n';
    ctx.out << Format("backup: %zu modules, %zu tables, %zu bytes in %s", report.modules,
                      report.tables, report.bytes, folder.c_str());
    if (!report.failures.empty()) ctx.out << Format("; %zu failed", report.failures.size());
    if (report.stopped) ctx.out << "; stopped before the end";
    ctx.out << '\n';
    return report.Complete() ? kExitOk : kExitFailed;
}

int RunIdle3(CliContext& ctx, const std::optional<uint8_t>& set) {
    if (!ctx.RequireDrive()) return kExitSetup;
    if (set && !WriteIdle3Timer(ctx.wb, *set)) {
        ctx.err << Format("idle3: write failed, vendor status %04X\n", VendorStatus(ctx.wb));
        return kExitFailed;
    }
    uint8_t now = 0;
    if (!ReadIdle3Timer(ctx.wb, now)) {
        ctx.err << Format("idle3: read failed, vendor status %04X\n", VendorStatus(ctx.wb));
        return kExitFailed;
    }
    ctx.out << Format("Idle3 timer: %u (%s)\n", now, Idle3TimerText(now).c_str());
    return kExitOk;
}

}  // namespace

void AddBackupCommands(CliCommands& commands) {
    auto folder = std::make_shared<std::string>();
    CLI::App* cmd = commands.Add(
        "backup", "every module, the configuration and zone tables into a drive folder",
        [folder](CliContext& ctx) { return RunBackup(ctx, *folder); });
    cmd->add_option("DIR", *folder, "the drive folder to write (it mounts with --vdrive)")
        ->required();

    auto set = std::make_shared<std::optional<uint8_t>>();
    cmd = commands.Add("idle3", "read (or set) the idle3 head-parking timer",
                       [set](CliContext& ctx) { return RunIdle3(ctx, *set); });
    AddNumber(cmd, "--set", *set, "write the timer first: 0 = off, 1-255", 0, 255);
}

}  // namespace qm
