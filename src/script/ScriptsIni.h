#pragma once
// SCRIPTS.INI in the data folder: the script window's named tests per drive
// family. Sections are families, keys are test names, values stay empty.
#include <string>
#include <vector>

namespace qm {

struct Workbench;

constexpr const char* kScriptsIni = "SCRIPTS.INI";
constexpr const char* kNeedNameMessage = "Need Enter Name";

std::vector<std::string> ScriptFamilies(Workbench& wb);
std::vector<std::string> ScriptFamilyTests(Workbench& wb, const std::string& family);
// Stores `test` with an empty value under [family]. False, with "Need Enter
// Name" in message, when either name is blank; a file that cannot be
// written throws FileError (the file is replaced whole or not at all).
bool AddScriptTest(Workbench& wb, const std::string& family, const std::string& test,
                   std::string& message);

}  // namespace qm
