// script: the self-scan script window from a shell. show lists a script
// module, edit applies the window's commands in the order given and writes
// the result, generate builds steps from other modules, import turns a text
// script into a module, export writes PST.ini or PST.trx, tests keeps the
// named tests of SCRIPTS.INI, run runs one step while following the drive.
#include <CLI/CLI.hpp>
#include <cstring>
#include <map>
#include <memory>
#include <optional>
#include <ostream>
#include <set>

#include "cli/Cli.h"
#include "cli/CliArgs.h"
#include "cli/CliJson.h"
#include "cli/ProgressJson.h"
#include "common/Bytes.h"
#include "common/Cp1252.h"
#include "common/Files.h"
#include "common/Format.h"
#include "defects/ProgressPoll.h"
#include "drive/Identify.h"
#include "drive/Transport.h"
#include "script/ScriptEditor.h"
#include "script/ScriptExport.h"
#include "script/ScriptGenerators.h"
#include "script/ScriptText.h"
#include "script/ScriptsIni.h"
#include "script/StepRun.h"
#include "vendor/ModuleJournal.h"
#include "vendor/Modules.h"
#include "vendor/Vsc.h"

namespace qm {
namespace {

// Where the script comes from: module ID from the drive, or FILE (the
// window's Read with SHIFT held).
struct SourceArgs {
    uint16_t module = 0x28;
    std::string file;
};

// Where it goes: -o FILE (Write with SHIFT held) or --write (the drive).
struct TargetArgs {
    std::string out;
    bool write = false, keepGotos = false, json = false;
    std::optional<long long> current;
};

struct ScriptArgs {
    SourceArgs source;
    TargetArgs target;
    std::vector<std::string> words;  // edit: the operations; import: the text file
    std::string templ;               // import --template
    bool follow = false;             // run
    long long step = 0;              // run
    std::string family, add;         // tests
    bool familyGiven = false, addGiven = false;
    // generate
    std::string kind, include;
    std::vector<std::string> from;
    std::optional<long long> select;
    bool clear = false;
    // export
    std::string ini, trx;
    bool ctrl = false;
};

// Where a generator's modules and include answers come from on the command
// line: --from ID=FILE for one module's file, else the drive (no drive: the
// read fails); --include IDS|all answers the include prompts.
struct GeneratorSources {
    std::map<uint16_t, std::string> files;
    std::set<uint16_t> include;
    bool includeAll = false;
};

bool ParseGeneratorSources(const ScriptArgs& a, GeneratorSources& g, std::string& why) {
    for (const std::string& f : a.from) {
        const size_t eq = f.find('=');
        unsigned long long id = 0;
        if (eq == std::string::npos || eq + 1 == f.size() || !ParseCliHex(f.substr(0, eq), id) ||
            id > 0xFFFF) {
            why = "--from wants ID=FILE (a hex module id), not '" + f + "'";
            return false;
        }
        g.files[static_cast<uint16_t>(id)] = f.substr(eq + 1);
    }
    if (a.include == "all") {
        g.includeAll = true;
        return true;
    }
    size_t pos = 0;
    while (pos < a.include.size()) {
        size_t comma = a.include.find(',', pos);
        if (comma == std::string::npos) comma = a.include.size();
        unsigned long long id = 0;
        if (!ParseCliHex(a.include.substr(pos, comma - pos), id) || id > 0xFFFF) {
            why =
                "--include wants hex test ids separated by commas, or all, not '" + a.include + "'";
            return false;
        }
        g.include.insert(static_cast<uint16_t>(id));
        pos = comma + 1;
    }
    return true;
}

GeneratorIo CliGeneratorIo(CliContext& ctx, const GeneratorSources& g) {
    GeneratorIo io;
    io.readModule = [&ctx, &g](uint16_t id, ModuleImage& image) {
        const auto file = g.files.find(id);
        if (file != g.files.end()) {
            image = ReadFileBytesOrThrow(file->second);
            return !image.empty();
        }
        return ctx.driveSelected && ReadModule(ctx.wb, id, image) && !image.empty();
    };
    io.include = [&g](uint16_t testId) { return g.includeAll || g.include.count(testId) > 0; };
    return io;
}

std::string Utf8(const std::string& s) {
    return Cp1252ToUtf8(s);
}

const char* StatusName(uint16_t errorCode) {
    if (errorCode == 0) return "passed";
    return errorCode == kStepNotRun ? "not run" : "failed";
}

std::string HexBytes(const StepRecord& r) {
    std::string s;
    s.reserve(r.size() * 2);
    for (uint8_t b : r) s += Format("%02X", b);
    return s;
}

Json StepJson(Workbench& wb, const ScriptEditor& ed, size_t i) {
    const ScriptStep& s = ed.steps[i];
    const StepRecord& r = s.record;
    const uint16_t error = StepU16(r, LayoutInfo(ed.layout).errorCodeOffset);
    Json args = Json::array();
    for (int n = 1; n <= 16; ++n) args.push_back(StepU32(r, StepArgOffset(n)));
    Json j;
    j["step"] = i + 1;
    j["caption"] = Utf8(s.caption);
    j["testId"] = s.TestId();
    j["arg0"] = StepU16(r, kStepArg0);
    j["args"] = std::move(args);
    j["postAction"] = StepU32(r, kStepPostAction);
    j["gotoSuccess"] = StepU16(r, kStepGotoSuccess);
    j["gotoError"] = StepU16(r, kStepGotoError);
    j["gotoAbort"] = StepU16(r, kStepGotoAbort);
    j["errorCode"] = error;
    j["status"] = StatusName(error);
    j["icon"] = s.icon == kNoIcon ? Json() : Json(s.icon);
    j["description"] = Utf8(s.description);
    j["statusText"] = Utf8(StepStatusText(wb, error));
    j["colour"] = StepColourName(ScriptRowColour(s.caption, r));
    j["record"] = HexBytes(r);
    return j;
}

Json StepsJson(Workbench& wb, const ScriptEditor& ed) {
    Json steps = Json::array();
    for (size_t i = 0; i < ed.steps.size(); ++i) steps.push_back(StepJson(wb, ed, i));
    return steps;
}

void PrintSteps(std::ostream& out, const ScriptEditor& ed) {
    const size_t errorAt = LayoutInfo(ed.layout).errorCodeOffset;
    for (size_t i = 0; i < ed.steps.size(); ++i) {
        const ScriptStep& s = ed.steps[i];
        const StepRecord& r = s.record;
        out << Utf8(Format("%3zu  %-4s  S:%04X E:%04X A:%04X  ERR:%04X  %s", i + 1,
                           s.caption.c_str(), StepU16(r, kStepGotoSuccess),
                           StepU16(r, kStepGotoError), StepU16(r, kStepGotoAbort),
                           StepU16(r, errorAt), s.description.c_str()))
            << '\n';
    }
}

// The window's Read. Returns an exit code, kExitOk when the list holds the
// module's steps.
int LoadScript(CliContext& ctx, ScriptEditor& ed, const SourceArgs& a) {
    ed.selector = Format("%02X", a.module);
    Workbench& wb = ctx.wb;
    if (a.file.empty() && !ctx.RequireDrive()) return kExitSetup;
    ctx.host.shift = !a.file.empty();
    ctx.host.openFile = a.file;
    const bool read = ReadModuleOrFile(wb, a.module, ed.buffer);
    ctx.host.shift = false;
    if (!read) {
        if (a.file.empty())
            ctx.err << Format("module %04X: read failed, vendor status %04X%s\n", a.module,
                              VendorStatus(wb), wb.link.Aborted() ? " (stopped)" : "");
        else
            ctx.err << "quillmark-cli: " << a.file << ": the file is empty\n";
        return kExitFailed;
    }
    std::string why;
    if (ed.Parse(why) != ParseOutcome::Parsed) {
        ctx.err << "quillmark-cli: " << Utf8(why) << '\n';
        return kExitFailed;
    }
    return kExitOk;
}

bool CheckTarget(CliContext& ctx, const TargetArgs& t, const std::string& command) {
    if (t.out.empty() == !t.write) {
        ctx.err << "quillmark-cli: " << command
                << " needs one of -o FILE (save a module file) or --write (write to the drive)\n";
        return false;
    }
    return true;
}

// The window's Write: -o is Write with SHIFT held, --write the drive.
int WriteScript(CliContext& ctx, ScriptEditor& ed, const TargetArgs& t) {
    Workbench& wb = ctx.wb;
    if (t.current) {
        if (*t.current < 1 || *t.current > static_cast<long long>(ed.steps.size())) {
            ctx.err << Format("quillmark-cli: --current %lld: the script has %zu steps\n",
                              *t.current, ed.steps.size());
            return kExitUsage;
        }
        ed.Select(static_cast<int>(*t.current - 1));
    }
    if (t.write) {
        if (!ctx.RequireDrive()) return kExitSetup;
        // The journal files the copies under the drive's model and serial.
        std::memset(wb.link.Sectors(), 0, 512);
        if (IdentifyDevice(wb)) wb.identity = ParseIdentity(wb.link.Sectors());
    }
    ctx.host.shift = !t.out.empty();
    ctx.host.saveFile = t.out;
    std::string message;
    const WriteOutcome outcome = ed.Write(!t.keepGotos, message);
    ctx.host.shift = false;
    switch (outcome) {
        case WriteOutcome::Written:
            if (!t.json) {
                PrintSteps(ctx.out, ed);
                const std::string where =
                    t.out.empty() ? Format("module %04X (journal: %s)",
                                           static_cast<unsigned>(SelectorModuleId(ed.selector)),
                                           ModuleJournal(wb).Folder().c_str())
                                  : t.out;
                ctx.out << Format("script %s: %zu steps, current step %d -> ", ed.selector.c_str(),
                                  ed.steps.size(), ed.selected + 1)
                        << where << '\n';
            }
            return kExitOk;
        case WriteOutcome::Nothing:
            ctx.err << "quillmark-cli: the step list is empty: nothing written\n";
            return kExitFailed;
        case WriteOutcome::Cancelled:
            ctx.err << "quillmark-cli: nothing written\n";
            return kExitFailed;
        case WriteOutcome::Refused:
        case WriteOutcome::Failed:
            break;
    }
    ctx.err << Utf8(message) << '\n';
    return kExitFailed;
}

int Finish(CliContext& ctx, ScriptEditor& ed, const TargetArgs& t,
           std::optional<JsonCapture>& capture) {
    const int rc = WriteScript(ctx, ed, t);
    if (t.json) {
        Json body;
        body["selected"] = ed.selected < 0 ? Json() : Json(ed.selected + 1);
        body["steps"] = StepsJson(ctx.wb, ed);
        body["written"] = rc == kExitOk;
        capture->AddTo(body);
        WriteJson(ctx.out, body);
    }
    return rc;
}

int RunShow(CliContext& ctx, const ScriptArgs& a) {
    ScriptEditor ed(ctx.wb);
    const int rc = LoadScript(ctx, ed, a.source);
    if (rc != kExitOk) return rc;
    if (!a.target.json) {
        ctx.out << Utf8(ed.Caption()) << '\n';
        PrintSteps(ctx.out, ed);
        return kExitOk;
    }
    const ScriptLayoutInfo& info = LayoutInfo(ed.layout);
    Json body;
    body["module"] = ed.selector;
    body["layout"] = info.name;
    body["length"] = ed.buffer.size();
    body["headerOffset"] = info.headerOffset;
    body["firstStepOffset"] = info.firstStepOffset;
    body["recordSize"] = ed.recordSize;
    body["errorCodeOffset"] = info.errorCodeOffset;
    body["maxSteps"] = ed.maxSteps;
    body["storedCurrentStep"] = ed.storedCurrentStep;
    body["currentStep"] = ed.currentStep;
    body["ptmStartTime"] = ed.ptmStartTime;
    body["ptmStartTimeText"] = FormatElapsed(ed.ptmStartTime);
    body["caption"] = Utf8(ed.Caption());
    body["steps"] = StepsJson(ctx.wb, ed);
    WriteJson(ctx.out, body);
    return kExitOk;
}

// A step number of an operation: 1..steps (0 too when zeroMeansNone).
bool StepNumber(const std::string& text, const ScriptEditor& ed, bool zeroMeansNone, int& index) {
    long long n = 0;
    if (!ParseCliNumber(text, n) || n < (zeroMeansNone ? 0 : 1) ||
        n > static_cast<long long>(ed.steps.size()))
        return false;
    index = static_cast<int>(n) - 1;
    return true;
}

bool ParseWidth(const std::string& text, unsigned long long& width) {
    long long n = 0;
    if (!ParseCliNumber(text, n) || n < 0) return false;
    width = static_cast<unsigned long long>(n);
    return true;
}

// "OFF=VALUE[:8|16|32]" into the step's record.
bool PatchStep(ScriptEditor& ed, int index, const std::string& patch, std::string& why) {
    const size_t eq = patch.find('=');
    const size_t colon = patch.find(':');
    unsigned long long offset = 0, value = 0, width = 8;
    if (eq == std::string::npos || !ParseCliHex(patch.substr(0, eq), offset) ||
        !ParseCliHex(patch.substr(eq + 1, colon == std::string::npos ? colon : colon - eq - 1),
                     value) ||
        (colon != std::string::npos && !ParseWidth(patch.substr(colon + 1), width)) ||
        (width != 8 && width != 16 && width != 32)) {
        why = "set wants OFF=VALUE[:8|16|32] (hex offset and value), not '" + patch + "'";
        return false;
    }
    StepRecord& r = ed.steps[static_cast<size_t>(index)].record;
    const size_t bytes = width / 8;
    if (offset + bytes > r.size()) {
        why = Format("set: offset %llX and %llu bits go past the %zu-byte record", offset, width,
                     r.size());
        return false;
    }
    if (width < 32 && value >> width) {
        why = Format("set: %llX does not fit %llu bits", value, width);
        return false;
    }
    if (value > 0xFFFFFFFFull) {
        why = Format("set: %llX does not fit 32 bits", value);
        return false;
    }
    for (size_t b = 0; b < bytes; ++b) r[offset + b] = static_cast<uint8_t>(value >> (8 * b));
    return true;
}

// Runs a generator; its stop message (a source module too short) goes to
// stderr. False when it stopped so.
bool RunGenerator(CliContext& ctx, ScriptEditor& ed, ScriptGenerator kind, const GeneratorIo& io) {
    const GenerateResult r = GenerateScript(ed, kind, io);
    if (r.message.empty()) return true;
    ctx.err << "quillmark-cli: " << Utf8(r.message) << '\n';
    return false;
}

// Applies the edit words in order. False (with why) on a word that is not
// an operation or an argument that does not fit the list as it is then.
// `stopped` tells whether a generator stopped on a bad source module.
bool ApplyOperations(CliContext& ctx, ScriptEditor& ed, const std::vector<std::string>& words,
                     const GeneratorIo& io, bool& stopped, std::string& why) {
    size_t at = 0;
    auto arg = [&](const std::string& op) -> const std::string* {
        if (at < words.size()) return &words[at++];
        why = op + " needs an argument";
        return nullptr;
    };
    while (at < words.size()) {
        const std::string op = words[at++];
        int index = -1;
        auto step = [&](bool zeroMeansNone) {
            const std::string* n = arg(op);
            if (!n) return false;
            if (StepNumber(*n, ed, zeroMeansNone, index)) return true;
            why =
                Format("%s %s: the script has %zu steps", op.c_str(), n->c_str(), ed.steps.size());
            return false;
        };
        if (op == "select" || op == "insert") {
            if (!step(true)) return false;
            ed.Select(index);
            if (op == "insert") ed.Insert();
        } else if (op == "delete" || op == "up" || op == "down") {
            if (!step(false)) return false;
            ed.Select(index);
            if (op == "delete")
                ed.Delete();
            else if (op == "up")
                ed.MoveUp();
            else
                ed.MoveDown();
        } else if (op == "clear-log") {
            if (at < words.size() && words[at] == "all") {
                ++at;
                ed.ClearScriptLog();
                continue;
            }
            if (!step(false)) return false;
            ed.Select(index);
            ed.ClearCurrentStepLog();
        } else if (op == "gotos") {
            const std::string* kind = arg(op);
            if (!kind) return false;
            if (*kind == "end")
                ed.SetGotosToEnd();
            else if (*kind == "stop")
                ed.SetGotosToStop();
            else if (*kind == "step")
                ed.SetGotosStepByStep();
            else {
                why = "gotos wants end, stop or step, not '" + *kind + "'";
                return false;
            }
        } else if (op == "upgrade") {
            ed.Upgrade();
        } else if (op == "clear") {
            ed.Clear();
        } else if (op == "generate") {
            const std::string* name = arg(op);
            if (!name) return false;
            ScriptGenerator kind;
            if (!ParseGeneratorName(*name, kind)) {
                why = "generate wants arco, e6, ptm or dir, not '" + *name + "'";
                return false;
            }
            if (!RunGenerator(ctx, ed, kind, io)) stopped = true;
        } else if (op == "set") {
            if (!step(false)) return false;
            const std::string* patch = arg(op);
            if (!patch || !PatchStep(ed, index, *patch, why)) return false;
            ed.Select(index);
        } else {
            why = "unknown edit operation '" + op +
                  "' (select, insert, delete, up, down, clear-log, gotos, upgrade, clear, set, "
                  "generate)";
            return false;
        }
    }
    return true;
}

int RunEdit(CliContext& ctx, const ScriptArgs& a) {
    if (!CheckTarget(ctx, a.target, "script edit")) return kExitUsage;
    std::optional<JsonCapture> capture;
    if (a.target.json) capture.emplace(ctx.host);
    ScriptEditor ed(ctx.wb);
    const int rc = LoadScript(ctx, ed, a.source);
    if (rc != kExitOk) return rc;
    std::string why;
    // Inside edit a generator's include prompts are all cancelled and its
    // modules come from the drive.
    const GeneratorSources none;
    const GeneratorIo io = CliGeneratorIo(ctx, none);
    bool stopped = false;
    if (!ApplyOperations(ctx, ed, a.words, io, stopped, why)) {
        ctx.err << "quillmark-cli: script edit: " << why << "; nothing written\n";
        return kExitUsage;
    }
    const int written = Finish(ctx, ed, a.target, capture);
    return written == kExitOk && stopped ? kExitFailed : written;
}

int RunGenerate(CliContext& ctx, const ScriptArgs& a) {
    if (!CheckTarget(ctx, a.target, "script generate")) return kExitUsage;
    ScriptGenerator kind;
    if (!ParseGeneratorName(a.kind, kind)) {
        ctx.err << "quillmark-cli: script generate wants arco, e6, ptm or dir, not '" << a.kind
                << "'\n";
        return kExitUsage;
    }
    GeneratorSources sources;
    std::string why;
    if (!ParseGeneratorSources(a, sources, why)) {
        ctx.err << "quillmark-cli: " << why << '\n';
        return kExitUsage;
    }
    std::optional<JsonCapture> capture;
    if (a.target.json) capture.emplace(ctx.host);
    ScriptEditor ed(ctx.wb);
    const int rc = LoadScript(ctx, ed, a.source);
    if (rc != kExitOk) return rc;
    if (a.clear) ed.Clear();
    if (a.select) {
        int index = -1;
        if (!StepNumber(std::to_string(*a.select), ed, true, index)) {
            ctx.err << Format("quillmark-cli: --select %lld: the script has %zu steps\n", *a.select,
                              ed.steps.size());
            return kExitUsage;
        }
        ed.Select(index);
    }
    const GeneratorIo io = CliGeneratorIo(ctx, sources);
    const bool finished = RunGenerator(ctx, ed, kind, io);
    const int written = Finish(ctx, ed, a.target, capture);
    return written == kExitOk && !finished ? kExitFailed : written;
}

int RunExport(CliContext& ctx, const ScriptArgs& a) {
    if (a.ini.empty() == a.trx.empty()) {
        ctx.err << "quillmark-cli: script export needs one of --ini FILE or --trx FILE\n";
        return kExitUsage;
    }
    if (a.ctrl && a.trx.empty()) {
        ctx.err << "quillmark-cli: --ctrl belongs to --trx\n";
        return kExitUsage;
    }
    ScriptEditor ed(ctx.wb);
    const int rc = LoadScript(ctx, ed, a.source);
    if (rc != kExitOk) return rc;
    const bool ini = !a.ini.empty();
    ctx.host.saveFile = ini ? a.ini : a.trx;
    ctx.host.ctrl = a.ctrl;
    const bool written = ExportScript(ed, ini ? ScriptExportKind::Ini : ScriptExportKind::Trx);
    ctx.host.ctrl = false;
    if (!written) {
        ctx.err << "quillmark-cli: nothing exported\n";
        return kExitFailed;
    }
    ctx.out << Format("script %s: %zu steps -> ", ed.selector.c_str(), ed.steps.size())
            << ctx.host.saveFile << '\n';
    return kExitOk;
}

int RunImport(CliContext& ctx, const ScriptArgs& a) {
    if (!CheckTarget(ctx, a.target, "script import")) return kExitUsage;
    std::optional<JsonCapture> capture;
    if (a.target.json) capture.emplace(ctx.host);
    ScriptEditor ed(ctx.wb);
    ed.selector = Format("%02X", a.source.module);
    ModuleImage templ = ScriptTemplateModule();
    std::string error;
    if (!a.templ.empty() && !ReadFileBytes(a.templ, templ, error)) {
        ctx.err << "quillmark-cli: " << error << '\n';
        return kExitFailed;
    }
    const std::string& textFile = a.words.front();
    std::vector<uint8_t> text;
    if (!ReadFileBytes(textFile, text, error)) {
        ctx.err << "quillmark-cli: " << error << '\n';
        return kExitFailed;
    }
    if (std::find(text.begin(), text.end(), uint8_t{0}) != text.end()) {
        ctx.err << "quillmark-cli: " << textFile
                << ": not a text script: the file holds binary data\n";
        return kExitFailed;
    }
    ed.buffer = templ;
    std::string why;
    if (ed.Parse(why) != ParseOutcome::Parsed) {
        ctx.err << "quillmark-cli: template: " << Utf8(why.empty() ? "the file is empty" : why)
                << '\n';
        return kExitFailed;
    }
    ed.Clear();
    const ImportReport report = ImportTextScript(
        ed, std::string_view(reinterpret_cast<const char*>(text.data()), text.size()));
    for (const std::string& p : report.problems) ctx.err << textFile << ": " << Utf8(p) << '\n';
    return Finish(ctx, ed, a.target, capture);
}

int RunTests(CliContext& ctx, const ScriptArgs& a) {
    Workbench& wb = ctx.wb;
    if (a.addGiven) {
        std::string message;
        if (!AddScriptTest(wb, a.family, a.add, message)) {
            ctx.err << message << '\n';
            return kExitUsage;
        }
    }
    if (!a.familyGiven) {
        for (const std::string& f : ScriptFamilies(wb)) ctx.out << Utf8(f) << '\n';
        return kExitOk;
    }
    if (Trim(a.family).empty()) {
        ctx.err << kNeedNameMessage << '\n';
        return kExitUsage;
    }
    for (const std::string& t : ScriptFamilyTests(wb, a.family)) ctx.out << Utf8(t) << '\n';
    return kExitOk;
}

int RunStep(CliContext& ctx, const ScriptArgs& a) {
    if (!ctx.RequireDrive()) return kExitSetup;
    ScriptEditor ed(ctx.wb);
    const int rc = LoadScript(ctx, ed, a.source);
    if (rc != kExitOk) return rc;
    if (a.step < 1 || a.step > static_cast<long long>(ed.steps.size())) {
        ctx.err << Format("quillmark-cli: script run %lld: the script has %zu steps\n", a.step,
                          ed.steps.size());
        return kExitUsage;
    }
    Workbench& wb = ctx.wb;
    const StepRecord record = ed.steps[static_cast<size_t>(a.step - 1)].record;
    const bool json = a.target.json;
    const std::string start = StepRunStartLine(record), end = StepRunEndLine(record);
    if (json)
        WriteJsonLine(ctx.out, Json{{"event", "start"},
                                    {"line", start},
                                    {"testId", StepU16(record, kStepTestId)},
                                    {"second", StepRunSecondNumber(record)},
                                    {"record", HexBytes(record)}});
    else
        ctx.out << start << '\n' << std::flush;
    SendStepRunKey(wb, record);
    FollowOptions options;
    options.untilIdle = true;
    const FollowResult r = FollowProgress(wb, options, [&](const ProgressPoll& p, bool changed) {
        if (!a.follow || !changed) return;
        if (json) {
            Json poll = ProgressPollJson(p, true);
            poll.insert(poll.begin(), {"event", "poll"});
            WriteJsonLine(ctx.out, poll);
        } else {
            ctx.out << Utf8(FollowLine(p)) << '\n' << std::flush;
        }
    });
    const char* reason = r.end == FollowEnd::Idle         ? "idle"
                         : r.end == FollowEnd::ReadFailed ? "readFailed"
                                                          : "aborted";
    if (json)
        WriteJsonLine(ctx.out, Json{{"event", "end"},
                                    {"line", end},
                                    {"reason", reason},
                                    {"final", r.polls ? ProgressPollJson(r.last, true) : Json()}});
    else
        ctx.out << end << '\n' << std::flush;
    switch (r.end) {
        case FollowEnd::Idle:
            return r.last.fields.extErrCode != 0 ? kExitStepError : kExitOk;
        case FollowEnd::ReadFailed:
            ctx.err << "quillmark-cli: the status read failed; the step's result is not known\n";
            return kExitFailed;
        case FollowEnd::Aborted:
            break;
    }
    ctx.err << "quillmark-cli: stopped before the step ended\n";
    return kExitFailed;
}

void AddSource(CLI::App* cmd, SourceArgs& s) {
    AddHex(cmd, "--module", s.module, "module id of the script table (28, 3B..3F)", 0xFFFF);
    cmd->add_option("--file", s.file, "read the module from FILE instead of the drive")
        ->type_name("FILE");
}

void AddTarget(CLI::App* cmd, TargetArgs& t) {
    cmd->add_option("-o", t.out, "save the module to FILE")->type_name("FILE");
    cmd->add_flag("--write", t.write, "write the module to the drive (journaled)");
    cmd->add_flag("--keep-gotos", t.keepGotos,
                  "keep every goto as edited (the window's \"Step\" unchecked)");
    AddNumber(cmd, "--current", t.current, "the step stored as the current one", 1, 0xFFFF);
    cmd->add_flag("--json", t.json, "the list as JSON");
}

}  // namespace

void AddScriptCommands(CliCommands& commands) {
    CLI::App* script = commands.AddGroup("script", "self-scan script modules (module 28, 3B..3F)");

    auto show = std::make_shared<ScriptArgs>();
    CLI::App* cmd = commands.Add(script, "show", "list the steps of a script module",
                                 [show](CliContext& ctx) { return RunShow(ctx, *show); });
    AddSource(cmd, show->source);
    cmd->add_flag("--json", show->target.json, "the module and its steps as JSON");

    auto edit = std::make_shared<ScriptArgs>();
    cmd = commands.Add(script, "edit", "apply edit operations in order, then write",
                       [edit](CliContext& ctx) { return RunEdit(ctx, *edit); });
    AddSource(cmd, edit->source);
    AddTarget(cmd, edit->target);
    cmd->add_option(
        "OP", edit->words,
        "operations, steps 1-based: select N, insert N, delete N, up N, down N, "
        "clear-log N|all, gotos end|stop|step, upgrade, clear, set N OFF=VALUE[:8|16|32], "
        "generate arco|e6|ptm|dir");

    auto generate = std::make_shared<ScriptArgs>();
    cmd = commands.Add(script, "generate", "build steps from other modules, then write",
                       [generate](CliContext& ctx) { return RunGenerate(ctx, *generate); });
    cmd->add_option("KIND", generate->kind,
                    "arco (ARCO adaptives), e6 (the self-scan log's script), ptm (PTM history), "
                    "dir (the 25xx modules of the directory)")
        ->required();
    AddSource(cmd, generate->source);
    AddNumber(cmd, "--select", generate->select,
              "the step selected when it starts (0: none); the new steps follow it", 0, 0xFFFF);
    cmd->add_flag("--clear", generate->clear, "empty the step list first");
    cmd->add_option("--include", generate->include,
                    "answer yes to the include prompts of these test ids (2403, 3307, 1010, "
                    "3415, 3421, 3422, 3423, 3426), or all; default: none")
        ->type_name("IDS|all");
    cmd->add_option("--from", generate->from, "take module ID from FILE instead of the drive")
        ->type_name("ID=FILE");
    AddTarget(cmd, generate->target);

    auto import = std::make_shared<ScriptArgs>();
    cmd = commands.Add(script, "import", "a text script as a module (the template's layout)",
                       [import](CliContext& ctx) { return RunImport(ctx, *import); });
    cmd->add_option("TEXTFILE", import->words, "the text script")->required()->expected(1);
    cmd->add_option("--template", import->templ,
                    "module image to import into (default: the built-in ID0028)")
        ->type_name("FILE");
    AddHex(cmd, "--module", import->source.module, "module id to write (28, 3B..3F)", 0xFFFF);
    AddTarget(cmd, import->target);

    auto exportArgs = std::make_shared<ScriptArgs>();
    cmd = commands.Add(script, "export", "the step list as PST.ini or PST.trx",
                       [exportArgs](CliContext& ctx) { return RunExport(ctx, *exportArgs); });
    AddSource(cmd, exportArgs->source);
    cmd->add_option("--ini", exportArgs->ini, "write the INI file (\"[PST Sequence]\")")
        ->type_name("FILE");
    cmd->add_option("--trx", exportArgs->trx, "write the text script for the test interpreter")
        ->type_name("FILE");
    cmd->add_flag("--ctrl", exportArgs->ctrl,
                  "titles name each test by id and arguments (CTRL held in the window)");

    auto tests = std::make_shared<ScriptArgs>();
    cmd = commands.Add(script, "tests", "SCRIPTS.INI: families, their tests, adding a test",
                       [tests](CliContext& ctx) { return RunTests(ctx, *tests); });
    CLI::Option* family = cmd->add_option_function<std::string>(
                                 "--family",
                                 [tests](const std::string& v) {
                                     tests->family = v;
                                     tests->familyGiven = true;
                                 },
                                 "list this family's tests")
                              ->type_name("NAME");
    cmd->add_option_function<std::string>(
           "--add",
           [tests](const std::string& v) {
               tests->add = v;
               tests->addGiven = true;
           },
           "store TEST under the family")
        ->type_name("TEST")
        ->needs(family);

    auto run = std::make_shared<ScriptArgs>();
    cmd = commands.Add(script, "run", "run one step and wait for its end",
                       [run](CliContext& ctx) { return RunStep(ctx, *run); });
    AddNumber(cmd, "STEP", run->step, "the step (1-based)", 1, 0xFFFF)->required();
    AddSource(cmd, run->source);
    cmd->add_flag("--follow", run->follow, "print the progress monitor's changes while it runs");
    cmd->add_flag("--json", run->target.json, "JSON Lines: start, polls, end");
}

}  // namespace qm
