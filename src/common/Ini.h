#pragma once
// INI text read with Windows profile semantics: section and key names are
// case-insensitive, the first matching section and key win, values are
// trimmed, a missing file, section or key yields empty text.
//
// Text is code page 1252, as the program keeps it. Lines may end in LF or
// CR LF, the last one without either. A file that starts with a UTF-8 or
// UTF-16LE byte-order mark is converted to code page 1252 when it is parsed.
#include <cstdint>
#include <filesystem>
#include <map>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace qm {

class IniFile {
  public:
    IniFile() = default;
    // Parses INI text. Lines that are neither a section header nor name=value
    // are ignored.
    static IniFile Parse(std::string_view text);
    // Loads a file; a file that cannot be read gives an empty IniFile.
    static IniFile Load(const std::string& path);

    std::string Get(std::string_view section, std::string_view key) const;
    bool Has(std::string_view section, std::string_view key) const;
    // Keys of a section in file order (first occurrence only).
    std::vector<std::string> Keys(std::string_view section) const;
    bool HasSection(std::string_view section) const;
    // Section names in file order (the first spelling of each name).
    std::vector<std::string> SectionNames() const;

  private:
    struct Entry {
        std::string key, value;
    };
    struct Section {
        std::string name;
        std::vector<Entry> entries;
        // Lower-case key -> index of its first entry (large description files
        // are looked up five times a poll).
        std::unordered_map<std::string, size_t> index;
    };
    const Entry* FindEntry(std::string_view section, std::string_view key) const;
    const Section* Find(std::string_view section) const;
    std::vector<Section> sections_;
};

// Parsed INI files by path. Each file is parsed once and read again only when
// its size or modification time has changed; a missing file is an empty one.
// Lives in the Workbench, so every lookup of a data file shares one parse.
class IniCache {
  public:
    const IniFile& Get(const std::string& path);
    // How many times a file was actually parsed (for tests and benchmarks).
    uint64_t Parses() const { return parses_; }

  private:
    struct Slot {
        bool exists = false;
        uintmax_t size = 0;
        std::filesystem::file_time_type mtime{};
        IniFile ini;
    };
    std::map<std::string, Slot> files_;
    uint64_t parses_ = 0;
};

// INI text with key=value set in [section], the way the Windows profile
// functions write it: the first line of that key in the first such section
// is replaced; a new key goes after the section's last entry; a new section
// is added at the end. Every other line is kept byte for byte; new lines end
// in CR LF.
std::string IniSetValue(std::string_view text, std::string_view section, std::string_view key,
                        std::string_view value);

// The lines of a text file: ends of line are CR LF, LF or CR alone, and a
// UTF-8 byte-order mark at the start is no part of the first line.
std::vector<std::string_view> TextLines(std::string_view text);

// Reads a whole regular file (at most kMaxInputFileBytes) into a string.
// Returns false (and leaves errorText set to the reason) when the file cannot
// be read.
bool ReadWholeFile(const std::string& path, std::string& out, std::string* errorText = nullptr);

}  // namespace qm
