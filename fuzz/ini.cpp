// INI text (the data files, drive.ini, SCRIPTS.INI): parsing, every lookup,
// and a value set into the text and read back.
#include "common/Ini.h"
#include "fuzz/FuzzInput.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    qm::fuzz::FuzzInput in(data, size);
    const auto keyBytes = in.Tail(in.Byte() % 16);
    const std::string key(keyBytes.begin(), keyBytes.end());
    const std::string text = in.RestText();
    const qm::IniFile ini = qm::IniFile::Parse(text);
    std::string section;
    for (const std::string& s : ini.SectionNames()) {
        section = s;
        for (const std::string& k : ini.Keys(s)) (void)ini.Get(s, k);
    }
    (void)qm::TextLines(text);
    // A key name with '=' or a line break cannot be stored; the rest must read back.
    const std::string after =
        qm::IniSetValue(text, section.empty() ? "S" : section, key.empty() ? "K" : key, "value");
    (void)qm::IniFile::Parse(after);
    return 0;
}
