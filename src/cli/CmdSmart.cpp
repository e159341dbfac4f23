// smart: the S.M.A.R.T. attribute list and verdict, as the attribute window
// writes them to the log, or as JSON.
#include <ostream>
#include <string>

#include "cli/Cli.h"
#include "common/Cp1252.h"
#include "common/Format.h"
#include "smart/SmartData.h"
#include "smart/SmartRead.h"

namespace qm {
namespace {

// A JSON string literal of UTF-8 text.
std::string JsonString(const std::string& utf8) {
    std::string s = "\"";
    for (char ch : utf8) {
        const unsigned char c = static_cast<unsigned char>(ch);
        switch (c) {
            case '"':
                s += "\\\"";
                break;
            case '\\':
                s += "\\\\";
                break;
            case '\n':
                s += "\\n";
                break;
            case '\r':
                s += "\\r";
                break;
            case '\t':
                s += "\\t";
                break;
            default:
                if (c < 0x20 || c == 0x7F)
                    s += Format("\\u%04X", c);
                else
                    s += ch;
        }
    }
    return s + "\"";
}

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

void PrintJson(std::ostream& out, const SmartReadResult& r) {
    out << "{\n  \"listed\": " << (r.listed ? "true" : "false")
        << ",\n  \"thresholdsRead\": " << (r.thresholdsRead ? "true" : "false")
        << ",\n  \"attributes\": [";
    bool first = true;
    for (const SmartAttribute& a : r.attributes) {
        const SmartRow row = MakeSmartRow(a);
        out << (first ? "\n" : ",\n") << "    {\"id\": " << unsigned(a.id)
            << ", \"name\": " << JsonString(Cp1252ToUtf8(row.name))
            << ", \"value\": " << unsigned(a.value) << ", \"worst\": " << unsigned(a.worst)
            << ", \"threshold\": " << unsigned(a.threshold) << ", \"raw\": " << a.raw
            << ", \"rawText\": " << JsonString(Cp1252ToUtf8(row.raw))
            << ", \"health\": " << JsonString(row.health)
            << ", \"healthStars\": " << row.health.size() << ", \"flags\": " << unsigned(a.flags)
            << ", \"flagsText\": " << JsonString(row.flags) << "}";
        first = false;
    }
    out << (first ? "" : "\n  ") << "],\n  \"verdict\": " << JsonString(VerdictWord(r.verdict))
        << ",\n  \"status\": "
        << (r.verdict == SmartVerdict::Stopped
                ? std::string("null")
                : JsonString(SmartStatusText(r.verdict == SmartVerdict::Good)))
        << "\n}\n";
}

}  // namespace

int RunSmart(CliContext& ctx) {
    const bool rawOnly = ctx.TakeFlag("--raw-only");
    const bool json = ctx.TakeFlag("--json");
    if (!ctx.args.empty()) {
        ctx.err << "quillmark-cli: smart: unexpected argument '" << ctx.args.front() << "'\n";
        return kExitUsage;
    }
    if (rawOnly && json) {
        ctx.err << "quillmark-cli: smart: give --raw-only or --json, not both\n";
        return kExitUsage;
    }
    if (!ctx.RequireDrive()) return kExitSetup;
    Workbench& wb = ctx.wb;

    const SmartReadResult r = ReadSmart(wb);
    if (json) {
        PrintJson(ctx.out, r);
    } else if (r.verdict != SmartVerdict::Stopped) {
        std::vector<SmartRow> rows;
        for (const SmartAttribute& a : r.attributes) rows.push_back(MakeSmartRow(a));
        std::string text;
        if (!SmartExportText(wb, rows, rawOnly, text)) return kExitFailed;
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

}  // namespace qm
