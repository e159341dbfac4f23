#pragma once
// Text scripts: one step per line, fields separated by commas, each field
// hexadecimal: TEST_ID, ARG0, ARG1..ARG16, POST_ACTION. Blank lines and lines
// holding a "*" are skipped. And what a file dropped on the script window
// does: a ROYL module image is loaded and parsed, a text script is imported
// into the template module.
#include <string>
#include <string_view>
#include <vector>

#include "script/ScriptEditor.h"

namespace qm {

struct ImportReport {
    int added = 0;
    // Lines that were skipped or cut short, one text each ("Line 3: ...").
    std::vector<std::string> problems;
};

// Fields of one line: split at commas, blanks around a field dropped, a blank
// inside a field ends it; an empty field keeps its place.
std::vector<std::string> SplitScriptLine(std::string_view line);
// A field's value: hexadecimal, 0 when it is empty or not a 32-bit hex number.
uint32_t ScriptFieldValue(std::string_view field);

// Inserts one step per line after the selected row (each after the one
// before), as Insert does, then stores the line's fields over the first 0x44
// bytes. Nothing when no module is loaded. A line whose TEST_ID comes out 0
// is skipped (it would end the script); fields after the 19th are ignored;
// both are reported.
ImportReport ImportTextScript(ScriptEditor& editor, std::string_view text);

enum class DropOutcome {
    Nothing,  // no such file, or a text file without a template
    Module,   // a ROYL module image, loaded and parsed
    Text,     // a text script, imported into the template module
    Refused,  // not a module and not text (or a module that is no script); why says it
};

// A file dropped on the script window. `templ` is the template module for
// text scripts (null: none). File errors throw FileError.
DropOutcome DropScriptFile(ScriptEditor& editor, const std::string& path, const ModuleImage* templ,
                           ImportReport& report, std::string& why);

}  // namespace qm
