// Module and drive-table commands: read, write (checked, journaled, verified),
// checksum, head count, power-on reset.
#include <cstring>
#include <ostream>

#include "cli/Cli.h"
#include "common/Files.h"
#include "common/Format.h"
#include "drive/Identify.h"
#include "drive/Transport.h"
#include "vendor/ModuleJournal.h"
#include "vendor/Modules.h"
#include "vendor/VendorOps.h"
#include "vendor/Vsc.h"

namespace qm {
namespace {

bool TakeId(CliContext& ctx, const char* what, uint16_t& id) {
    if (ctx.args.empty()) {
        ctx.err << "quillmark-cli: missing " << what << " (hexadecimal)\n";
        return false;
    }
    unsigned long long v = 0;
    if (!ParseHex(ctx.args.front(), v) || v > 0xFFFF) {
        ctx.err << "quillmark-cli: " << what << " '" << ctx.args.front()
                << "' is not a hexadecimal number up to FFFF\n";
        return false;
    }
    id = static_cast<uint16_t>(v);
    ctx.args.erase(ctx.args.begin());
    return true;
}

bool NoMoreArgs(CliContext& ctx) {
    if (ctx.args.empty()) return true;
    ctx.err << "quillmark-cli: unexpected argument '" << ctx.args.front() << "'\n";
    return false;
}

std::string Describe(const ModuleImage& image) {
    return Format("%zu bytes (%zu sectors), %s, checksum %s", image.size(), image.size() / 512,
                  IsRoylImage(image) ? "ROYL" : "older layout",
                  ModuleChecksumValid(image) ? "valid" : "WRONG");
}

bool Load(CliContext& ctx, const std::string& path, ModuleImage& image) {
    std::string error;
    if (ReadFileBytes(path, image, error)) return true;
    ctx.err << "quillmark-cli: " << error << '\n';
    return false;
}

bool Save(CliContext& ctx, const std::string& path, const ModuleImage& image) {
    std::string error;
    if (WriteFileAtomic(path, image, error)) return true;
    ctx.err << "quillmark-cli: " << error << '\n';
    return false;
}

int ModuleRead(CliContext& ctx) {
    uint16_t id = 0;
    std::string out;
    bool bad = false;
    ctx.TakeValue("-o", out, bad);
    if (bad || !TakeId(ctx, "module id", id) || !NoMoreArgs(ctx)) return kExitUsage;
    if (!ctx.RequireDrive()) return kExitSetup;
    ModuleImage image;
    if (!ReadModule(ctx.wb, id, image)) {
        ctx.err << Format("module %04X: read failed, vendor status %04X%s\n", id,
                          VendorStatus(ctx.wb), ctx.wb.link.Aborted() ? " (stopped)" : "");
        return kExitFailed;
    }
    if (out.empty()) out = DefaultModuleFileName(ctx.wb, id);
    if (!Save(ctx, out, image)) return kExitFailed;
    ctx.out << Format("module %04X: %s -> %s\n", id, Describe(image).c_str(), out.c_str());
    return kExitOk;
}

int ModuleWrite(CliContext& ctx) {
    const bool force = ctx.TakeFlag("--force");
    const bool verify = ctx.TakeFlag("--verify");
    uint16_t id = 0;
    if (!TakeId(ctx, "module id", id)) return kExitUsage;
    if (ctx.args.size() != 1) {
        ctx.err << "quillmark-cli: module write ID FILE [--force] [--verify]\n";
        return kExitUsage;
    }
    const std::string path = ctx.args.front();
    ModuleImage image;
    if (!Load(ctx, path, image)) return kExitFailed;
    const std::string problem = CheckModuleImage(image, id);
    if (!problem.empty()) {
        ctx.err << "quillmark-cli: " << path << ": " << problem
                << (force ? " (written anyway: --force)\n"
                          : "; not written (--force to override)\n");
        if (!force || image.empty()) return kExitFailed;
    }
    if (!ctx.RequireDrive()) return kExitSetup;
    Workbench& wb = ctx.wb;
    // The journal files the copies under the drive's model and serial.
    std::memset(wb.link.Sectors(), 0, 512);
    if (IdentifyDevice(wb)) wb.identity = ParseIdentity(wb.link.Sectors());

    ModuleImage current;
    const bool haveCurrent = ReadModule(wb, id, current);
    if (!haveCurrent)
        ctx.err << Format(
            "module %04X: the drive's copy could not be read (status %04X); "
            "the journal notes it\n",
            id, VendorStatus(wb));
    else if (current.size() != image.size()) {
        ctx.err << Format("module %04X: the drive holds %zu bytes, the file %zu", id,
                          current.size(), image.size())
                << (force ? " (written anyway: --force)\n"
                          : "; not written (--force to override)\n");
        if (!force) return kExitFailed;
    }
    FixModuleChecksum(wb, image);
    std::string message;
    if (!WriteModuleJournaled(wb, id, image, haveCurrent ? &current : nullptr, message)) {
        ctx.err << message << '\n';
        return kExitFailed;
    }
    ctx.out << Format("module %04X: %zu bytes written; journal: %s\n", id, image.size(),
                      ModuleJournal(wb).Folder().c_str());
    if (verify) {
        ModuleImage back;
        if (!ReadModule(wb, id, back)) {
            ctx.err << Format("module %04X: verify: read back failed, vendor status %04X\n", id,
                              VendorStatus(wb));
            return kExitFailed;
        }
        if (back != image) {
            size_t at = 0;
            while (at < back.size() && at < image.size() && back[at] == image[at]) ++at;
            ctx.err << Format("module %04X: verify: the drive's copy differs at byte %zu\n", id,
                              at);
            return kExitFailed;
        }
        ctx.out << Format("module %04X: verified, every byte matches\n", id);
    }
    return kExitOk;
}

int ModuleChecksum(CliContext& ctx) {
    const bool fix = ctx.TakeFlag("--fix");
    if (ctx.args.size() != 1) {
        ctx.err << "quillmark-cli: module checksum FILE [--fix]\n";
        return kExitUsage;
    }
    const std::string path = ctx.args.front();
    ModuleImage image;
    if (!Load(ctx, path, image)) return kExitFailed;
    if (image.size() < (IsRoylImage(image) ? 16u : 4u)) {
        ctx.err << "quillmark-cli: " << path << ": too short for a module image\n";
        return kExitFailed;
    }
    const bool valid = ModuleChecksumValid(image);
    ctx.out << path << ": " << Describe(image) << '\n';
    if (valid || !fix) return valid ? kExitOk : kExitFailed;
    FixModuleChecksum(ctx.wb, image);
    if (!Save(ctx, path, image)) return kExitFailed;
    ctx.out << path << ": checksum fixed\n";
    return kExitOk;
}

}  // namespace

int RunModule(CliContext& ctx) {
    if (ctx.args.empty()) {
        ctx.err << "quillmark-cli: module read|write|checksum ...\n";
        return kExitUsage;
    }
    const std::string sub = ctx.args.front();
    ctx.args.erase(ctx.args.begin());
    if (sub == "read") return ModuleRead(ctx);
    if (sub == "write") return ModuleWrite(ctx);
    if (sub == "checksum") return ModuleChecksum(ctx);
    ctx.err << "quillmark-cli: module " << sub << ": unknown (read, write, checksum)\n";
    return kExitUsage;
}

int RunTable(CliContext& ctx) {
    if (ctx.args.empty() || ctx.args.front() != "read") {
        ctx.err << "quillmark-cli: table read ID PARAM [-o FILE]\n";
        return kExitUsage;
    }
    ctx.args.erase(ctx.args.begin());
    std::string out;
    bool bad = false;
    ctx.TakeValue("-o", out, bad);
    uint16_t table = 0, param = 0;
    if (bad || !TakeId(ctx, "table id", table) || !TakeId(ctx, "table parameter", param) ||
        !NoMoreArgs(ctx))
        return kExitUsage;
    if (!ctx.RequireDrive()) return kExitSetup;
    ModuleImage image;
    if (!ReadDriveTable(ctx.wb, table, param, image)) {
        ctx.err << Format("table %02X/%04X: read failed, vendor status %04X\n", table, param,
                          VendorStatus(ctx.wb));
        return kExitFailed;
    }
    if (out.empty()) out = Format("%02X-%04X.bin", table, param);
    if (!Save(ctx, out, image)) return kExitFailed;
    ctx.out << Format("table %02X/%04X: %zu bytes -> %s\n", table, param, image.size(),
                      out.c_str());
    return kExitOk;
}

int RunHeads(CliContext& ctx) {
    if (!NoMoreArgs(ctx)) return kExitUsage;
    if (!ctx.RequireDrive()) return kExitSetup;
    const uint8_t heads = ReadHeadCount(ctx.wb);
    if (heads == 0) {
        ctx.err << "heads: neither module 0A nor the configuration table could be read\n";
        return kExitFailed;
    }
    ctx.out << "Heads: " << int(heads) << '\n';
    return kExitOk;
}

int RunReset(CliContext& ctx) {
    if (!NoMoreArgs(ctx)) return kExitUsage;
    if (!ctx.RequireDrive()) return kExitSetup;
    // Failures are logged by the command itself, as in the main window.
    if (!PowerOnResetCommand(ctx.wb)) return kExitFailed;
    ctx.out << "Power On Reset Immediate: done\n";
    return kExitOk;
}

}  // namespace qm
