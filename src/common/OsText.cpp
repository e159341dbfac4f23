#include "common/OsText.h"

namespace qm {

namespace {

constexpr uint32_t kPlatformWin32s = 0;
constexpr uint32_t kPlatformWindows = 1;  // the 95 / 98 / Me line
constexpr uint32_t kPlatformNt = 2;

const char* NtName(uint32_t major, uint32_t minor, uint32_t build, bool workstation) {
    switch (major) {
        case 3:
            return "Windows NT 3.51";
        case 4:
            return "Windows NT 4.0";
        case 5:
            if (minor == 0) return "Windows 2000";
            if (minor == 1) return "Windows XP";
            if (minor == 2) return "Windows Server 2003";
            return nullptr;
        case 6:
            if (minor == 0) return workstation ? "Windows Vista" : "Windows Server 2008";
            if (minor == 1) return workstation ? "Windows 7" : "Windows Server 2008 R2";
            if (minor == 2) return workstation ? "Windows 8" : "Windows Server 2012";
            if (minor == 3) return workstation ? "Windows 8.1" : "Windows Server 2012 R2";
            return nullptr;
        case 10:
            // Windows 11 and the servers after 2016 kept version 10.0; only the
            // build tells them apart.
            if (workstation) return build >= 22000 ? "Windows 11" : "Windows 10";
            if (build > 17763) return "Windows Server 2022";
            if (build >= 14394) return "Windows Server 2019";
            return "Windows Server 2016";
        default:
            return nullptr;
    }
}

}  // namespace

std::string WindowsVersionName(uint32_t platformId, uint32_t major, uint32_t minor, uint32_t build,
                               bool workstation) {
    const char* name = nullptr;
    if (platformId == kPlatformWin32s) {
        name = "Win32s";
    } else if (platformId == kPlatformWindows) {
        if (major == 4 && build == 950)
            name = "Windows 95";
        else if (major == 4 && minor == 10 && build == 1998)
            name = "Windows 98";
        else if (minor == 90)
            name = "Windows Me";
    } else if (platformId == kPlatformNt) {
        name = NtName(major, minor, build, workstation);
    }
    return name ? name : "Windows";
}

std::string OsReleaseValue(std::string_view text, std::string_view key) {
    // The file is shell assignments: a later line of the same key wins.
    std::string found;
    size_t pos = 0;
    while (pos < text.size()) {
        size_t eol = text.find('\n', pos);
        if (eol == std::string_view::npos) eol = text.size();
        std::string_view line = text.substr(pos, eol - pos);
        pos = eol + 1;
        while (!line.empty() && (line.front() == ' ' || line.front() == '\t'))
            line.remove_prefix(1);
        while (!line.empty() && (line.back() == '\r' || line.back() == ' ' || line.back() == '\t'))
            line.remove_suffix(1);
        const size_t eq = line.find('=');
        if (line.empty() || line.front() == '#' || eq == std::string_view::npos ||
            line.substr(0, eq) != key)
            continue;
        std::string_view raw = line.substr(eq + 1);
        std::string value;
        char quote = 0;
        for (size_t i = 0; i < raw.size(); ++i) {
            const char c = raw[i];
            if (quote == 0 && (c == '"' || c == '\'')) {
                quote = c;
            } else if (c == quote) {
                quote = 0;
            } else if (c == '\\' && quote != '\'' && i + 1 < raw.size() &&
                       (quote == 0 ||
                        std::string_view("\\\"$`").find(raw[i + 1]) != std::string_view::npos)) {
                value += raw[++i];
            } else {
                value += c;
            }
        }
        found = std::move(value);
    }
    return found;
}

}  // namespace qm
