// progress: the progress monitor's poll of the status sector (once, from a
// file, or followed over time), and lookup: the description lookups.
#include <CLI/CLI.hpp>
#include <memory>
#include <optional>
#include <ostream>

#include "cli/Cli.h"
#include "cli/CliArgs.h"
#include "cli/CliJson.h"
#include "cli/ProgressJson.h"
#include "common/Cp1252.h"
#include "common/Files.h"
#include "common/Format.h"
#include "defects/Lookups.h"
#include "defects/ProgressPoll.h"
#include "vendor/Vsc.h"

namespace qm {
namespace {

struct ProgressArgs {
    bool json = false, noEnable = false, follow = false, untilIdle = false;
    uint32_t intervalMs = 200;
    std::string file;  // decode
};

// The monitor's fields as labelled lines, in the window's order.
void PrintTexts(std::ostream& out, const StatusTexts& t) {
    const std::pair<const char*, const std::string*> rows[] = {{"PTM", &t.edStep},
                                                               {"Test", &t.edStep1},
                                                               {"Action Code", &t.edActn},
                                                               {"Progress", &t.edProgress},
                                                               {"LBA", &t.edLba},
                                                               {"Virtual Cyl", &t.edTrack},
                                                               {"Virtual Head", &t.edHead},
                                                               {"Zone", &t.edZone},
                                                               {"Servo", &t.edServo},
                                                               {"Status", &t.edStatus},
                                                               {"Status Text", &t.edStatusTxt},
                                                               {"State", &t.edCurState},
                                                               {"Drive Temp", &t.edDtemp},
                                                               {"Junction Temp", &t.edJtemp},
                                                               {"Coil Temp", &t.edCtemp},
                                                               {"Flex Temp", &t.edFtemp},
                                                               {"DBS Code", &t.edDBSCode},
                                                               {"Last ATA", &t.edAta}};
    for (const auto& [label, text] : rows)
        out << Cp1252ToUtf8(Format("%-14s%s", label, text->c_str())) << '\n';
}

void PrintPoll(CliContext& ctx, const ProgressPoll& poll, bool json) {
    if (json)
        WriteJson(ctx.out, ProgressPollJson(poll, false));
    else
        PrintTexts(ctx.out, poll.texts);
    ctx.out.flush();
}

int RunProgressOnce(CliContext& ctx, const ProgressArgs& a) {
    // A new process may be the first to talk to the drive: VSC mode on first.
    if (!a.noEnable) EnableVsc(ctx.wb);
    const StatusRead read = ReadMonitorStatus(ctx.wb);
    ProgressPoll poll;
    DecodeMonitorStatus(ctx.wb, read == StatusRead::Ok, poll);
    PrintPoll(ctx, poll, a.json);
    return poll.readOk ? kExitOk : kExitFailed;
}

int RunFollow(CliContext& ctx, const ProgressArgs& a) {
    if (!a.noEnable) EnableVsc(ctx.wb);
    FollowOptions options;
    options.intervalMs = a.intervalMs;
    options.untilIdle = a.untilIdle;
    const FollowResult r =
        FollowProgress(ctx.wb, options, [&](const ProgressPoll& p, bool changed) {
            if (!changed) return;
            if (a.json)
                WriteJsonLine(ctx.out, ProgressPollJson(p, true));
            else
                ctx.out << Cp1252ToUtf8(FollowLine(p)) << '\n' << std::flush;
        });
    switch (r.end) {
        case FollowEnd::Idle:
            return kExitOk;
        case FollowEnd::ReadFailed:
            ctx.err << "quillmark-cli: the status read failed; the job's state is not known\n";
            return kExitFailed;
        case FollowEnd::Aborted:
            break;
    }
    // Ctrl+C is how a plain follow ends; a time-out, or a stop before the
    // awaited idle state, is not success.
    return ctx.TimedOut() || a.untilIdle ? kExitFailed : kExitOk;
}

int RunProgress(CliContext& ctx, const ProgressArgs& a) {
    if (!ctx.RequireDrive()) return kExitSetup;
    return a.follow ? RunFollow(ctx, a) : RunProgressOnce(ctx, a);
}

int RunDecode(CliContext& ctx, const ProgressArgs& a) {
    std::vector<uint8_t> bytes;
    std::string error;
    if (!ReadFileBytes(a.file, bytes, error)) {
        ctx.err << "quillmark-cli: " << error << '\n';
        return kExitFailed;
    }
    if (bytes.size() < kStatusSectorSize) {
        ctx.err << Format("quillmark-cli: %s: %zu bytes; a status sector is 512\n", a.file.c_str(),
                          bytes.size());
        return kExitFailed;
    }
    std::copy_n(bytes.begin(), kStatusSectorSize, ctx.wb.link.keySector.begin());
    ProgressPoll poll;
    DecodeMonitorStatus(ctx.wb, true, poll);
    PrintPoll(ctx, poll, a.json);
    return kExitOk;
}

struct LookupArgs {
    uint32_t code = 0;
    uint16_t ptm = 0;
    uint8_t step = 0;
    bool json = false;
};

enum class LookupKind { Error, Dbs, Test, Action, Step };

int RunLookup(CliContext& ctx, LookupKind kind, const LookupArgs& a) {
    std::optional<std::string> key;
    std::string text;
    switch (kind) {
        case LookupKind::Error:
            key = ErrorKey(static_cast<uint16_t>(a.code));
            text = ErrorText(ctx.wb, static_cast<uint16_t>(a.code));
            break;
        case LookupKind::Dbs:
            key = ErrorKey5(a.code);
            text = ErrorText5(ctx.wb, a.code);
            break;
        case LookupKind::Test:
            key = DescKey(static_cast<uint16_t>(a.code));
            text = DescribeTest(ctx.wb, static_cast<uint16_t>(a.code));
            break;
        case LookupKind::Action:
            text = VscActionName(static_cast<uint16_t>(a.code));
            break;
        case LookupKind::Step:
            text = TestStepName(a.ptm, a.step);
            break;
    }
    if (a.json) {
        WriteJson(ctx.out, Json{{"key", key ? Json(*key) : Json()}, {"text", Cp1252ToUtf8(text)}});
    } else {
        ctx.out << Cp1252ToUtf8(text) << '\n';
    }
    return kExitOk;
}

}  // namespace

void AddProgressCommands(CliCommands& commands) {
    auto a = std::make_shared<ProgressArgs>();
    CLI::App* progress = commands.Add(
        "progress", "the drive's status sector as the progress monitor shows it (--follow: poll)",
        [a](CliContext& ctx) { return RunProgress(ctx, *a); });
    progress->require_subcommand(0, 1);
    progress->add_flag("--json", a->json, "JSON (with --follow: one JSON line a poll)");
    progress->add_flag("--no-enable", a->noEnable, "do not switch VSC mode on first");
    CLI::Option* follow = progress->add_flag(
        "--follow", a->follow, "poll every interval; print the first poll and each that changed");
    progress
        ->add_flag("--until-idle", a->untilIdle,
                   "with --follow: end once the drive has left the background state")
        ->needs(follow);
    AddNumber(progress, "--interval", a->intervalMs, "with --follow: ms between polls (200)", 10,
              3'600'000)
        ->needs(follow);

    auto d = std::make_shared<ProgressArgs>();
    CLI::App* decode =
        commands.Add(progress, "decode", "decode a 512-byte status sector from a file (no drive)",
                     [d](CliContext& ctx) { return RunDecode(ctx, *d); });
    decode->add_option("FILE", d->file, "the status sector")->required();
    decode->add_flag("--json", d->json, "one JSON object");

    CLI::App* lookup = commands.AddGroup(
        "lookup", "descriptions from Errors.ini and ModDescr.ini, and the built-in names");
    struct Kind {
        const char* name;
        const char* summary;
        LookupKind kind;
        const char* what;
        unsigned long long max;
    };
    const Kind kinds[] = {
        {"error", "Errors.ini text of a 16-bit code", LookupKind::Error, "code", 0xFFFF},
        {"dbs", "Errors.ini text of a 32-bit DBS code", LookupKind::Dbs, "DBS code", 0xFFFFFFFF},
        {"test", "ModDescr.ini [Desc] text of a test id", LookupKind::Test, "test id", 0xFFFF},
        {"action", "name of a VSC action code", LookupKind::Action, "action code", 0xFFFF},
    };
    for (const Kind& k : kinds) {
        auto args = std::make_shared<LookupArgs>();
        const LookupKind kind = k.kind;
        CLI::App* cmd = commands.Add(lookup, k.name, k.summary, [args, kind](CliContext& ctx) {
            return RunLookup(ctx, kind, *args);
        });
        AddHex(cmd, "CODE", args->code, k.what, k.max)->required();
        cmd->add_flag("--json", args->json, "{\"key\", \"text\"}");
    }
    auto s = std::make_shared<LookupArgs>();
    CLI::App* step = commands.Add(lookup, "step", "name of a self-test step", [s](CliContext& ctx) {
        return RunLookup(ctx, LookupKind::Step, *s);
    });
    AddHex(step, "PTM", s->ptm, "PTM id", 0xFFFF)->required();
    AddNumber(step, "STEP", s->step, "test step (decimal)", 0, 255)->required();
    step->add_flag("--json", s->json, "{\"key\", \"text\"}");
}

}  // namespace qm
