// A script module parsed into steps, edited with a random sequence of the
// editor's commands and written back into the module, which must parse again.
// Also the text import of a script (the same bytes read as text).
#include "common/ScriptedHost.h"
#include "common/Workbench.h"
#include "fuzz/FuzzInput.h"
#include "script/ScriptEditor.h"
#include "script/ScriptText.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    qm::fuzz::FuzzInput in(data, size);
    std::vector<uint8_t> edits = in.Tail(in.Byte() % 32);
    qm::ScriptedHost host;
    qm::Workbench wb(host);
    qm::ScriptEditor editor(wb);
    editor.buffer = in.Rest();
    const qm::ModuleImage module = editor.buffer;
    std::string why;
    if (editor.Parse(why) == qm::ParseOutcome::Parsed) {
        for (uint8_t e : edits) {
            const int rows = static_cast<int>(editor.steps.size());
            switch (e % 16) {
                case 0:
                    editor.Insert();
                    break;
                case 1:
                    editor.Delete();
                    break;
                case 2:
                    editor.MoveDown();
                    break;
                case 3:
                    editor.MoveUp();
                    break;
                case 4:
                    editor.ClearStepLog(e / 16 - 1);
                    break;
                case 5:
                    editor.ClearScriptLog();
                    break;
                case 6:
                    editor.SetGotosToEnd();
                    break;
                case 7:
                    editor.SetGotosToStop();
                    break;
                case 8:
                    editor.SetGotosStepByStep();
                    break;
                case 9:
                    editor.Upgrade();
                    break;
                case 10:
                    editor.DeleteEndAndMarkerSteps();
                    break;
                case 11:
                    editor.Select(rows ? (e / 16) % rows : -1);
                    break;
                case 12:
                    editor.PatchRecord(rows ? (e / 16) % rows : 0, qm::StepRecord(e / 8, e));
                    break;
                case 13:
                    editor.Clear();
                    break;
                default:
                    editor.Select(rows ? rows - 1 : -1);
                    break;
            }
            (void)editor.Caption();
            (void)editor.RowCaption();
        }
        // Write-back only when the list fits, as Write checks first.
        if (static_cast<int64_t>(editor.steps.size()) <= editor.maxSteps) {
            const size_t length = editor.buffer.size();
            editor.Serialize();
            if (editor.buffer.size() != length) __builtin_trap();  // the buffer keeps its length
            qm::ScriptEditor again(wb);
            again.buffer = editor.buffer;
            (void)again.Parse(why);
        }
    }
    // Inputs that start as text are also tried as a text script.
    if (module.empty() || module[0] < 0x20 || module[0] > 0x7E) return 0;
    qm::ScriptEditor text(wb);
    text.buffer = qm::ScriptTemplateModule();
    if (text.Parse(why) == qm::ParseOutcome::Parsed)
        (void)qm::ImportTextScript(
            text, std::string_view(reinterpret_cast<const char*>(module.data()), module.size()));
    return 0;
}
