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

}  // namespace qm
