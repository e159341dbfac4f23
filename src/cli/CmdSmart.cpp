// smart: the S.M.A.R.T. attribute list and verdict, as the attribute window
// writes them to the log, or as JSON.
#include <CLI/CLI.hpp>
#include <memory>
#include <optional>
#include <ostream>
#include <string>

#include "cli/Cli.h"
#include "cli/CliJson.h"
#include "smart/Cp1252.h"
#include "smart/SmartData.h"
#include "smart/SmartRead.h"

namespace qm {
namespace {

const char* VerdictWord(SmartVerdict v) {
    switch (v) {
        case SmartVerdict::Good:
            return "GOOD";
        case SmartVerdict::Bad:
            return "BAD";
        case SmartVerdict::Stopped:
            break;
    }
    return "STOPPED";
}

Json SmartJson(const SmartReadResult& r) {
    Json attributes = Json::array();
    for (const SmartAttribute& a : r.attributes) {
        const SmartRow row = MakeSmartRow(a);
        attributes.push_back({{"id", a.id},
                              {"name", Cp1252ToUtf8(row.name)},
                              {"value", a.value},
                              {"worst", a.worst},
                              {"threshold", a.threshold},
                              {"raw", a.raw},
                              {"rawText", Cp1252ToUtf8(row.raw)},
                              {"health", row.health},
                              {"healthStars", row.health.size()},
                              {"flags", a.flags},
                              {"flagsText", row.flags}});
    }
    Json body;
    body["listed"] = r.listed;
    body["thresholdsRead"] = r.thresholdsRead;
    body["attributes"] = std::move(attributes);
    body["verdict"] = VerdictWord(r.verdict);
    body["status"] = r.verdict == SmartVerdict::Stopped
                         ? Json()
                         : Json(SmartStatusText(r.verdict == SmartVerdict::Good));
    return body;
}

struct SmartArgs {
    bool rawOnly = false, json = false;
};

int RunSmart(CliContext& ctx, const SmartArgs& opt) {
    if (!ctx.RequireDrive()) return kExitSetup;
    Workbench& wb = ctx.wb;

    // With --json what the reading logs goes into the answer, not before it.
    std::optional<JsonCapture> capture;
    if (opt.json) capture.emplace(ctx.host);
    const SmartReadResult r = ReadSmart(wb);
    if (capture) {
        Json body = SmartJson(r);
        capture->AddTo(body);
        WriteJson(ctx.out, body);
    } else if (r.verdict != SmartVerdict::Stopped) {
        std::vector<SmartRow> rows;
        for (const SmartAttribute& a : r.attributes) rows.push_back(MakeSmartRow(a));
        std::string text;
        if (!SmartExportText(wb, rows, opt.rawOnly, text)) return kExitFailed;
        // The lines as the log shows them (no degree sign), in the terminal's UTF-8.
        ctx.out << Cp1252ToUtf8(SmartLogText(text))
                << SmartStatusText(r.verdict == SmartVerdict::Good) << '\n';
    }
    ctx.out.flush();
    switch (r.verdict) {
        case SmartVerdict::Good:
            return kExitOk;
        case SmartVerdict::Bad:
            return kExitSmartBad;
        case SmartVerdict::Stopped:
            break;
    }
    return kExitFailed;
}

}  // namespace

void AddSmartCommand(CliCommands& commands) {
    auto a = std::make_shared<SmartArgs>();
    CLI::App* smart = commands.Add("smart", "S.M.A.R.T. attribute list and verdict (exit 4: BAD)",
                                   [a](CliContext& ctx) { return RunSmart(ctx, *a); });
    CLI::Option* rawOnly =
        smart->add_flag("--raw-only", a->rawOnly, "the RAW-only lines of the export");
    smart->add_flag("--json", a->json, "one JSON object with the attributes and the verdict")
        ->excludes(rawOnly);
}

}  // namespace qm
