// Defect lists, zone tables and the defect map: `defects list`, `defects
// zones HEAD`, `defects map`.
#include <CLI/CLI.hpp>
#include <map>
#include <memory>
#include <optional>
#include <ostream>
#include <sstream>

#include "cli/Cli.h"
#include "cli/CliArgs.h"
#include "cli/CliJson.h"
#include "common/Files.h"
#include "common/Format.h"
#include "defects/DefectList.h"
#include "defects/DefectMap.h"
#include "drive/Identify.h"
#include "drive/Transport.h"
#include "smart/Cp1252.h"
#include "vendor/Modules.h"
#ifdef QM_CLI_PICTURES
#include "render/JpegWriter.h"
#include "render/OffscreenGui.h"
#include "render/QtCanvas.h"
#endif

namespace qm {
namespace {

const char* ListName(DefectListKind kind) {
    return kind == DefectListKind::PList ? "P-List" : "G-List";
}

// ---------------------------------------------------------------------------
// defects list

struct ListArgs {
    bool glist = false, json = false;
    std::string file;
};

int RunList(CliContext& ctx, const ListArgs& a) {
    const DefectListKind kind = a.glist ? DefectListKind::GList : DefectListKind::PList;
    if (a.file.empty() && !ctx.RequireDrive()) return kExitSetup;
    // --file is the file the user would pick with SHIFT held.
    ctx.host.shift = !a.file.empty();
    ctx.host.openFile = a.file;
    std::optional<JsonCapture> capture;
    if (a.json) capture.emplace(ctx.host);
    DefectListHeader h;
    const uint32_t count = LoadDefectList(ctx.wb, kind, &h);
    const std::vector<TDefectEntry>& entries = ctx.wb.defects.defects;
    if (capture) {
        Json body;
        body["list"] = ListName(kind);
        body["royl"] = ctx.wb.defects.roylFormat;
        body["dataOffset"] = h.read ? Json(h.dataOffset) : Json();
        body["count"] = count;
        Json rows = Json::array();
        for (const TDefectEntry& e : entries) rows.push_back({e.cylinder, e.head, e.first, e.last});
        body["entries"] = std::move(rows);
        capture->AddTo(body);
        WriteJson(ctx.out, body);
    } else if (h.read) {
        ctx.out << Format("%s: %u entries, %s layout, data at %zu\n", ListName(kind), count,
                          h.royl ? "ROYL" : "older", h.dataOffset);
        if (entries.size() < count)
            ctx.out << Format("(the image holds %zu of them)\n", entries.size());
        ctx.out << "#  Cylinder  Head  First  Last\n";
        for (size_t j = 0; j < entries.size(); ++j) {
            const TDefectEntry& e = entries[j];
            const std::string last = e.last == kWholeTrack ? "Track" : std::to_string(e.last);
            ctx.out << Format("%zu  %u  %u  %u  %s\n", j, e.cylinder, e.head, e.first,
                              last.c_str());
        }
    }
    if (!h.read) {
        if (!a.file.empty()) ctx.err << "quillmark-cli: " << a.file << ": no defect list\n";
        return kExitFailed;
    }
    return kExitOk;
}

// ---------------------------------------------------------------------------
// defects zones

struct ZonesArgs {
    int head = 0;
    bool older = false, json = false;
    std::string file, lookup;
};

int RunZones(CliContext& ctx, const ZonesArgs& a) {
    std::vector<long long> cylinders;
    if (!a.lookup.empty() && !ParseCliNumberList(a.lookup, 0, 0xFFFFFFFF, cylinders)) {
        ctx.err << "quillmark-cli: --lookup wants cylinders 0..4294967295, e.g. 100,$2000\n";
        return kExitUsage;
    }
    if (a.file.empty() && !ctx.RequireDrive()) return kExitSetup;
    ctx.wb.defects.roylFormat = !a.older;
    ctx.host.shift = !a.file.empty();
    ctx.host.openFile = a.file;
    std::optional<JsonCapture> capture;
    if (a.json) capture.emplace(ctx.host);
    const int count = LoadZoneTable(ctx.wb, static_cast<uint8_t>(a.head));
    const DefectTables& t = ctx.wb.defects;
    if (capture) {
        Json body;
        body["head"] = a.head;
        body["royl"] = t.roylFormat;
        body["count"] = count;
        Json zones = Json::array();
        for (int z = 0; z < count; ++z) {
            const TZoneEntry& e = t.zones[static_cast<size_t>(z)];
            zones.push_back({{"start", e.start}, {"end", e.end}, {"spt", e.sectorsPerTrack}});
        }
        body["zones"] = std::move(zones);
        Json lookups = Json::array();
        for (long long c : cylinders) {
            const uint32_t cyl = static_cast<uint32_t>(c);
            const ZoneMatch m = FindZone(t, cyl);
            lookups.push_back({{"cylinder", cyl},
                               {"spt", ZoneSectorsPerTrack(t, cyl)},
                               {"found", m.found},
                               {"zone", m.zone}});
        }
        body["lookup"] = std::move(lookups);
        capture->AddTo(body);
        WriteJson(ctx.out, body);
    } else {
        ctx.out << Format("Head %d: %d zones, %s layout\n", a.head, count,
                          t.roylFormat ? "ROYL" : "older");
        if (count > 0) ctx.out << "Zone  Start  End  SPT\n";
        for (int z = 0; z < count; ++z) {
            const TZoneEntry& e = t.zones[static_cast<size_t>(z)];
            ctx.out << Format("%d  %u  %u  %u\n", z, e.start, e.end, e.sectorsPerTrack);
        }
        for (long long c : cylinders) {
            const uint32_t cyl = static_cast<uint32_t>(c);
            const ZoneMatch m = FindZone(t, cyl);
            ctx.out << Format("Cylinder %u: %u sectors per track", cyl, ZoneSectorsPerTrack(t, cyl))
                    << (m.found ? Format(", zone %d\n", m.zone) : std::string(", no zone found\n"));
        }
    }
    if (count == 0) {
        ctx.err << Format("quillmark-cli: head %d: no zone table read\n", a.head);
        return kExitFailed;
    }
    return kExitOk;
}

// ---------------------------------------------------------------------------
// defects map

#ifdef QM_CLI_PICTURES
struct MapArgs {
    bool glist = false, noZones = false, noSectors = false, tracks = false, noAntialias = false,
         white = false, wedges = false, json = false, arcs = false;
    std::string out = "Defects.jpg", size = "800x600", skipHeads, listFile;
    std::optional<int> heads;
    std::vector<std::string> zoneFiles;
};

std::vector<uint8_t> ReadOrThrow(const std::string& path) {
    return ReadFileBytesOrThrow(path);
}

int RunMap(CliContext& ctx, const MapArgs& a) {
    int width = 0, height = 0;
    if (!ParseCliSize(a.size, width, height)) {
        ctx.err << "quillmark-cli: --size wants WxH, each 16..8192, e.g. 1000x800\n";
        return kExitUsage;
    }
    DefectViewOptions options;
    options.list = a.glist ? DefectListKind::GList : DefectListKind::PList;
    options.showZones = !a.noZones;
    options.showSectors = !a.noSectors;
    options.showTracks = a.tracks;
    options.antialias = !a.noAntialias;
    options.black = !a.white;
    options.wedges = a.wedges;
    std::vector<long long> skipped;
    if (!a.skipHeads.empty() && !ParseCliNumberList(a.skipHeads, 0, kMaxMapHeads - 1, skipped)) {
        ctx.err << "quillmark-cli: --skip-heads wants heads 0..9, e.g. 1,3\n";
        return kExitUsage;
    }
    for (long long h : skipped) options.headChecked[static_cast<size_t>(h)] = false;
    // --zone-file FILE for every head, or H=FILE for one head.
    std::string zoneAll;
    std::map<int, std::string> zoneOf;
    for (const std::string& z : a.zoneFiles) {
        const size_t eq = z.find('=');
        long long h = 0;
        if (eq != std::string::npos && ParseCliNumber(z.substr(0, eq), h) && h >= 0 && h <= 9)
            zoneOf[static_cast<int>(h)] = z.substr(eq + 1);
        else if (eq == std::string::npos && zoneAll.empty())
            zoneAll = z;
        else {
            ctx.err << "quillmark-cli: --zone-file wants FILE (once) or H=FILE with H 0..9\n";
            return kExitUsage;
        }
    }
    // Without a drive the files must say everything.
    const bool offline = !ctx.driveSelected;
    if (offline && (a.listFile.empty() || (zoneAll.empty() && zoneOf.empty()))) {
        ctx.RequireDrive();
        ctx.err << "quillmark-cli: (without a drive, give --list-file and --zone-file)\n";
        return kExitSetup;
    }

    std::optional<JsonCapture> capture;
    if (a.json) capture.emplace(ctx.host);
    Workbench& wb = ctx.wb;
    // What the main window knows when the viewer opens: the identity for the
    // caption, then the viewer's FormShow: the head count.
    int heads = kMaxMapHeads;
    if (!offline) {
        if (IdentifyDevice(wb)) wb.identity = ParseIdentity(wb.link.Sectors());
        wb.link.abort = false;
        heads = MapHeadCount(ReadHeadCount(wb));
    }
    if (a.heads) heads = *a.heads;

    DefectMapSources sources;
    if (!a.listFile.empty()) {
        const std::vector<uint8_t> image = ReadOrThrow(a.listFile);
        sources.list = [image](Workbench& w, DefectListKind, DefectListHeader* info) {
            return LoadDefectListImage(w, image, info);
        };
    }
    if (!zoneAll.empty() || !zoneOf.empty() || offline) {
        std::map<int, std::vector<uint8_t>> tables;
        for (int h = 0; h < kMaxMapHeads; ++h) {
            const auto it = zoneOf.find(h);
            const std::string& path = it != zoneOf.end() ? it->second : zoneAll;
            if (!path.empty()) tables[h] = ReadOrThrow(path);
        }
        sources.zones = [tables, offline](Workbench& w, uint8_t head) {
            const auto it = tables.find(head);
            if (it != tables.end()) return LoadZoneTableImage(w, it->second);
            return offline ? LoadZoneTableImage(w, {}) : LoadZoneTable(w, head);
        };
    }
    if (offline) sources.wedges = [](Workbench&) -> uint16_t { return 0; };

    const OffscreenGui gui;
    QtCanvas canvas(width, height);
    ClearDefectMap(canvas, options.black, heads);
    DefectMapReport report;
    report.wantArcs = a.arcs;
    wb.link.abort = false;
    ViewDefects(wb, canvas, options, heads, &report, sources);
    SavePicture(canvas.Image(), a.out);

    if (capture) {
        const MapGeometry& g = report.geometry;
        Json body;
        body["list"] = ListName(options.list);
        body["royl"] = wb.defects.roylFormat;
        body["entries"] = report.entries;
        body["heads"] = report.heads;
        body["wedges"] = report.wedges;
        body["width"] = g.width;
        body["height"] = g.height;
        body["m"] = g.m;
        body["rOuter"] = g.rOuter;
        body["cx"] = g.cx;
        body["cy"] = g.cy;
        body["R0"] = g.r0;
        Json passes = Json::array();
        for (const DefectMapPass& p : report.passes) {
            Json pass;
            pass["head"] = p.head;
            pass["zones"] = p.zones;
            pass["maxCyl"] = p.maxCylinder;
            pass["scale"] = p.scale;
            if (p.zones > 0) {
                pass["k"] = p.k;
                pass["circles"] = p.circles;
            }
            pass["rLast"] = p.rLast;
            if (a.wedges) pass["spokes"] = p.spokes;
            if (a.arcs) {
                Json arcs = Json::array();
                for (const DefectArcCall& c : p.arcs)
                    arcs.push_back({{"entry", c.entry}, {"r", c.r}, {"a1", c.a1}, {"a2", c.a2}});
                pass["arcs"] = std::move(arcs);
            }
            passes.push_back(std::move(pass));
        }
        body["passes"] = std::move(passes);
        capture->AddTo(body);
        body["file"] = a.out;
        WriteJson(ctx.out, body);
    } else {
        ctx.out << Format("%s: %s, %u entries, %d heads, %dx%d\n", a.out.c_str(),
                          ListName(options.list), report.entries, report.heads, width, height);
    }
    // The picture is written either way, as the window shows it.
    return report.list.read ? kExitOk : kExitFailed;
}
#endif

}  // namespace

void AddDefectsCommands(CliCommands& commands) {
    CLI::App* defects =
        commands.AddGroup("defects", "defect lists, zone tables and the defect map");

    auto list = std::make_shared<ListArgs>();
    CLI::App* cmd = commands.Add(defects, "list", "the P-List (module 33) or G-List (34)",
                                 [list](CliContext& ctx) { return RunList(ctx, *list); });
    cmd->add_flag("--glist", list->glist, "the G-List instead of the P-List");
    cmd->add_option("--file", list->file, "read the list from a module file instead of the drive")
        ->type_name("FILE");
    cmd->add_flag("--json", list->json, "one JSON object with the entries");

    auto zones = std::make_shared<ZonesArgs>();
    cmd = commands.Add(defects, "zones", "the zone table of one head",
                       [zones](CliContext& ctx) { return RunZones(ctx, *zones); });
    AddNumber(cmd, "HEAD", zones->head, "the head", 0, 255)->required();
    cmd->add_flag("--older", zones->older,
                  "older drives: table (5, 1) in the 32-byte layout instead of (0D, HEAD)");
    cmd->add_option("--file", zones->file, "read the table from a file instead of the drive")
        ->type_name("FILE");
    cmd->add_option("--lookup", zones->lookup, "the zone and sectors per track of cylinders")
        ->type_name("CYL[,CYL...]");
    cmd->add_flag("--json", zones->json, "one JSON object with the zones and lookups");

#ifdef QM_CLI_PICTURES
    auto map = std::make_shared<MapArgs>();
    cmd = commands.Add(defects, "map", "draw the defect map as the viewer does and save it",
                       [map](CliContext& ctx) { return RunMap(ctx, *map); });
    cmd->add_flag("--glist", map->glist, "the G-List instead of the P-List");
    cmd->add_option("-o", map->out, "the picture (JPEG; .png for PNG)")
        ->capture_default_str()
        ->type_name("FILE");
    cmd->add_option("--size", map->size, "the bitmap's size")
        ->capture_default_str()
        ->type_name("WxH");
    cmd->add_flag("--no-zones", map->noZones,
                  "only the first and last zone circle (View Zones off)");
    cmd->add_flag("--no-sectors", map->noSectors, "no sector-range defects (View Sectors off)");
    cmd->add_flag("--tracks", map->tracks, "whole-track defects too (View Tracks)");
    cmd->add_flag("--no-antialias", map->noAntialias, "plain polylines (Antialiasing off)");
    cmd->add_flag("--white", map->white, "white background (Black off)");
    cmd->add_flag("--wedges", map->wedges, "servo wedge spokes (Wedge)");
    cmd->add_option("--skip-heads", map->skipHeads, "heads whose box is unchecked")
        ->type_name("H[,H...]");
    AddNumber(cmd, "--heads", map->heads, "the head count instead of the drive's", 1, 10);
    cmd->add_option("--list-file", map->listFile, "the defect list from a module file")
        ->type_name("FILE");
    cmd->add_option("--zone-file", map->zoneFiles,
                    "zone tables from files: FILE for every head, or H=FILE (repeated)")
        ->type_name("FILE|H=FILE")
        ->allow_extra_args(false);
    CLI::Option* json = cmd->add_flag("--json", map->json, "one JSON object with the geometry");
    cmd->add_flag("--arcs", map->arcs, "with --json: every arc drawn")->needs(json);
#endif
}

}  // namespace qm
