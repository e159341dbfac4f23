// The drive identity as the main window and the command line build it.
#include <gtest/gtest.h>

#include "common/Bytes.h"
#include "drive/Identify.h"
#include "vdrive/VirtualDrive.h"

namespace qm {
namespace {

TEST(Identify, WordsGiveHighByteFirstAndControlBytesBecomeBlanks) {
    uint8_t s[512] = {};
    PutU16(s + 27 * 2, 0x4100);  // 'A' then 0x00
    PutU16(s + 28 * 2, 0x8142);  // 0x81 (above 0x7F) then 'B'
    EXPECT_EQ(IdentifyString(s, 27, 2), "A  B");
}

TEST(Identify, FileNameFilterKeepsModelNamesAndReplacesTheRest) {
    EXPECT_EQ(FileNameSafe("WDC WD5000AAKS-00V1A0"), "WDC WD5000AAKS-00V1A0");
    EXPECT_EQ(FileNameSafe("WDC/xyz"), "WDC_xy_");
    EXPECT_EQ(FileNameSafe("a@b`c_d.e{|}~\x7f\x80\xff"), "a@b`c_d.e_______");
}

TEST(Identify, ParsesTheThreeStringsTrimmed) {
    DriveContent c;
    c.model = "WDC WD5000AAKS-00V1A0";
    c.firmware = "05.01D05";
    c.serial = "  WD-WCAWF1939879";
    c.sectors = 1000;
    const auto sector = BuildIdentifySector(c);
    const DriveIdentity id = ParseIdentity(sector.data());
    EXPECT_EQ(IdentityLine(id), "WDC WD5000AAKS-00V1A0 FW:05.01D05 SN:WD-WCAWF1939879");
}

TEST(Identify, SilentDriveLeavesOnlyTheLabels) {
    const uint8_t zeros[512] = {};
    EXPECT_EQ(IdentityLine(ParseIdentity(zeros)), " FW: SN:");
}

TEST(Identify, BuiltSectorCarriesCapacityAndAValidIntegrityWord) {
    DriveContent c;
    c.sectors = 976773168;
    const auto s = BuildIdentifySector(c);
    EXPECT_EQ(GetU32(s.data() + 120), 0x0FFFFFFFu);
    EXPECT_EQ(GetU64(s.data() + 200), 976773168u);
    uint8_t sum = 0;
    for (uint8_t b : s) sum = static_cast<uint8_t>(sum + b);
    EXPECT_EQ(s[510], 0xA5);
    EXPECT_EQ(sum, 0);
}

}  // namespace
}  // namespace qm
