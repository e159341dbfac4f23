// servo: the servo test's run without its window. The fields start as the
// window shows them (end track and head count from the drive), the options
// type into them, GO runs; the plot goes to a picture file, the WR-WRRO
// sectors to wrro.bin, one line per tested head to stdout.
#include <CLI/CLI.hpp>
#include <array>
#include <functional>
#include <memory>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "cli/Cli.h"
#include "cli/CliArgs.h"
#include "cli/CliJson.h"
#include "common/Format.h"
#include "defects/ServoTest.h"

#ifdef QM_CLI_PICTURES
#include "render/JpegWriter.h"
#include "render/OffscreenGui.h"
#include "render/QtCanvas.h"
#endif

namespace qm {
#ifdef QM_CLI_PICTURES
namespace {

struct ServoArgs {
    std::string type;
    std::optional<std::string> start, end, step, heads, timeOut;
    std::string skipHeads;
    bool fromZones = false, json = false;
    std::string size = "800x600", out = "Servo.jpg", wrro = "wrro.bin";
};

// "--type": the list's index or its exact text.
int ParseType(const std::string& text) {
    long long n = 0;
    if (ParseCliNumber(text, n)) return n >= 0 && n < kServoOpCount ? static_cast<int>(n) : -1;
    return ServoOpFromName(text);
}

Json ServoJson(const ServoRunReport& r) {
    const ServoParams& p = r.params;
    Json heads = Json::array();
    for (const ServoHeadRecord& h : r.heads) {
        Json ops = Json::array();
        for (const ServoOpRecord& o : h.ops) {
            Json op{{"track", o.track}, {"x", o.x},         {"ms", o.ms},
                    {"ok", o.ok},       {"drawn", o.drawn}, {"y", o.y}};
            if (p.type == kServoWrWrro) op["value"] = o.value >= 0 ? Json(o.value) : Json();
            ops.push_back(std::move(op));
        }
        heads.push_back({{"head", h.head},
                         {"tested", h.tested},
                         {"y0", h.y0},
                         {"end", h.end},
                         {"ops", std::move(ops)}});
    }
    Json body;
    body["type"] = p.type;
    body["typeName"] = p.type >= 0 && p.type < kServoOpCount
                           ? Json(kServoOpNames[static_cast<size_t>(p.type)])
                           : Json();
    body["start"] = p.start;
    body["end"] = p.end;
    body["step"] = p.step;
    body["timeoutMs"] = p.timeOut;
    body["q"] = p.q;
    body["width"] = r.width;
    body["height"] = r.height;
    body["heads"] = std::move(heads);
    body["wrro"] = {{"file", r.wrroFile}, {"sectors", r.wrroSectors}};
    body["stopped"] = r.stopped;
    body["wallMs"] = r.wallMs;
    return body;
}

int RunServo(CliContext& ctx, const ServoArgs& a) {
    if (!ctx.RequireDrive()) return kExitSetup;
    Workbench& wb = ctx.wb;
    ServoSettings s;
    s.type = ParseType(a.type.empty() ? "4" : a.type);
    if (s.type < 0) {
        ctx.err << "quillmark-cli: servo: --type wants 0..10 or a list text (\"Read Track\", "
                   "\"WR-WRRO\", ...), not '"
                << a.type << "'\n";
        return kExitUsage;
    }
    std::vector<long long> skipped;
    if (!a.skipHeads.empty() && !ParseCliNumberList(a.skipHeads, 0, kServoMaxHeads - 1, skipped)) {
        ctx.err << "quillmark-cli: --skip-heads wants heads 0..9, e.g. 1,3\n";
        return kExitUsage;
    }
    for (long long h : skipped) s.headChecked[static_cast<size_t>(h)] = false;
    int width = 0, height = 0;
    if (!ParseCliSize(a.size, width, height)) {
        ctx.err << "quillmark-cli: --size wants WxH, each 16..8192, e.g. 800x600\n";
        return kExitUsage;
    }
    std::optional<JsonCapture> capture;
    if (a.json) capture.emplace(ctx.host);

    const OffscreenGui gui;
    QtCanvas canvas(width, height);
    // FormShow: the grid, the end track from head 0's zone table, the head
    // count from the configuration table.
    int zones = 0;
    DrawServoGrid(canvas, s.tracks, wb.defects.zones, zones);
    wb.link.abort = false;
    if (!wb.host.ShiftDown() && LoadServoZoneTable(wb, 0, zones) && zones > 0)
        s.tracks = ServoTracksText(wb.defects.zones[static_cast<size_t>(zones - 1)].end);
    DrawServoGrid(canvas, s.tracks, wb.defects.zones, zones);
    wb.link.abort = false;
    int heads = 0;
    if (ReadServoHeadCount(wb, heads)) {
        s.heads = std::to_string(heads);
        DrawServoHeadLabels(canvas, heads);
    }

    // The options, typed into the fields; one that does not parse takes the
    // field's default, as the window's does.
    auto type = [&](const std::optional<std::string>& value, std::string& field, const char* name,
                    int32_t def) {
        if (!value) return;
        field = *value;
        bool ok = false;
        ParseServoField(field, def, &ok);
        if (!ok)
            ctx.err << "quillmark-cli: servo: " << name << " '" << field
                    << "' is not a number; the field's default " << def << " is used\n";
    };
    type(a.start, s.start, "--start", 0);
    type(a.end, s.tracks, "--end", kServoDefaultEnd);
    type(a.step, s.step, "--step", kServoDefaultStep);
    type(a.timeOut, s.timeOut, "--timeout-ms", kServoDefaultTimeOut);
    type(a.heads, s.heads, "--heads", 0);
    s.fromZones = a.fromZones;
    if (a.end || a.heads) {
        // The grid and labels follow the end and head count given.
        DrawServoGrid(canvas, s.tracks, wb.defects.zones, zones);
        DrawServoHeadLabels(canvas, ServoHeadsFromField(s.heads));
    }

    ServoRunState state;
    // Ctrl+C and --timeout stop the run for good, as STOP does in the window.
    const std::function<bool()> interrupt = ctx.host.interruptRequested;
    ctx.host.interruptRequested = [&] {
        const bool stop = interrupt && interrupt();
        if (stop) state.stopRequested = true;
        return stop;
    };
    ServoRunReport report;
    report.keepOps = a.json;
    ServoHooks hooks;
    const bool started = RunServoTest(wb, canvas, s, state, hooks, a.wrro, &report);
    ctx.host.interruptRequested = interrupt;
    if (!started) {
        ctx.err << "quillmark-cli: servo: no high-resolution counter\n";
        return kExitFailed;
    }
    SavePicture(canvas.Image(), a.out);

    if (capture) {
        Json body = ServoJson(report);
        capture->AddTo(body);
        WriteJson(ctx.out, body);
    } else {
        for (const ServoHeadRecord& h : report.heads) {
            if (!h.tested) continue;
            ctx.out << Format("Head %d: %d operations, %d failed", h.head, h.operations, h.failed);
            if (h.operations)
                ctx.out << Format(", %lld..%lld ms", static_cast<long long>(h.minMs),
                                  static_cast<long long>(h.maxMs));
            ctx.out << '\n';
        }
        if (report.params.type == kServoWrWrro)
            ctx.out << Format("%s: %llu sectors\n", report.wrroFile.c_str(),
                              static_cast<unsigned long long>(report.wrroSectors));
        if (report.stopped) ctx.out << "stopped before the end\n";
    }
    ctx.out.flush();
    return report.stopped ? kExitFailed : kExitOk;
}

}  // namespace
#endif

void AddServoCommand(CliCommands& commands) {
#ifdef QM_CLI_PICTURES
    auto a = std::make_shared<ServoArgs>();
    CLI::App* cmd = commands.Add(
        "servo", "time media operations track by track on each head and plot them (Test Servo)",
        [a](CliContext& ctx) { return RunServo(ctx, *a); });
    cmd->add_option("--type", a->type,
                    "operation: 0..10 or its name (default 4, \"Read Track\"; 2 \"Seek\", 9 "
                    "\"WR-WRRO\", ...)")
        ->type_name("N|NAME");
    auto field = [&](const char* name, std::optional<std::string>& into, const char* help) {
        cmd->add_option_function<std::string>(
               name, [&into](const std::string& v) { into = v; }, help)
            ->type_name("N");
    };
    field("--start", a->start, "first track (default 0; decimal or $hex)");
    field("--end", a->end,
          "end track, exclusive (default: the end of head 0's last zone, else 100000)");
    field("--step", a->step, "tracks between operations (default 0: end / plot width)");
    field("--heads", a->heads, "number of heads (default: the drive's)");
    field("--timeout-ms", a->timeOut, "time-out of an operation in ms, 0 = none (default 100)");
    cmd->add_option("--skip-heads", a->skipHeads, "heads not to test, e.g. 1,3")->type_name("LIST");
    cmd->add_flag("--from-zones", a->fromZones, "each head's end track from its own zone table");
    cmd->add_option("--size", a->size, "the plot's size in pixels")
        ->capture_default_str()
        ->type_name("WxH");
    cmd->add_option("-o", a->out, "the plot (JPEG; .png for PNG)")
        ->capture_default_str()
        ->type_name("FILE");
    cmd->add_option("--wrro", a->wrro, "where the WR-WRRO sectors go (made anew every run)")
        ->capture_default_str()
        ->type_name("FILE");
    cmd->add_flag("--json", a->json, "one JSON object with every operation");
#else
    (void)commands;
#endif
}

}  // namespace qm
