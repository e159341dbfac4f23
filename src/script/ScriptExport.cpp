#include "script/ScriptExport.h"

#include "common/Files.h"
#include "common/Format.h"
#include "common/Workbench.h"

namespace qm {
namespace {

constexpr size_t kTextCut = 80;
constexpr const char* kEol = "\r\n";

std::string Cut(std::string s) {
    if (s.size() > kTextCut) s.resize(kTextCut);
    return s;
}

void Line(std::string& out, const std::string& line) {
    out += line;
    out += kEol;
}

// A number of the xf list: decimal below 10, "0x" and upper-case hex from 10 on.
std::string TrxNumber(uint32_t v) {
    return v < 10 ? Format("%u", v) : Format("0x%X", v);
}

}  // namespace

std::string ScriptIniText(const ScriptEditor& editor) {
    std::string out;
    Line(out, "[PST Sequence]");
    for (size_t i = 0; i < editor.steps.size(); ++i) {
        const ScriptStep& s = editor.steps[i];
        const StepRecord& r = s.record;
        const std::string key = Format("%zu ", i + 1) + Cut(s.description);
        std::string value = Format("%X,%X,", s.TestId(), StepU16(r, kStepArg0));
        for (int n = 1; n <= 16; ++n) {
            const uint32_t v = StepU32(r, StepArgOffset(n));
            value += v ? Format("%X,", v) : std::string(",");
        }
        if (const uint32_t post = StepU32(r, kStepPostAction)) value += Format("%X", post);
        // "%-40s = %s": the key padded to 40, never cut.
        std::string line = key;
        if (line.size() < 40) line.append(40 - line.size(), ' ');
        Line(out, line + " = " + value);
    }
    return out;
}

std::string ScriptTrxText(const ScriptEditor& editor, const std::function<bool()>& ctrl) {
    std::string out;
    for (const char* l : {"command ExternalTest", "", "  st totaltime", "  vscon", ""})
        Line(out, l);
    for (const ScriptStep& s : editor.steps) {
        const StepRecord& r = s.record;
        const uint16_t id = s.TestId();
        const std::string title =
            ctrl && ctrl() ? Format("====== Test %.2X,%X,%.2X ======", id, StepU16(r, kStepArg0),
                                    StepU32(r, StepArgOffset(1)) & 0xFFFF)
                           : Format("%.2X ", id) + s.description;
        Line(out, "  fprintf \"\\n" + Cut(title) + "\\n\"");
        std::string list = Format("0x%X,", id) + TrxNumber(StepU16(r, kStepArg0));
        for (int n = 1; n <= 16; ++n) list += "," + TrxNumber(StepU32(r, StepArgOffset(n)));
        Line(out, "  xf " + list + ";msf");
        switch (StepU32(r, kStepPostAction) & 0xFFFF) {
            case 1:
                Line(out, "  warmb");
                break;
            case 2:
                Line(out, "  ireset;waitb;vscon");
                break;
            case 4:
                Line(out, "  reset");
                break;
            case 8:
                Line(out, "  // Repeat Test");
                break;
            default:
                break;
        }
        Line(out, "");
    }
    Line(out, "  sflog");
    Line(out, "  tso off;ts totaltime");
    Line(out,
         "  fprintf\"\\nTotal Time: %02d:%02d:%02d\\n\",Duration@totaltime/36000000,"
         "Duration@totaltime/600000 %60,Duration@totaltime/10000 %60");
    Line(out, "  STDBY");
    Line(out, "  fprintf\"\\nThe successful completion of selftest!!!\\n\";bell");
    Line(out, "ecommand");
    return out;
}

bool ExportScript(ScriptEditor& editor, ScriptExportKind kind) {
    if (editor.buffer.empty()) return false;
    Workbench& wb = editor.Bench();
    DialogState& d = wb.saveDialog;
    d.fileName = kind == ScriptExportKind::Ini ? "PST.ini" : "PST.trx";
    const bool chosen = wb.host.RunSaveDialog(d) && !d.fileName.empty();
    const std::string path = d.fileName;
    d.fileName.clear();
    if (!chosen) return false;
    const std::string text = kind == ScriptExportKind::Ini
                                 ? ScriptIniText(editor)
                                 : ScriptTrxText(editor, [&wb] { return wb.host.CtrlDown(); });
    WriteFileAtomicOrThrow(path, std::vector<uint8_t>(text.begin(), text.end()));
    return true;
}

}  // namespace qm
