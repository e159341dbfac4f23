// The self-scan report of module 0xE6: both image formats, the CTRL dump,
// and images that end early or point outside themselves.
#include <gtest/gtest.h>

#include "TempDir.h"
#include "common/Bytes.h"
#include "common/ScriptedHost.h"
#include "common/Workbench.h"
#include "defects/SelfScanReport.h"

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
