// The self-scan report of module 0xE6: both image formats, the CTRL dump,
// and images that end early or point outside themselves.
#include <gtest/gtest.h>

#include "TempDir.h"
#include "common/Bytes.h"
#include "common/ScriptedHost.h"
#include "common/Workbench.h"
#include "defects/SelfScanReport.h"
#include "vdrive/VirtualDrive.h"

namespace qm {
namespace {

struct Report : ::testing::Test {
    Report() : wb(host) {
        dir.Write("Errors.ini", "[ERRORS]\n0x7611=step failed\n");
        wb.programFolder = dir.path.string();
    }
    std::vector<std::string> Lines(const std::vector<uint8_t>& image) {
        std::vector<std::string> lines;
        last = WriteSelfScanReport(wb, image, [&](const std::string& l) { lines.push_back(l); });
        return lines;
    }
    test::TempDir dir;
    ScriptedHost host;
    Workbench wb;
    SelfScanLog last;
};

TEST_F(Report, SampleDriveLogWithTheSectionDump) {
    const DriveContent c = VirtualDrive::SampleContent();
    host.ctrl = true;
    const auto lines = Lines(*c.serviceArea.Module(0xE6));
    ASSERT_EQ(lines.size(), 22u);
    EXPECT_EQ(lines[0], "");
    EXPECT_EQ(lines[1], "SelfScan Log:");
    EXPECT_EQ(lines[2],
              " 0: 180      1: 184      2: 190      5: 2A0     13: 2B0     71: 2C0  "
              "   72: 2D0     ");
    EXPECT_EQ(lines[3], "");
    EXPECT_EQ(lines[4], "Test Count: 37  -  Test Time: 01:01:01:01");
    EXPECT_EQ(lines[5], " 1  3307     1     0   0   0  00:00:00  00:07:00");
    EXPECT_EQ(lines[15], "11    C8     1     A   1   0  01:40:00  01:47:00");
    EXPECT_EQ(lines[16], "12  1420     1     B   0   0  01:50:00  01:57:00");
    EXPECT_EQ(lines[17], "");
    EXPECT_EQ(lines[18], "Test1 ID: C8, Test Status: 3 , Abort Code: 7611 - step failed");
    EXPECT_EQ(lines[19], "Test2 ID: A8, Test Status: 2 , Abort Code: 760A - ");
    EXPECT_EQ(lines[20], "");
    EXPECT_EQ(lines[21], "Soft Error Counter:14, Soft Error Total:212");
    EXPECT_EQ(last.sectionCount, 80);
    EXPECT_EQ(last.history.size(), 12u);

    host.ctrl = false;  // without CTRL the dump line is left out
    EXPECT_EQ(Lines(*c.serviceArea.Module(0xE6)).size(), 21u);
}

// An older image: data at 24 whatever its header says; counts print unsigned.
TEST_F(Report, OlderImageWithLargeCounts) {
    std::vector<uint8_t> img(512, 0);
    PutU32(img.data() + 24, 0x10E);  // n = low 8 bits = 14
    PutU32(img.data() + 28 + 4 * 0, 0x100);
    PutU32(img.data() + 28 + 4 * 13, 0x110);
    PutU32(img.data() + 0x100, 0xFFFFFFF0u);
    PutU32(img.data() + 0x110, 0x80000000u);
    PutU32(img.data() + 0x114, 0xFFFFFFFFu);
    const auto lines = Lines(img);
    ASSERT_EQ(lines.size(), 7u);
    EXPECT_EQ(lines[3], "Test Count: 4294967280");
    EXPECT_EQ(lines[4], "");  // no history
    EXPECT_EQ(lines[5], "");
    EXPECT_EQ(lines[6], "Soft Error Counter:2147483648, Soft Error Total:4294967295");
    EXPECT_FALSE(last.royl);
}

// Fields outside the image are absent; lists end at size - 24.
TEST_F(Report, ShortAndCraftedImagesEndCleanly) {
    EXPECT_EQ(Lines({'R', 'O', 'Y', 'L'}).size(), 2u);  // no count field at all
    EXPECT_EQ(Lines(std::vector<uint8_t>(27, 0)).size(), 2u);

    std::vector<uint8_t> img(64, 0);
    PutU32(img.data() + 24, 14);
    PutU32(img.data() + 28, 0x7FFFFFF0u);  // T[0] far outside
    PutU32(img.data() + 32, 62);           // T[1]: a u32 that would end past the image
    PutU32(img.data() + 36, 8);            // T[2]: history from 8, stops at 40
    const auto lines = Lines(img);         // the section table stops at 40 too
    ASSERT_EQ(lines.size(), 5u);
    EXPECT_EQ(lines[3], "");
    EXPECT_EQ(last.sections.size(), 3u);
    EXPECT_TRUE(last.history.size() <= 2u);
}

}  // namespace
}  // namespace qm
