#include "common/Ini.h"

#include "common/Cp1252.h"
#include "common/Files.h"
#include "common/Format.h"

namespace qm {
namespace {

std::string_view TrimView(std::string_view s) {
    auto blank = [](char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; };
    while (!s.empty() && blank(s.front())) s.remove_prefix(1);
    while (!s.empty() && blank(s.back())) s.remove_suffix(1);
    return s;
}

}  // namespace

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

IniFile IniFile::Parse(std::string_view raw) {
    // A byte-order mark says how the rest is encoded; without one the text is
    // code page 1252 already.
    std::string converted;
    std::string_view text = raw;
    if (raw.substr(0, 3) == "\xEF\xBB\xBF") {
        converted = Utf8ToCp1252(raw.substr(3));
        text = converted;
    } else if (raw.substr(0, 2) == "\xFF\xFE") {
        converted = Utf16LeToCp1252(raw.substr(2));
        text = converted;
    }
    IniFile ini;
    Section* current = nullptr;
    for (std::string_view raw : TextLines(text)) {
        const std::string_view line = TrimView(raw);
        if (line.empty() || line[0] == ';' || line[0] == '#') continue;
        if (line[0] == '[') {
            const size_t close = line.find(']');
            if (close == std::string_view::npos) continue;
            ini.sections_.push_back(
                Section{std::string(TrimView(line.substr(1, close - 1))), {}, {}});
            current = &ini.sections_.back();
            continue;
        }
        const size_t eq = line.find('=');
        if (eq == std::string_view::npos || current == nullptr) continue;
        current->entries.push_back(Entry{std::string(TrimView(line.substr(0, eq))),
                                         std::string(TrimView(line.substr(eq + 1)))});
        current->index.emplace(ToLower(current->entries.back().key), current->entries.size() - 1);
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

const IniFile::Entry* IniFile::FindEntry(std::string_view section, std::string_view key) const {
    // Windows profile lookup: the first section with the name, the first key in it.
    const Section* s = Find(section);
    if (!s) return nullptr;
    const auto it = s->index.find(ToLower(key));
    return it == s->index.end() ? nullptr : &s->entries[it->second];
}

std::string IniFile::Get(std::string_view section, std::string_view key) const {
    const Entry* e = FindEntry(section, key);
    return e ? e->value : std::string();
}

bool IniFile::Has(std::string_view section, std::string_view key) const {
    return FindEntry(section, key) != nullptr;
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

std::vector<std::string> IniFile::SectionNames() const {
    std::vector<std::string> names;
    for (const Section& s : sections_)
        if (Find(s.name) == &s) names.push_back(s.name);
    return names;
}

std::string IniSetValue(std::string_view text, std::string_view section, std::string_view key,
                        std::string_view value) {
    const std::string entry = std::string(key) + "=" + std::string(value);
    // Lines with their line ends, so untouched ones are copied as they are.
    std::vector<std::string_view> lines;
    for (size_t pos = 0; pos < text.size();) {
        size_t eol = text.find('\n', pos);
        eol = eol == std::string_view::npos ? text.size() : eol + 1;
        lines.push_back(text.substr(pos, eol - pos));
        pos = eol;
    }
    auto header = [](std::string_view line, std::string_view& name) {
        line = TrimView(line);
        if (line.empty() || line[0] != '[') return false;
        const size_t close = line.find(']');
        if (close == std::string_view::npos) return false;
        name = TrimView(line.substr(1, close - 1));
        return true;
    };
    size_t first = lines.size();  // the section's header line
    for (size_t i = 0; i < lines.size() && first == lines.size(); ++i) {
        std::string_view name;
        if (header(lines[i], name) && EqualsNoCase(name, section)) first = i;
    }
    std::string out;
    out.reserve(text.size() + entry.size() + section.size() + 8);
    if (first == lines.size()) {
        out.assign(text);
        if (!out.empty() && out.back() != '\n') out += "\r\n";
        out += "[" + std::string(section) + "]\r\n" + entry + "\r\n";
        return out;
    }
    size_t end = first + 1;  // one past the section's last line
    std::string_view name;
    while (end < lines.size() && !header(lines[end], name)) ++end;
    size_t replace = lines.size(), lastEntry = first;
    for (size_t i = first + 1; i < end; ++i) {
        const std::string_view line = TrimView(lines[i]);
        if (line.empty() || line[0] == ';' || line[0] == '#') continue;
        lastEntry = i;
        const size_t eq = line.find('=');
        if (replace == lines.size() && eq != std::string_view::npos &&
            EqualsNoCase(TrimView(line.substr(0, eq)), key))
            replace = i;
    }
    for (size_t i = 0; i < lines.size(); ++i) {
        if (i == replace) {
            const std::string_view l = lines[i];
            const bool crlf = l.size() >= 2 && l.substr(l.size() - 2) == "\r\n";
            out += entry + (crlf || l.back() != '\n' ? "\r\n" : "\n");
            continue;
        }
        out += lines[i];
        if (replace == lines.size() && i == lastEntry) {
            if (out.back() != '\n') out += "\r\n";
            out += entry + "\r\n";
        }
    }
    return out;
}

const IniFile& IniCache::Get(const std::string& path) {
    namespace fs = std::filesystem;
    std::error_code ec;
    Slot now;
    now.exists = fs::is_regular_file(path, ec);
    if (now.exists) {
        now.size = fs::file_size(path, ec);
        if (!ec) now.mtime = fs::last_write_time(path, ec);
        if (ec) now.exists = false;
    }
    auto it = files_.find(path);
    if (it != files_.end() && it->second.exists == now.exists && it->second.size == now.size &&
        it->second.mtime == now.mtime)
        return it->second.ini;
    if (now.exists) {
        now.ini = IniFile::Load(path);
        ++parses_;
    }
    Slot& slot = files_[path];
    slot = std::move(now);
    return slot.ini;
}

bool ReadWholeFile(const std::string& path, std::string& out, std::string* errorText) {
    std::string reason;
    if (ReadFileText(path, out, reason)) return true;
    if (errorText) *errorText = reason;
    return false;
}

}  // namespace qm
