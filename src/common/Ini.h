#pragma once
// INI text read with Windows profile semantics: section and key names are
// case-insensitive, the first matching section and key win, values are
// trimmed, a missing file, section or key yields empty text.
#include <string>
#include <string_view>
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

  private:
    struct Entry {
        std::string key, value;
    };
    struct Section {
        std::string name;
        std::vector<Entry> entries;
    };
    const Section* Find(std::string_view section) const;
    std::vector<Section> sections_;
};

// The lines of a text file: ends of line are CR LF, LF or CR alone, and a
// UTF-8 byte-order mark at the start is no part of the first line.
std::vector<std::string_view> TextLines(std::string_view text);

// Reads a whole regular file (at most kMaxInputFileBytes) into a string.
// Returns false (and leaves errorText set to the reason) when the file cannot
// be read.
bool ReadWholeFile(const std::string& path, std::string& out, std::string* errorText = nullptr);

}  // namespace qm
