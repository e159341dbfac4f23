// INI reading with profile semantics and the number formats of edit fields.
#include <gtest/gtest.h>

#include "common/Format.h"
#include "common/Ini.h"

namespace qm {
namespace {

TEST(Ini, NamesAreCaseInsensitiveAndTheFirstMatchWins) {
    const IniFile ini = IniFile::Parse(
        "garbage line\n"
        "key=before any section\n"
        "[Identity]\r\n"
        "  Model = WDC WD5000AAKS  \n"
        "model=second\n"
        "[ bad\n"
        "[identity]\n"
        "Serial=from the second section\n"
        "[Smart]\n"
        "Status=failing");
    EXPECT_EQ(ini.Get("IDENTITY", "MODEL"), "WDC WD5000AAKS");
    EXPECT_EQ(ini.Get("identity", "serial"), "") << "only the first section of a name counts";
    EXPECT_EQ(ini.Get("Smart", "Status"), "failing");
    EXPECT_EQ(ini.Get("Nope", "Status"), "");
    EXPECT_FALSE(ini.Has("Identity", "Firmware"));
}

TEST(Ini, ByteOrderMarkAndEveryKindOfLineEnd) {
    // Saved by an editor that writes a UTF-8 mark and old Mac line ends.
    const IniFile ini = IniFile::Parse("\xEF\xBB\xBF[Identity]\rModel=WDC\r\nSerial=WD-1\n");
    EXPECT_EQ(ini.Get("Identity", "Model"), "WDC");
    EXPECT_EQ(ini.Get("Identity", "Serial"), "WD-1");
    EXPECT_EQ(TextLines("a\r\rb\r\n").size(), 3u);  // "a", "", "b"
}

TEST(Ini, MissingFileIsEmpty) {
    EXPECT_EQ(IniFile::Load("/nonexistent/dir/x.ini").Get("a", "b"), "");
}

TEST(Format, FieldNumbersAreDecimalOrDollarHex) {
    long long v = 0;
    EXPECT_TRUE(ParseFieldNumber("1234", v));
    EXPECT_EQ(v, 1234);
    EXPECT_TRUE(ParseFieldNumber(" $1F ", v));
    EXPECT_EQ(v, 31);
    EXPECT_TRUE(ParseFieldNumber("-5", v));
    EXPECT_EQ(v, -5);
    EXPECT_FALSE(ParseFieldNumber("0x10", v));
    EXPECT_FALSE(ParseFieldNumber("$", v));
    EXPECT_FALSE(ParseFieldNumber("99999999999999999999999", v));
    unsigned long long h = 0;
    EXPECT_TRUE(ParseHex("0x01F0", h));
    EXPECT_EQ(h, 0x1F0u);
    EXPECT_FALSE(ParseHex("G1", h));
    EXPECT_EQ(Format("%04X|%x", 0x1F0, 0x3F6), "01F0|3f6");
    EXPECT_EQ(Format("%s", std::string(300, 'x').c_str()).size(), 300u);
}

}  // namespace
}  // namespace qm
