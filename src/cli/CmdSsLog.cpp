// sslog: the main window's "Self Scan Log": the self-scan report of module
// 0xE6 and the surface-log report, line for line as the log shows them.
#include <CLI/CLI.hpp>
#include <map>
#include <memory>
#include <optional>
#include <ostream>

#include "cli/Cli.h"
#include "cli/CliArgs.h"
#include "cli/CliJson.h"
#include "common/Cp1252.h"
#include "common/Format.h"
#include "defects/SurfaceLogReport.h"
#include "vendor/Modules.h"

namespace qm {
namespace {

struct SsLogArgs {
    bool detail = false, json = false, legacyScript = false, olderDefects = false;
    std::vector<std::string> from;
    std::optional<uint16_t> family;
};

Json SelfScanJson(const SelfScanLog& s) {
    Json j;
    j["format"] = s.royl ? "ROYL" : "older";
    j["sectionCount"] = s.sectionCount;
    j["sections"] = Json::array();
    for (const SelfScanSection& x : s.sections)
        j["sections"].push_back({{"index", x.index}, {"offset", x.offset}});
    j["testCount"] = s.testCount ? Json(*s.testCount) : Json();
    j["testTime"] = s.testTime ? Json(*s.testTime) : Json();
    j["testTimeText"] = s.testTime ? Json(FormatElapsed(*s.testTime)) : Json();
    j["history"] = Json::array();
    for (const SelfScanHistory& h : s.history)
        j["history"].push_back({{"number", h.number},
                                {"id", h.id},
                                {"a", h.a},
                                {"b", h.b},
                                {"c", h.c},
                                {"d", h.d},
                                {"time1", h.time1},
                                {"time2", h.time2},
                                {"time1Text", FormatElapsed(h.time1)},
                                {"time2Text", FormatElapsed(h.time2)}});
    j["aborts"] = Json::array();
    for (const SelfScanAbort& a : s.aborts)
        j["aborts"].push_back({{"test", a.test},
                               {"testId", a.testId},
                               {"status", a.status},
                               {"code", a.code},
                               {"description", Cp1252ToUtf8(a.description)}});
    j["softErrors"] = s.softErrorCounter
                          ? Json{{"counter", *s.softErrorCounter}, {"total", *s.softErrorTotal}}
                          : Json();
    return j;
}

Json SurfaceJson(const SurfaceLog& s) {
    Json perHead = Json::array();
    for (const SurfaceHead& h : s.perHead) {
        Json entries = Json::array();
        for (const SurfaceEntry& e : h.entries)
            entries.push_back({{"n", e.n},
                               {"address", e.address},
                               {"kind", e.track ? "track" : "sector"},
                               {"begin", e.begin},
                               {"end", e.end},
                               {"zone", e.zone >= 0 ? Json(e.zone) : Json()}});
        auto whenRead = [&h](Json value) { return h.read ? value : Json(); };
        perHead.push_back({{"loopHead", h.loopHead},
                           {"zoneTable", {h.tableId, h.tableParameter}},
                           {"zones", h.zones ? Json(*h.zones) : Json()},
                           {"moduleId", h.moduleId},
                           {"read", h.read},
                           {"head", whenRead(h.head)},
                           {"format", whenRead(h.royl ? "ROYL" : "older")},
                           {"max", whenRead(h.max)},
                           {"tracks", whenRead(h.tracks)},
                           {"sectors", whenRead(h.sectors)},
                           {"percent", whenRead(h.percent)},
                           {"entries", std::move(entries)}});
    }
    Json rows = Json::array();
    for (int z = 1; z < s.tableZones; ++z) {
        Json counts = Json::array();
        for (int c = 0; c < s.heads; ++c)
            counts.push_back(s.counts[static_cast<size_t>(z)][static_cast<size_t>(c)]);
        rows.push_back({{"zone", z}, {"counts", std::move(counts)}});
    }
    return {{"heads", s.heads},
            {"perHead", std::move(perHead)},
            {"table", {{"zones", s.tableZones}, {"rows", std::move(rows)}}}};
}

int RunSsLog(CliContext& ctx, const SsLogArgs& a) {
    if (!ctx.RequireDrive()) return kExitSetup;
    // --from ID=FILE: SHIFT held; each fetch answers with the file of its id,
    // a module without one is a cancelled dialog.
    std::map<uint16_t, std::string> files;
    for (const std::string& f : a.from) {
        const size_t eq = f.find('=');
        unsigned long long id = 0;
        if (eq == std::string::npos || eq + 1 == f.size() || !ParseCliHex(f.substr(0, eq), id) ||
            id > 0xFFFF) {
            ctx.err << "quillmark-cli: --from wants ID=FILE with a hex module id, not '" << f
                    << "'\n";
            return kExitUsage;
        }
        files[static_cast<uint16_t>(id)] = f.substr(eq + 1);
    }
    Workbench& wb = ctx.wb;
    if (a.legacyScript) wb.flags.scriptRoyl = false;
    if (a.olderDefects) wb.defects.roylFormat = false;
    if (a.family) wb.flags.familyCode = *a.family;
    ctx.host.ctrl = a.detail;
    ctx.host.shift = !files.empty();
    auto fetch = [&](uint16_t id, std::vector<uint8_t>& image) {
        const auto it = files.find(id);
        ctx.host.openFile = it == files.end() ? std::string() : it->second;
        return ReadModuleOrFile(wb, id, image);
    };

    std::optional<JsonCapture> capture;
    std::vector<std::string> lines;
    LineSink sink;
    if (a.json) {
        capture.emplace(ctx.host);
        sink = [&lines](const std::string& l) { lines.push_back(Cp1252ToUtf8(l)); };
    } else {
        sink = [&ctx](const std::string& l) { ctx.out << Cp1252ToUtf8(l) << '\n'; };
    }
    const SelfScanLogReports r = WriteSelfScanLogReports(wb, fetch, sink, a.json);
    if (a.json) {
        Json body;
        body["lines"] = std::move(lines);
        body["selfScan"] = r.selfScan ? SelfScanJson(*r.selfScan) : Json();
        body["surfaceLog"] = SurfaceJson(r.surface);
        capture->AddTo(body);
        WriteJson(ctx.out, body);
    }
    ctx.out.flush();
    bool anyRead = r.selfScan.has_value();
    for (const SurfaceHead& h : r.surface.perHead) anyRead = anyRead || h.read;
    if (!anyRead) ctx.err << "sslog: neither module E6 nor any surface log could be read\n";
    return anyRead ? kExitOk : kExitFailed;
}

}  // namespace

void AddSsLogCommand(CliCommands& commands) {
    auto a = std::make_shared<SsLogArgs>();
    CLI::App* cmd = commands.Add("sslog", "Self Scan Log: the self-scan and surface-log reports",
                                 [a](CliContext& ctx) { return RunSsLog(ctx, *a); });
    cmd->add_flag("--detail", a->detail, "every surface-log record, as with CTRL held");
    cmd->add_flag("--json", a->json, "one JSON object with the lines and what they decode");
    cmd->add_option("--from", a->from,
                    "take module ID from FILE, as with SHIFT held (repeatable; modules "
                    "without a file are skipped)")
        ->type_name("ID=FILE")
        ->allow_extra_args(false);
    cmd->add_flag("--legacy-script", a->legacyScript,
                  "as after loading an older-layout script: zone tables from (5, 0)");
    cmd->add_flag("--older-defects", a->olderDefects,
                  "as after loading an older-format defect list: 32-byte zone entries");
    AddHex(cmd, "--family", a->family, "drive family code (6E: per-head zone tables)", 0xFFFF);
}

}  // namespace qm
