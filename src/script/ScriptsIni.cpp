#include "script/ScriptsIni.h"

#include <filesystem>

#include "common/Files.h"
#include "common/Format.h"
#include "common/Ini.h"
#include "common/Workbench.h"
#include "defects/Lookups.h"

namespace qm {

std::vector<std::string> ScriptFamilies(Workbench& wb) {
    return wb.dataFiles.Get(DataFilePath(wb, kScriptsIni)).SectionNames();
}

std::vector<std::string> ScriptFamilyTests(Workbench& wb, const std::string& family) {
    return wb.dataFiles.Get(DataFilePath(wb, kScriptsIni)).Keys(Trim(family));
}

bool AddScriptTest(Workbench& wb, const std::string& family, const std::string& test,
                   std::string& message) {
    const std::string f = Trim(family), t = Trim(test);
    if (f.empty() || t.empty()) {
        message = kNeedNameMessage;
        return false;
    }
    const std::string path = DataFilePath(wb, kScriptsIni);
    std::string text;
    std::error_code ec;
    if (std::filesystem::exists(path, ec)) {
        const std::vector<uint8_t> bytes = ReadFileBytesOrThrow(path);
        text.assign(bytes.begin(), bytes.end());
    }
    const std::string out = IniSetValue(text, f, t, "");
    WriteFileAtomicOrThrow(path, std::vector<uint8_t>(out.begin(), out.end()));
    return true;
}

}  // namespace qm
