// m21: module 0x21 from the command line, as the module 21 editor shows and
// edits it: the directory and attribute list, a section's bytes to or from a
// file, hiding, showing or rewriting an attribute, find and replace in a
// section. A changed module goes to -o FILE, back to the --in file, or back
// to the drive through the checked, journaled module write.
#include <CLI/CLI.hpp>
#include <cstring>
#include <memory>
#include <optional>
#include <ostream>

#include "cli/Cli.h"
#include "cli/CliArgs.h"
#include "cli/CliJson.h"
#include "common/Files.h"
#include "common/Format.h"
#include "drive/Identify.h"
#include "drive/Transport.h"
#include "hexview/HexModel.h"
#include "module21/Drm21.h"
#include "module21/FindReplace.h"
#include "smart/Cp1252.h"
#include "vendor/ModuleJournal.h"
#include "vendor/Modules.h"
#include "vendor/Vsc.h"

namespace qm {
namespace {

// Where the module comes from and where a changed one goes.
struct Source {
    std::string in;   // --in FILE: a module file instead of the drive
    std::string out;  // -o OUT
    bool dryRun = false;
};

void AddSource(CLI::App* cmd, Source& s, bool writes) {
    cmd->add_option("--in", s.in, "a module file instead of module 0x21 on the drive")
        ->type_name("FILE");
    if (!writes) return;
    cmd->add_option("-o", s.out, "write the changed module to this file")->type_name("OUT");
    cmd->add_flag("--dry-run", s.dryRun, "change nothing, only say what would happen");
}

void Warn(CliContext& ctx, const std::vector<std::string>& problems) {
    for (const std::string& p : problems) ctx.err << "quillmark-cli: m21: " << p << '\n';
}

// The module from --in or from the drive; the exit code when it fails.
int LoadModule(CliContext& ctx, const Source& s, std::vector<uint8_t>& image) {
    if (!s.in.empty()) {
        std::string error;
        if (!ReadFileBytes(s.in, image, error)) {
            ctx.err << "quillmark-cli: " << error << '\n';
            return kExitFailed;
        }
        if (image.empty()) {
            ctx.err << "quillmark-cli: " << s.in << ": the file is empty\n";
            return kExitFailed;
        }
        return kExitOk;
    }
    if (!ctx.RequireDrive()) return kExitSetup;
    if (!ReadModule(ctx.wb, kDrmModuleId, image)) {
        ctx.err << Format("module 0021: read failed, vendor status %04X%s\n", VendorStatus(ctx.wb),
                          ctx.wb.link.Aborted() ? " (stopped)" : "");
        return kExitFailed;
    }
    return kExitOk;
}

// The changed module to -o, back to --in, or back to the drive.
int StoreModule(CliContext& ctx, const Source& s, std::vector<uint8_t>& image) {
    if (s.dryRun) {
        ctx.out << "module 0021: not written (--dry-run)\n";
        return kExitOk;
    }
    const std::string file = !s.out.empty() ? s.out : s.in;
    if (!file.empty()) {
        FixModuleChecksum(ctx.wb, image);
        std::string error;
        if (!WriteFileAtomic(file, image, error)) {
            ctx.err << "quillmark-cli: " << error << '\n';
            return kExitFailed;
        }
        ctx.out << Format("module 0021: %zu bytes -> %s\n", image.size(), file.c_str());
        return kExitOk;
    }
    Workbench& wb = ctx.wb;
    // The journal files the copies under the drive's model and serial.
    std::memset(wb.link.Sectors(), 0, 512);
    if (IdentifyDevice(wb)) wb.identity = ParseIdentity(wb.link.Sectors());
    std::string message;
    if (!WriteDrmToDrive(wb, image, message)) {
        ctx.err << message << '\n';
        return kExitFailed;
    }
    ctx.out << Format("module 0021: %zu bytes written; journal: %s\n", image.size(),
                      ModuleJournal(wb).Folder().c_str());
    return kExitOk;
}

// "SEC" or "SEC.SUB".
struct ViewArg {
    std::string text;
    int section = 0, sub = -1;
};

bool ParseViewArg(ViewArg& v) {
    const size_t dot = v.text.find('.');
    long long sec = 0, sub = -1;
    if (!ParseFieldNumber(v.text.substr(0, dot), sec) || sec < 1 || sec > kDrmMaxEntries)
        return false;
    if (dot != std::string::npos &&
        (!ParseFieldNumber(v.text.substr(dot + 1), sub) || sub < 0 || sub >= kDrmMaxEntries))
        return false;
    v.section = static_cast<int>(sec);
    v.sub = static_cast<int>(sub);
    return true;
}

void AddViewArg(CLI::App* cmd, ViewArg& v) {
    cmd->add_option_function<std::string>(
           "SEC",
           [&v](const std::string& text) {
               v.text = text;
               if (!ParseViewArg(v))
                   throw CLI::ValidationError(
                       "SEC is a section number from 1 (SEC.SUB: a subsection from 0), not '" +
                       text + "'");
           },
           "section number, or SEC.SUB for one of its subsections")
        ->required()
        ->type_name("SEC[.SUB]");
}

// The module, its directory and the view; the exit code when one fails.
struct Loaded {
    std::vector<uint8_t> image;
    DrmDirectory dir;
    DrmView view;
};

int LoadView(CliContext& ctx, const Source& s, const ViewArg& v, Loaded& m) {
    if (int rc = LoadModule(ctx, s, m.image)) return rc;
    m.dir = ParseDrmDirectory(m.image);
    Warn(ctx, m.dir.problems);
    std::string why;
    if (!ResolveDrmView(m.image.data(), m.image.size(), m.dir, v.section, v.sub, m.view, why)) {
        ctx.err << why << '\n';
        return kExitFailed;
    }
    return kExitOk;
}

// A changed pane over the view, by the rules of "Write": shorter is written
// over the view's start, longer is refused unless cut.
int PaneToView(CliContext& ctx, Loaded& m, const ByteBlock& pane, bool cut) {
    std::string why;
    if (pane.size() > m.view.size && !cut) {
        ctx.err << Format(
            "%zu bytes do not fit the %u bytes of the section; nothing written "
            "(--cut writes the first %u)\n",
            pane.size(), m.view.size, m.view.size);
        return kExitFailed;
    }
    if (!CopyPaneToDrmView(m.image, m.view, pane.data(), pane.size(), cut, why)) {
        ctx.err << why << '\n';
        return kExitFailed;
    }
    if (pane.size() < m.view.size)
        ctx.err << Format("%zu of %u bytes replaced; the rest keeps its old bytes\n", pane.size(),
                          m.view.size);
    return kExitOk;
}

std::string ItemName(const DrmDirectory& dir, int section) {
    return Trim(dir.Section(section)->item);
}

// ------------------------------------------------------------------ show

struct ShowArgs {
    Source src;
    bool json = false, copy = false, decimal = false;
};

std::string SectionStatus(const DrmSectionInfo& info, const DrmSection& s) {
    if (s.empty()) return "empty";
    if (!s.inImage) return "leaves the image";
    if (!info.readable) return info.problems.empty() ? std::string() : info.problems[0];
    return info.label;
}

Json RowTextJson(const DrmRowText& t) {
    return {{"id", Cp1252ToUtf8(t.id)}, {"value", t.value},           {"worst", t.worst},
            {"threshold", t.threshold}, {"raw", Cp1252ToUtf8(t.raw)}, {"flags", t.flags}};
}

int RunShow(CliContext& ctx, const ShowArgs& a) {
    std::vector<uint8_t> image;
    std::optional<JsonCapture> capture;
    if (a.json) capture.emplace(ctx.host);
    if (int rc = LoadModule(ctx, a.src, image)) return rc;
    const DrmDirectory dir = ParseDrmDirectory(image);
    std::vector<std::string> problems = dir.problems;
    std::vector<DrmSectionInfo> infos;
    for (const DrmSection& s : dir.sections) {
        infos.push_back(ParseDrmSection(image.data(), image.size(), s));
        problems.insert(problems.end(), infos.back().problems.begin(), infos.back().problems.end());
    }
    const DrmAttributeTable table = LocateDrmAttributes(image.data(), image.size(), dir);
    problems.insert(problems.end(), table.problems.begin(), table.problems.end());
    const std::vector<DrmAttribute> rows = DecodeDrmAttributes(table);

    if (a.json) {
        Json body;
        body["royl"] = dir.royl;
        body["bodyOffset"] = dir.bodyOffset;
        body["formatVersion"] = dir.version;
        body["format"] = dir.label();
        body["sectionCount"] = dir.declaredCount;
        body["checksumValid"] = ModuleChecksumValid(image);
        body["problems"] = Json::array();
        for (const std::string& p : problems) body["problems"].push_back(Cp1252ToUtf8(p));
        Json sections = Json::array();
        for (size_t i = 0; i < dir.sections.size(); ++i) {
            const DrmSection& s = dir.sections[i];
            const DrmSectionInfo& info = infos[i];
            Json j = {{"number", s.number}, {"item", Cp1252ToUtf8(s.item)},
                      {"name", s.name},     {"offset", s.offset},
                      {"size", s.size},     {"empty", s.empty()}};
            if (info.readable) {
                j["version"] = info.version;
                j["subsectionWidth"] = info.width;
                j["subsectionCount"] = info.declaredCount;
                j["label"] = info.label;
                Json subs = Json::array();
                for (const DrmSubsection& sub : info.subsections)
                    subs.push_back(
                        {{"index", sub.index}, {"offset", sub.offset}, {"size", sub.size}});
                j["subsections"] = std::move(subs);
            }
            sections.push_back(std::move(j));
        }
        body["sections"] = std::move(sections);
        if (!table.present) {
            body["attributes"] = nullptr;
        } else {
            Json att = {{"label", table.label},
                        {"layout", table.drm2Layout ? "DRM2" : "STD"},
                        {"sectionVersion", table.sectionVersion},
                        {"dataOffset", table.dataOffset},
                        {"dataSize", table.dataSize},
                        {"thresholdOffset", table.thresholdOffset},
                        {"thresholdSize", table.thresholdSize}};
            Json list = Json::array();
            for (const DrmAttribute& r : rows) {
                const DrmRowText hex = MakeDrmRowText(r, true), dec = MakeDrmRowText(r, false);
                list.push_back({{"slot", r.slot},
                                {"slotOffset", r.slotOffset},
                                {"id", r.id},
                                {"name", Cp1252ToUtf8(hex.name)},
                                {"flagsWord", r.flagsWord},
                                {"value", r.value},
                                {"worst", r.worst},
                                {"threshold", r.threshold},
                                {"raw", r.raw},
                                {"hidden", r.hidden()},
                                {"checked", !r.hidden()},
                                {"health", hex.health},
                                {"hexText", RowTextJson(hex)},
                                {"decText", RowTextJson(dec)}});
            }
            att["rows"] = std::move(list);
            body["attributes"] = std::move(att);
        }
        capture->AddTo(body);
        WriteJson(ctx.out, body);
        return kExitOk;
    }

    Warn(ctx, problems);
    std::string copy;
    for (const DrmAttribute& r : rows) copy += DrmCopyLine(MakeDrmRowText(r, !a.decimal));
    if (a.copy) {
        ctx.out << Cp1252ToUtf8(copy);
        return kExitOk;
    }
    std::string text = std::string(dir.label()) + "\n";
    for (size_t i = 0; i < dir.sections.size(); ++i) {
        const DrmSection& s = dir.sections[i];
        text += Format("%-32s %08X %8u  %s\n", Trim(s.item).c_str(), s.offset, s.size,
                       SectionStatus(infos[i], s).c_str());
        for (const DrmSubsection& sub : infos[i].subsections)
            text += Format("  %-30s %08X %8u\n", Format("Subsection %d", sub.index).c_str(),
                           sub.offset, sub.size);
    }
    text += table.present ? table.label + "\n" + copy : std::string("no attribute table\n");
    ctx.out << Cp1252ToUtf8(text);
    return kExitOk;
}

// ------------------------------------------------------------------ section save / load

struct SectionArgs {
    Source src;
    ViewArg view;
    std::string file;  // load: the bytes
    bool cut = false;
};

int RunSectionSave(CliContext& ctx, const SectionArgs& a) {
    Loaded m;
    if (int rc = LoadView(ctx, a.src, a.view, m)) return rc;
    const std::string name = ItemName(m.dir, a.view.section);
    const std::string out = a.src.out.empty() ? name + ".bin" : a.src.out;
    std::string error;
    if (!WriteFileAtomic(out, m.image.data() + m.view.offset, m.view.size, error)) {
        ctx.err << "quillmark-cli: " << error << '\n';
        return kExitFailed;
    }
    ctx.out << Format("%s: %u bytes -> %s\n", name.c_str(), m.view.size, out.c_str());
    return kExitOk;
}

int RunSectionLoad(CliContext& ctx, SectionArgs& a) {
    std::vector<uint8_t> bytes;
    std::string error;
    if (!ReadFileBytes(a.file, bytes, error)) {
        ctx.err << "quillmark-cli: " << error << '\n';
        return kExitFailed;
    }
    Loaded m;
    if (int rc = LoadView(ctx, a.src, a.view, m)) return rc;
    if (int rc = PaneToView(ctx, m, bytes, a.cut)) return rc;
    return StoreModule(ctx, a.src, m.image);
}

// ------------------------------------------------------------------ attr

struct AttrArgs {
    Source src;
    std::optional<int> slot, id;
    bool hide = false, show = false;
    std::string entry;
};

std::string Bytes12(const uint8_t* p) {
    std::string s;
    for (size_t i = 0; i < kDrmSlotSize; ++i) s += Format(i ? " %02X" : "%02X", p[i]);
    return s;
}

int RunAttr(CliContext& ctx, AttrArgs& a) {
    if (!a.slot == !a.id || (a.hide + a.show + !a.entry.empty()) != 1) {
        ctx.err << "quillmark-cli: m21 attr wants --slot K or --id ID, and one of --hide, "
                   "--show, --entry HEX\n";
        return kExitUsage;
    }
    ByteBlock entry;
    if (!a.entry.empty()) {
        HexModel strict;
        if (!strict.fromHexText(a.entry, entry) || entry.size() != kDrmSlotSize) {
            ctx.err << "quillmark-cli: --entry wants exactly 12 bytes of hex text, not '" << a.entry
                    << "'\n";
            return kExitUsage;
        }
    }
    std::vector<uint8_t> image;
    if (int rc = LoadModule(ctx, a.src, image)) return rc;
    const DrmDirectory dir = ParseDrmDirectory(image);
    Warn(ctx, dir.problems);
    const DrmAttributeTable table = LocateDrmAttributes(image.data(), image.size(), dir);
    Warn(ctx, table.problems);
    if (!table.present) {
        ctx.err << "no attribute table\n";
        return kExitFailed;
    }
    const std::vector<DrmAttribute> rows = DecodeDrmAttributes(table);
    const DrmAttribute* row = nullptr;
    for (const DrmAttribute& r : rows) {
        if (a.slot && r.slot != *a.slot) continue;
        if (a.id && r.id != *a.id) continue;
        if (row) {
            ctx.err << Format("id %d is in slots %d and %d: name the row with --slot\n", *a.id,
                              row->slot, r.slot);
            return kExitUsage;
        }
        row = &r;
    }
    if (!row) {
        ctx.err << (a.slot ? Format("slot %d holds no listed attribute\n", *a.slot)
                           : Format("no attribute with id %d\n", *a.id));
        return kExitFailed;
    }
    if (!entry.empty()) {
        const std::string before = Bytes12(image.data() + row->slotOffset);
        if (!WriteDrmAttributeEntry(image, table, row->slot, entry.data())) return kExitFailed;
        ctx.out << Format("slot %d id %d: %s -> %s\n", row->slot, row->id, before.c_str(),
                          Bytes12(image.data() + row->slotOffset).c_str());
    } else {
        uint16_t before = 0, after = 0;
        if (!SetDrmAttributeHidden(image, table, row->slot, a.hide, &before, &after))
            return kExitFailed;
        ctx.out << Format("slot %d id %d: flags %s -> %s\n", row->slot, row->id,
                          DrmFlagsWordText(before).c_str(), DrmFlagsWordText(after).c_str());
    }
    return StoreModule(ctx, a.src, image);
}

// ------------------------------------------------------------------ find / replace

struct SearchArgs {
    Source src;
    ViewArg view;
    std::string pattern, replacement;
    bool text = false, hex = false, rtext = false, rhex = false;
    bool ignoreCase = false, all = false, json = false, cut = false;
    std::optional<long long> at;
};

TextCheck CheckOf(bool text, bool hex) {
    return text ? TextCheck::Checked : hex ? TextCheck::Unchecked : TextCheck::Undecided;
}

std::string HexOf(const ByteBlock& b) {
    std::string s;
    for (uint8_t x : b) s += Format("%02X", x);
    return s;
}

// The view's bytes as the pane, the cursor at OFF.
bool MakePane(CliContext& ctx, const Loaded& m, const SearchArgs& a, HexModel& pane) {
    pane.load(m.image.data() + m.view.offset, m.view.size);
    const long long at = a.at.value_or(0);
    if (at > 0 && at >= static_cast<long long>(m.view.size)) {
        ctx.err << Format("--at %lld is past the %u bytes of the section\n", at, m.view.size);
        return false;
    }
    pane.setCursorPosition(at);
    return true;
}

int RunFind(CliContext& ctx, SearchArgs& a) {
    Loaded m;
    std::optional<JsonCapture> capture;
    if (a.json) capture.emplace(ctx.host);
    if (int rc = LoadView(ctx, a.src, a.view, m)) return rc;
    HexModel pane;
    if (!MakePane(ctx, m, a, pane)) return kExitUsage;
    FindRecord r;
    FindDialogOut(r, {a.pattern, CheckOf(a.text, a.hex), a.ignoreCase});
    const bool any = PrepareFind(r, pane);
    Json matches = Json::array();
    std::string lines;
    SearchResult s;
    if (any) s = FindNext(pane, r);
    for (; s.outcome == SearchOutcome::Found; s = a.all ? FindNext(pane, r) : SearchResult{}) {
        matches.push_back({{"offset", s.position},
                           {"imageOffset", m.view.offset + s.position},
                           {"length", s.length}});
        lines += Format(
            "Match at 0x%08llX (image 0x%08llX), length %lld\n", static_cast<long long>(s.position),
            static_cast<long long>(m.view.offset + s.position), static_cast<long long>(s.length));
    }
    if (s.outcome == SearchOutcome::UnitError) {
        ctx.err << kSearchUnitText << '\n';
        return kExitFailed;
    }
    if (a.json) {
        const ByteBlock needle = r.isText ? pane.textToBytes(a.pattern, r.ignoreCase) : r.data;
        Json body = {{"isText", r.isText},
                     {"bytes", HexOf(needle)},
                     {"ignoreCase", r.ignoreCase},
                     {"view", {{"offset", m.view.offset}, {"size", m.view.size}}},
                     {"matches", matches}};
        capture->AddTo(body);
        WriteJson(ctx.out, body);
    } else {
        ctx.out << (matches.empty() ? std::string(kNoMatchText) + "\n" : lines);
    }
    return matches.empty() ? kExitFailed : kExitOk;
}

int ReportRefusal(CliContext& ctx, const ReplaceResult& res) {
    if (res.outcome == ReplaceOutcome::NoMatch)
        ctx.out << kNoMatchText << '\n';
    else
        ctx.err << res.message << '\n';
    return kExitFailed;
}

int RunReplaceCmd(CliContext& ctx, SearchArgs& a) {
    Loaded m;
    if (int rc = LoadView(ctx, a.src, a.view, m)) return rc;
    HexModel pane;
    ReplaceRecord r;
    ReplaceDialogOut(r, {a.pattern, a.replacement, CheckOf(a.text, a.hex), CheckOf(a.rtext, a.rhex),
                         a.ignoreCase, a.all});
    if (a.all) {
        // "Replace All" from the start, in one pass. A replacement no longer
        // than what it replaces is done right in the module's bytes: the
        // same bytes as the pane written back, without copying 8 MiB twice.
        ByteBlock needle, replacement;
        ReplaceResult refusal;
        if (!PrepareReplace(pane, r, needle, replacement, refusal))
            return ReportRefusal(ctx, refusal);
        int64_t count = 0;
        if (replacement.size() <= needle.size()) {
            size_t newSize = 0;
            count = ReplaceAllInPlace(m.image.data() + m.view.offset, m.view.size, needle,
                                      replacement, r.ignoreCase, newSize);
            if (count && newSize < m.view.size)
                ctx.err << Format("%zu of %u bytes replaced; the rest keeps its old bytes\n",
                                  newSize, m.view.size);
        } else {
            pane.load(m.image.data() + m.view.offset, m.view.size);
            count = pane.replaceAll(needle, replacement, r.ignoreCase);
        }
        if (count == 0) return ReportRefusal(ctx, {});
        ctx.out << Format(kReplacementsFormat, static_cast<int>(count)) << '\n';
        if (replacement.size() > needle.size())
            if (int rc = PaneToView(ctx, m, pane.bytes(), a.cut)) return rc;
        return StoreModule(ctx, a.src, m.image);
    }
    if (!MakePane(ctx, m, a, pane)) return kExitUsage;
    const ReplaceResult res = RunReplace(pane, r);
    if (res.outcome != ReplaceOutcome::Replaced) return ReportRefusal(ctx, res);
    ctx.out << Format("Replaced at 0x%08llX (image 0x%08llX)\n",
                      static_cast<long long>(res.position),
                      static_cast<long long>(m.view.offset + res.position));
    if (int rc = PaneToView(ctx, m, pane.bytes(), a.cut)) return rc;
    return StoreModule(ctx, a.src, m.image);
}

void AddPatternOptions(CLI::App* cmd, SearchArgs& a) {
    CLI::Option* text = cmd->add_flag("--text", a.text, "PATTERN is text");
    cmd->add_flag("--hex", a.hex, "PATTERN is hex data")->excludes(text);
    cmd->add_flag("--ignore-case", a.ignoreCase, "ignore case (hex data too)");
}

}  // namespace

void AddM21Commands(CliCommands& commands) {
    CLI::App* m21 =
        commands.AddGroup("m21", "module 0x21: sections, S.M.A.R.T. attributes, find and replace");

    auto show = std::make_shared<ShowArgs>();
    CLI::App* cmd = commands.Add(m21, "show", "the directory, the sections and the attribute list",
                                 [show](CliContext& ctx) { return RunShow(ctx, *show); });
    AddSource(cmd, show->src, false);
    CLI::Option* json = cmd->add_flag("--json", show->json, "one JSON object with everything");
    CLI::Option* copy =
        cmd->add_flag("--copy", show->copy, "only the attribute list's Copy text")->excludes(json);
    cmd->add_flag("--decimal", show->decimal, "attribute values in decimal")->excludes(json);
    (void)copy;

    CLI::App* section = commands.AddGroup("section", "a section's bytes to or from a file", m21);
    auto save = std::make_shared<SectionArgs>();
    cmd = commands.Add(section, "save", "write a section's bytes to a file",
                       [save](CliContext& ctx) { return RunSectionSave(ctx, *save); });
    AddViewArg(cmd, save->view);
    cmd->add_option("--in", save->src.in, "a module file instead of module 0x21 on the drive")
        ->type_name("FILE");
    cmd->add_option("-o", save->src.out, "the file (default: the section's name + .bin)")
        ->type_name("OUT");

    auto load = std::make_shared<SectionArgs>();
    cmd = commands.Add(section, "load", "put a file's bytes over a section",
                       [load](CliContext& ctx) { return RunSectionLoad(ctx, *load); });
    AddViewArg(cmd, load->view);
    cmd->add_option("BINFILE", load->file, "the bytes")->required();
    cmd->add_flag("--cut", load->cut, "a longer file: write only the section's size");
    AddSource(cmd, load->src, true);

    auto attr = std::make_shared<AttrArgs>();
    cmd = commands.Add(m21, "attr", "hide, show or rewrite one S.M.A.R.T. attribute",
                       [attr](CliContext& ctx) { return RunAttr(ctx, *attr); });
    CLI::Option* slot =
        AddNumber(cmd, "--slot", attr->slot, "the attribute's slot", 0, kDrmSlots - 1);
    CLI::Option* id = AddNumber(cmd, "--id", attr->id, "the attribute's id", 1, 255);
    slot->excludes(id);
    CLI::Option* hide = cmd->add_flag("--hide", attr->hide, "hide it (set flag bit 7)");
    CLI::Option* shw = cmd->add_flag("--show", attr->show, "show it (clear flag bit 7)");
    CLI::Option* entry =
        cmd->add_option("--entry", attr->entry, "its 12 bytes as hex text")->type_name("HEX");
    hide->excludes(shw)->excludes(entry);
    shw->excludes(entry);
    AddSource(cmd, attr->src, true);

    auto find = std::make_shared<SearchArgs>();
    cmd = commands.Add(m21, "find", "find text or hex data in a section",
                       [find](CliContext& ctx) { return RunFind(ctx, *find); });
    AddViewArg(cmd, find->view);
    cmd->add_option("PATTERN", find->pattern, "text or hex data")->required();
    AddPatternOptions(cmd, *find);
    AddNumber(cmd, "--at", find->at, "where the search starts in the section", 0, 0xFFFFFFFF);
    cmd->add_flag("--all", find->all, "every match (Find Next until none is left)");
    cmd->add_flag("--json", find->json, "one JSON object with the matches");
    AddSource(cmd, find->src, false);

    auto rep = std::make_shared<SearchArgs>();
    cmd = commands.Add(m21, "replace", "replace text or hex data in a section",
                       [rep](CliContext& ctx) { return RunReplaceCmd(ctx, *rep); });
    AddViewArg(cmd, rep->view);
    cmd->add_option("PATTERN", rep->pattern, "text or hex data")->required();
    cmd->add_option("REPLACEMENT", rep->replacement, "text or hex data ('' deletes)")->required();
    AddPatternOptions(cmd, *rep);
    CLI::Option* rtext = cmd->add_flag("--rtext", rep->rtext, "REPLACEMENT is text");
    cmd->add_flag("--rhex", rep->rhex, "REPLACEMENT is hex data")->excludes(rtext);
    CLI::Option* all = cmd->add_flag("--all", rep->all, "every match, from the start");
    AddNumber(cmd, "--at", rep->at, "where the search starts in the section", 0, 0xFFFFFFFF)
        ->excludes(all);
    cmd->add_flag("--cut", rep->cut, "a section grown longer: write only its size");
    AddSource(cmd, rep->src, true);
}

}  // namespace qm
