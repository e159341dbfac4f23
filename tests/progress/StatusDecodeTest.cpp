// The status sector as the progress monitor shows it: every field's text.
#include <gtest/gtest.h>

#include <array>

#include "TempDir.h"
#include "common/Bytes.h"
#include "common/ScriptedHost.h"
#include "common/Workbench.h"
#include "defects/StatusDecode.h"

namespace qm {
namespace {

struct Decode : ::testing::Test {
    Decode() : wb(host) {
        dir.Write("Errors.ini",
                  "[ERRORS]\n0x0000=ok\n0x7611=failed\n0x0031=secondary\n0x0106=transfer\n"
                  "0x1D0B0=dbs text\n");
        dir.Write("ModDescr.ini", "[Desc]\nA1=Calibrate\n1F=Other test\n");
        wb.programFolder = dir.path.string();
        sector.fill(0);
    }
    StatusTexts Texts(StatusTexts start = {}) {
        DescribeStatus(wb, ParseStatusSector(sector.data()), start);
        return start;
    }
    test::TempDir dir;
    ScriptedHost host;
    Workbench wb;
    std::array<uint8_t, 512> sector{};
};

TEST_F(Decode, EveryFieldOfABusySector) {
    uint8_t* p = sector.data();
    p[0x06] = 0x50;  // status
    p[0x07] = 0xB0;
    p[0x0A] = 0xD5;
    p[0x0C] = 0x01;
    p[0x0E] = 0xBE;
    p[0x10] = 0x4F;
    p[0x11] = 0xC2;
    p[0x14] = 0x04;  // error
    p[0x15] = 0xA0;
    PutU16(p + 0x18, 0x0106);
    PutU32(p + 0x22, 0x00000005);
    PutU16(p + 0x30, 0x0031);
    PutU32(p + 0x32, 0xCAFE0001);
    p[0x36] = 6;
    p[0x37] = 0x41;
    PutU64(p + 0x38, 0x0000123480000000ULL);  // 48-bit LBA, low 32 bits >= 2^31
    PutU32(p + 0x40, static_cast<uint32_t>(-5));
    p[0x44] = 0x0B;
    p[0x45] = 0x1A;
    p[0x4A] = 38;
    p[0x4B] = 47;
    PutU16(p + 0x4C, 300);
    PutU16(p + 0x4E, 0x3);
    PutU16(p + 0x50, 0xAB);
    PutU32(p + 0x60, 0x1D0B0);
    PutU16(p + 0x68, 1234);
    p[0x6A] = 36;
    p[0x6B] = 37;
    PutU16(p + 0x190, 161);
    PutU16(p + 0x192, 0x12);
    PutU16(p + 0x194, 0x19);
    PutU16(p + 0x196, 0x7611);
    p[0x198] = 2;

    const StatusFields f = ParseStatusSector(p);
    EXPECT_TRUE(DriveStillWorking(f));
    EXPECT_EQ(f.lba, 0x123480000000ULL);
    const StatusTexts t = Texts();
    EXPECT_EQ(t.edProgress, "123.4%   ");
    EXPECT_EQ(t.edLba, "80000000  (2147483648)");
    EXPECT_EQ(t.edTrack, "-5  (-5)");
    EXPECT_EQ(t.edHead, "B");
    EXPECT_EQ(t.edZone, "1A");
    EXPECT_EQ(t.edServo, "3 : AB");
    EXPECT_EQ(t.edStatus, "0106, 7611, 0031, 00000005, CAFE0001");
    EXPECT_EQ(t.edStatusTxt, "transfer - secondary - failed");
    EXPECT_EQ(t.edStep, "ID:A1  TST:12");
    EXPECT_EQ(t.edStep1, "Calibrate CGAIN CAL");
    EXPECT_EQ(t.edDtemp, "38");
    EXPECT_EQ(t.edJtemp, "47");
    EXPECT_EQ(t.edCtemp, "300");
    EXPECT_EQ(t.edFtemp, "36 / 37");
    EXPECT_EQ(t.edAta, "D5 01 BE 4F C2 A0 B0 / 04 / 50");
    EXPECT_EQ(t.edCurState, "06 41 (IDLE2) PST test in progress");
    EXPECT_EQ(t.edActn, "Execute File");
    EXPECT_EQ(t.edDBSCode, "dbs text");
}

TEST_F(Decode, EdgesOfTheTextRules) {
    uint8_t* p = sector.data();
    PutU32(p + 0x40, 0x80000000u);  // the most negative cylinder
    p[0x37] = 0xE0;                 // no power text from 224 on
    p[0x36] = 9;                    // an unknown background state
    PutU16(p + 0x190, 0x7F);        // no description: edStep1 keeps its text
    StatusTexts before;
    before.edStep1 = "earlier";
    StatusTexts t = Texts(before);
    EXPECT_EQ(t.edTrack, "-80000000  (-2147483648)");
    EXPECT_EQ(t.edCurState, "09 E0");
    EXPECT_FALSE(DriveStillWorking(ParseStatusSector(p)));
    EXPECT_EQ(t.edStep1, "earlier");
    EXPECT_EQ(t.edStatusTxt, "ok");  // ExtErr 0 is looked up too
    EXPECT_EQ(t.edActn, "");         // action 0 shows nothing although it has a name
    EXPECT_EQ(t.edDBSCode, "");
    EXPECT_EQ(t.edProgress, "0.0%   ");

    PutU16(p + 0x190, 0x1F);  // not a self-test program: description and a blank
    p[0x198] = 2;
    EXPECT_EQ(Texts().edStep1, "Other test ");
    PutU32(p + 0x60, 0x77);  // a DBS code without a text
    EXPECT_EQ(Texts().edDBSCode, "");
}

}  // namespace
}  // namespace qm
