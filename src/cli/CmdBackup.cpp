// backup DIR and idle3 [--set N].
#include <ostream>

#include "cli/Cli.h"
#include "common/Format.h"
#include "platform/Platform.h"
#include "vendor/Backup.h"
#include "vendor/VendorOps.h"
#include "vendor/Vsc.h"

namespace qm {

int RunBackup(CliContext& ctx) {
    if (ctx.args.size() != 1) {
        ctx.err << "quillmark-cli: backup DIR\n";
        return kExitUsage;
    }
    if (!ctx.RequireDrive()) return kExitSetup;
    const std::string folder = ctx.args.front();
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

int RunIdle3(CliContext& ctx) {
    std::string set;
    bool bad = false;
    const bool writing = ctx.TakeValue("--set", set, bad);
    if (bad || !ctx.args.empty()) {
        ctx.err << "quillmark-cli: idle3 [--set N]   (N: 0 = off, 1-255)\n";
        return kExitUsage;
    }
    long long value = 0;
    if (writing && (!ParseFieldNumber(set, value) || value < 0 || value > 255)) {
        ctx.err << "quillmark-cli: --set wants 0..255 (decimal, or hex after $)\n";
        return kExitUsage;
    }
    if (!ctx.RequireDrive()) return kExitSetup;
    if (writing && !WriteIdle3Timer(ctx.wb, static_cast<uint8_t>(value))) {
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

}  // namespace qm
