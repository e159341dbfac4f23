#include "common/Ini.h"

#include "common/Files.h"
#include "common/Format.h"

namespace qm {

std::vector<std::string_view> TextLines(std::string_view text) {
    if (text.substr(0, 3) == "\xEF\xBB\xBF") text.remove_prefix(3);
    std::vector<std::string_view> lines;
    size_t pos = 0;
    while (pos < text.size()) {
        size_t eol = text.find_first_of("\r\n", pos);
        if (eol == std::string_view::npos) eol = text.size();
        lines.push_back(text.substr(pos, eol - pos));
        pos = eol + 1;
        if (eol < text.size() && text[eol] == '\r' && pos < text.size() && text[pos] == '\n') ++pos;
    }
    return lines;
}

IniFile IniFile::Parse(std::string_view text) {
    IniFile ini;
    Section* current = nullptr;
    for (std::string_view raw : TextLines(text)) {
        std::string line = Trim(raw);
        if (line.empty() || line[0] == ';' || line[0] == '#') continue;
        if (line[0] == '[') {
            size_t close = line.find(']');
            if (close == std::string::npos) continue;
            std::string name = Trim(std::string_view(line).substr(1, close - 1));
            ini.sections_.push_back(Section{name, {}});
            current = &ini.sections_.back();
            continue;
        }
        size_t eq = line.find('=');
        if (eq == std::string::npos || current == nullptr) continue;
        current->entries.push_back(Entry{Trim(std::string_view(line).substr(0, eq)),
                                         Trim(std::string_view(line).substr(eq + 1))});
    }
    return ini;
}

IniFile IniFile::Load(const std::string& path) {
    std::string text;
    if (!ReadWholeFile(path, text)) return IniFile{};
    return Parse(text);
}

const IniFile::Section* IniFile::Find(std::string_view section) const {
    for (const Section& s : sections_)
        if (EqualsNoCase(s.name, section)) return &s;
    return nullptr;
}

std::string IniFile::Get(std::string_view section, std::string_view key) const {
    // Windows profile lookup: the first section with the name, the first key in it.
    if (const Section* s = Find(section))
        for (const Entry& e : s->entries)
            if (EqualsNoCase(e.key, key)) return e.value;
    return {};
}

bool IniFile::Has(std::string_view section, std::string_view key) const {
    if (const Section* s = Find(section))
        for (const Entry& e : s->entries)
            if (EqualsNoCase(e.key, key)) return true;
    return false;
}

bool IniFile::HasSection(std::string_view section) const {
    return Find(section) != nullptr;
}

std::vector<std::string> IniFile::Keys(std::string_view section) const {
    std::vector<std::string> keys;
    if (const Section* s = Find(section))
        for (const Entry& e : s->entries) {
            bool seen = false;
            for (const std::string& k : keys) seen = seen || EqualsNoCase(k, e.key);
            if (!seen) keys.push_back(e.key);
        }
    return keys;
}

bool ReadWholeFile(const std::string& path, std::string& out, std::string* errorText) {
    std::string reason;
    if (ReadFileText(path, out, reason)) return true;
    if (errorText) *errorText = reason;
    return false;
}

}  // namespace qm
