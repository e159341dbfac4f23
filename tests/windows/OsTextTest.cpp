#include <gtest/gtest.h>

#include "common/OsText.h"

namespace qm {
namespace {

struct VersionCase {
    uint32_t platform, major, minor, build;
    bool workstation;
    const char* name;
};

// Every row of the release table, with the neighbours that must not match it.
const VersionCase kCases[] = {
    {0, 3, 10, 0, false, "Win32s"},
    {0, 0, 0, 0, true, "Win32s"},
    // 95 / 98 / Me line
    {1, 4, 0, 950, false, "Windows 95"},
    {1, 4, 0, 951, false, "Windows"},
    {1, 4, 10, 1998, false, "Windows 98"},
    {1, 4, 10, 2222, false, "Windows"},  // 98 SE is not in the table
    {1, 4, 10, 950, false, "Windows 95"},
    {1, 4, 90, 3000, false, "Windows Me"},
    {1, 5, 90, 0, false, "Windows Me"},
    {1, 3, 0, 0, false, "Windows"},
    // NT line
    {2, 3, 51, 1057, true, "Windows NT 3.51"},
    {2, 4, 0, 1381, false, "Windows NT 4.0"},
    {2, 5, 0, 2195, true, "Windows 2000"},
    {2, 5, 1, 2600, true, "Windows XP"},
    {2, 5, 2, 3790, false, "Windows Server 2003"},
    {2, 5, 3, 0, true, "Windows"},
    {2, 6, 0, 6002, true, "Windows Vista"},
    {2, 6, 0, 6002, false, "Windows Server 2008"},
    {2, 6, 1, 7601, true, "Windows 7"},
    {2, 6, 1, 7601, false, "Windows Server 2008 R2"},
    {2, 6, 2, 9200, true, "Windows 8"},
    {2, 6, 2, 9200, false, "Windows Server 2012"},
    {2, 6, 3, 9600, true, "Windows 8.1"},
    {2, 6, 3, 9600, false, "Windows Server 2012 R2"},
    {2, 6, 4, 9841, true, "Windows"},
    {2, 10, 0, 19045, true, "Windows 10"},
    {2, 10, 0, 21999, true, "Windows 10"},
    {2, 10, 0, 22000, true, "Windows 11"},
    {2, 10, 0, 26100, true, "Windows 11"},
    {2, 10, 0, 14393, false, "Windows Server 2016"},
    {2, 10, 0, 14394, false, "Windows Server 2019"},
    {2, 10, 0, 17763, false, "Windows Server 2019"},
    {2, 10, 0, 17764, false, "Windows Server 2022"},
    {2, 10, 0, 20348, false, "Windows Server 2022"},
    {2, 7, 0, 0, true, "Windows"},
    {2, 11, 0, 30000, true, "Windows"},
    {3, 10, 0, 22000, true, "Windows"},  // no such platform in the table
};

TEST(WindowsVersionName, EveryRowOfTheTableAndItsNeighbours) {
    for (const VersionCase& c : kCases)
        EXPECT_EQ(WindowsVersionName(c.platform, c.major, c.minor, c.build, c.workstation), c.name)
            << "platform " << c.platform << ", " << c.major << "." << c.minor << "." << c.build
            << (c.workstation ? " workstation" : " server");
}

TEST(OsRelease, QuotesAndEscapesByTheFilesOwnRules) {
    const char* text =
        "# PRETTY_NAME=\"commented out\"\n"
        "NAME='Single \"quoted\"'\n"
        "PRETTY_NAME=\"Debian GNU/Linux 12 (bookworm)\"\r\n"
        "VERSION=\"say \\\"12\\\" for \\$5\"\n"
        "ID=debian\n"
        "ID=ubuntu\n";
    EXPECT_EQ(OsReleaseValue(text, "PRETTY_NAME"), "Debian GNU/Linux 12 (bookworm)");
    EXPECT_EQ(OsReleaseValue(text, "NAME"), "Single \"quoted\"");
    EXPECT_EQ(OsReleaseValue(text, "VERSION"), "say \"12\" for $5");
    EXPECT_EQ(OsReleaseValue(text, "ID"), "ubuntu");  // shell assignments: the last wins
    EXPECT_EQ(OsReleaseValue(text, "VARIANT"), "");
}

}  // namespace
}  // namespace qm
