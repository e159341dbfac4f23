#pragma once
// The step list as an INI file ("PST.ini") and as a text script for the
// external test-script interpreter ("PST.trx"). Both are code page 1252 with
// CR LF after every line, the last one included.
//
// PST.ini: "[PST Sequence]", then one line per step, "%-40s = %s": the key is
// the step number and the description cut to 80 characters; the value is
// TEST_ID and ARG0 in hex, each followed by ",", then ARG1..ARG16 each as hex
// and "," (a zero one as "," alone), then POST_ACTION in hex (nothing when 0).
//
// PST.trx: a fixed head, per step a title line, an "xf" command line with
// TEST_ID and ARG0..ARG16 (decimal below 10, "0x" + hex from 10 on), an
// action line for POST_ACTION 1, 2, 4 or 8, an empty line; a fixed tail. The
// backslashes and percent signs of the interpreter's language are written as
// they stand.
#include <functional>
#include <string>

#include "script/ScriptEditor.h"

namespace qm {

std::string ScriptIniText(const ScriptEditor& editor);
// `ctrl` is asked once per step (CTRL held: the title names the test by its
// id and first two arguments instead of its description).
std::string ScriptTrxText(const ScriptEditor& editor, const std::function<bool()>& ctrl);

enum class ScriptExportKind { Ini, Trx };

// Export to INI / Export to TRX: nothing when no module is loaded; the save
// dialog proposes "PST.ini" / "PST.trx" (its file name cleared afterwards);
// the file is written whole or not at all (file errors throw FileError, an
// old file stays). True when a file was written.
bool ExportScript(ScriptEditor& editor, ScriptExportKind kind);

}  // namespace qm
