// Module and drive-table commands: read, write (checked, journaled, verified),
// checksum, head count, power-on reset.
#include <CLI/CLI.hpp>
#include <cstring>
#include <memory>
#include <ostream>

#include "cli/Cli.h"
#include "cli/CliArgs.h"
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

struct ModuleArgs {
    uint16_t id = 0;
    std::string file;  // read: -o; write, checksum: the image
    bool force = false, verify = false, fix = false;
};

int ModuleRead(CliContext& ctx, const ModuleArgs& a) {
    const uint16_t id = a.id;
    std::string out = a.file;
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

int ModuleWrite(CliContext& ctx, const ModuleArgs& a) {
    const bool force = a.force, verify = a.verify;
    const uint16_t id = a.id;
    const std::string& path = a.file;
    ModuleImage image;
    if (!Load(ctx, path, image)) return kExitFailed;
    const std::string problem = CheckModuleImage(image, id);
    if (!problem.empty()) {
        ctx.err << "quillmark-cli: " << path << ": " << problem
                << (force ? "; --force: written if the drive takes it\n"
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
        // A module is only ever written whole: a shorter image would leave
        // stale bytes in the module, a longer one would be cut short, so
        // --force does not override this one.
        ctx.err << Format("module %04X: the drive holds %zu bytes, the file %zu; not written\n", id,
                          current.size(), image.size());
        return kExitFailed;
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

int ModuleChecksum(CliContext& ctx, const ModuleArgs& a) {
    const bool fix = a.fix;
    const std::string& path = a.file;
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

struct TableArgs {
    uint16_t table = 0, param = 0;
    std::string out;
};

int TableRead(CliContext& ctx, const TableArgs& a) {
    const uint16_t table = a.table, param = a.param;
    std::string out = a.out;
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
    if (!ctx.RequireDrive()) return kExitSetup;
    // Failures are logged by the command itself, as in the main window.
    if (!PowerOnResetCommand(ctx.wb)) return kExitFailed;
    ctx.out << "Power On Reset Immediate: done\n";
    return kExitOk;
}

}  // namespace

void AddModuleCommands(CliCommands& commands) {
    CLI::App* module = commands.AddGroup("module", "service-area modules: read, write, checksum");
    auto read = std::make_shared<ModuleArgs>();
    CLI::App* cmd = commands.Add(module, "read", "read a service-area module into a file",
                                 [read](CliContext& ctx) { return ModuleRead(ctx, *read); });
    AddHex(cmd, "ID", read->id, "module id", 0xFFFF)->required();
    cmd->add_option("-o", read->file, "the file (default: the module's usual file name)")
        ->type_name("FILE");

    auto write = std::make_shared<ModuleArgs>();
    cmd = commands.Add(module, "write", "check, journal and write a module file",
                       [write](CliContext& ctx) { return ModuleWrite(ctx, *write); });
    AddHex(cmd, "ID", write->id, "module id", 0xFFFF)->required();
    cmd->add_option("FILE", write->file, "the module image")->required();
    cmd->add_flag("--force", write->force, "write even when the image's checks fail");
    cmd->add_flag("--verify", write->verify, "read the module back and compare every byte");

    auto sum = std::make_shared<ModuleArgs>();
    cmd = commands.Add(module, "checksum", "check (or fix) a module file's checksum",
                       [sum](CliContext& ctx) { return ModuleChecksum(ctx, *sum); });
    cmd->add_option("FILE", sum->file, "the module image")->required();
    cmd->add_flag("--fix", sum->fix, "put a wrong checksum right, in the file");

    CLI::App* table = commands.AddGroup("table", "drive tables: read");
    auto tab = std::make_shared<TableArgs>();
    cmd = commands.Add(table, "read", "read a drive table into a file",
                       [tab](CliContext& ctx) { return TableRead(ctx, *tab); });
    AddHex(cmd, "ID", tab->table, "table id", 0xFFFF)->required();
    AddHex(cmd, "PARAM", tab->param, "table parameter", 0xFFFF)->required();
    cmd->add_option("-o", tab->out, "the file (default: ID-PARAM.bin)")->type_name("FILE");

    commands.Add("heads", "head count from module 0A or the configuration table", RunHeads);
    commands.Add("reset", "Power On Reset Immediate", RunReset);
}

}  // namespace qm
