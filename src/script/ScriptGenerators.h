#pragma once
// The script generators: steps built from what the drive keeps in other
// service-area modules, each made by the editor's Insert (after the selected
// row, each after the one before, every later row renumbered as Insert does)
// and then filled in. Nothing is written to the drive.
//
// ARCO         the ARCO adaptive steps with the head/zone pair of module
//              0x47 when the user includes test 2403; otherwise the ARCO
//              blocks of modules 0x2000..0x20C0, placed by the drive family
//              of module 0x21.
// E6           the script the drive last ran, from the self-scan log 0xE6:
//              the table at header + 4 gives (entry 71) the step count and
//              (entry 72) the first of the 68-byte step heads.
// PTM history  the tests of the PTM history 0x1100: 192-byte entries from
//              header + 0x22, test id at +8, ARG0 at +10, ARG1..ARG4 from +12.
// DIR          one 0x24xx step for every 0x25xx module the module directory
//              0x01 lists.
//
// A module that cannot be read ends a generator quietly (the ARCO blocks
// and the head/zone pair are taken as zero instead). A module shorter than
// its own tables claim stops the generator with a message naming it; the
// steps made until then stay.
#include <cstdint>
#include <functional>
#include <string>

#include "script/ScriptEditor.h"

namespace qm {

enum class ScriptGenerator { Arco, E6, PtmHistory, Dir };

// How a generator reaches the world: the module reads and the include
// prompts ("add test 3307?").
struct GeneratorIo {
    std::function<bool(uint16_t id, ModuleImage& image)> readModule;
    std::function<bool(uint16_t testId)> include;
};

// The window's way: ReadModuleOrFile (SHIFT: a file per read) and the main
// window's open dialog as the include prompt (any file chosen = yes).
GeneratorIo WindowGeneratorIo(Workbench& wb);
// The include prompt: the open dialog with the filter "Module " + id +
// "|*" + id + "*.rpm|All|*.*" (id: upper-case hex, two digits at least);
// the chosen file is not read. Afterwards the dialog's file name is cleared
// and its filter is "All|*.*".
bool IncludePrompt(Workbench& wb, uint16_t testId);

struct GenerateResult {
    int added = 0;
    // Why the generator stopped early on a bad source module (empty when it
    // did not).
    std::string message;
};

// Runs a generator on the editor. Nothing happens before a module has been
// parsed.
GenerateResult GenerateScript(ScriptEditor& editor, ScriptGenerator kind, const GeneratorIo& io);

// "arco", "e6", "ptm", "dir".
bool ParseGeneratorName(const std::string& name, ScriptGenerator& kind);

}  // namespace qm
