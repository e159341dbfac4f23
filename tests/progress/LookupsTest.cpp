// The shared lookups: elapsed-time text, INI reading and caching, the key
// formats of Errors.ini and ModDescr.ini, and the two built-in name tables.
#include <gtest/gtest.h>

#include <filesystem>

#include "TempDir.h"
#include "common/Format.h"
#include "common/Ini.h"
#include "common/ScriptedHost.h"
#include "common/Workbench.h"
#include "defects/Lookups.h"

namespace qm {
namespace {

TEST(FormatElapsed, DayPrefixOnlyAboveTwentyFourHours) {
    EXPECT_EQ(FormatElapsed(59), "00:00:59");
    EXPECT_EQ(FormatElapsed(5000), "01:23:20");
    EXPECT_EQ(FormatElapsed(86400), "24:00:00");
    EXPECT_EQ(FormatElapsed(89999), "24:59:59");
    EXPECT_EQ(FormatElapsed(90000), "01:01:00:00");
    EXPECT_EQ(FormatElapsed(90061), "01:01:01:01");
    EXPECT_EQ(FormatElapsed(864000), "10:00:00:00");
    EXPECT_EQ(FormatElapsed(0xFFFFFFFFu), "49710:06:28:15");
}

TEST(IniFile, ByteOrderMarksLineEndsAndALastLineWithoutNewline) {
    // UTF-8 with a mark: the en dash becomes code page 1252's 0x96.
    const IniFile utf8 = IniFile::Parse("\xEF\xBB\xBF[ERRORS]\r\n0x7611=A \xE2\x80\x93 B\r\n0x1=x");
    EXPECT_EQ(utf8.Get("errors", "0X7611"), "A \x96 B");
    EXPECT_EQ(utf8.Get("ERRORS", "0x1"), "x");
    const IniFile utf16 = IniFile::Parse(std::string("\xFF\xFE[\0D\0]\0\n\0A\0=\0\xE9\0", 16));
    EXPECT_EQ(utf16.Get("D", "a"), "\xE9");
    // Without a mark the bytes are code page 1252 already; the first key wins.
    const IniFile plain = IniFile::Parse("[Desc]\nA1=one\na1=two\n[desc]\nB2=later\n");
    EXPECT_EQ(plain.Get("DESC", "A1"), "one");
    EXPECT_EQ(plain.Get("Desc", "B2"), "");  // only the first section of a name counts
}

TEST(IniCache, ParsesOnceAndAgainOnlyWhenTheFileChanges) {
    test::TempDir dir;
    IniCache cache;
    const std::string path = dir.File("Errors.ini");
    EXPECT_EQ(cache.Get(path).Get("ERRORS", "0x0001"), "");  // missing file
    dir.Write("Errors.ini", "[ERRORS]\n0x0001=first\n");
    EXPECT_EQ(cache.Get(path).Get("ERRORS", "0x0001"), "first");
    for (int i = 0; i < 100; ++i) cache.Get(path);
    EXPECT_EQ(cache.Parses(), 1u);
    dir.Write("Errors.ini", "[ERRORS]\n0x0001=second text\n");  // another size
    EXPECT_EQ(cache.Get(path).Get("ERRORS", "0x0001"), "second text");
    EXPECT_EQ(cache.Parses(), 2u);
    std::filesystem::remove(path);
    EXPECT_EQ(cache.Get(path).Get("ERRORS", "0x0001"), "");
}

TEST(Lookups, KeyFormatsOfBothFiles) {
    test::TempDir dir;
    dir.Write("Errors.ini",
              "[ERRORS]\n0x0000=zero\n0x7611=step failed\n0x01234=dbs small\n0x1234=not dbs\n"
              "0x12345678=dbs wide\n");
    dir.Write("ModDescr.ini",
              "[Desc]\n05=five\n0100=id 100\n1F=one-F\n2401=dir\n[HOST_SEQ]\n8001=host\n"
              "[ARCO]\n0A=arco\n");
    ScriptedHost host;
    Workbench wb(host);
    wb.programFolder = dir.path.string();
    EXPECT_EQ(ErrorText(wb, 0), "zero");
    EXPECT_EQ(ErrorText(wb, 0x7611), "step failed");
    EXPECT_EQ(ErrorText5(wb, 0x1234), "dbs small");  // five digits: "0x01234"
    EXPECT_EQ(ErrorText5(wb, 0x12345678), "dbs wide");
    EXPECT_EQ(ErrorText(wb, 0x7612), "");
    EXPECT_EQ(DescribeTest(wb, 5), "five");
    EXPECT_EQ(DescribeTest(wb, 0x100), "id 100");
    EXPECT_EQ(DescribeTest(wb, 0x1F), "one-F");
    EXPECT_EQ(DescribeTest(wb, 0x2401), "dir");
    EXPECT_EQ(HostSequenceName(wb, 0x8001), "host");
    EXPECT_EQ(ArcoName(wb, 0x0A), "arco");
    wb.dataFilesFolder = (dir.path / "nowhere").string();  // --data-dir wins
    EXPECT_EQ(ErrorText(wb, 0x7611), "");
    EXPECT_EQ(DescribeTest(wb, 5), "");
}

TEST(Lookups, BuiltInTablesKeepTheFirmwareNames) {
    EXPECT_EQ(VscActionName(0), "Disable VSC Commands Set");
    EXPECT_EQ(VscActionName(30), "Write/Compare All with ID\x92s");
    EXPECT_EQ(VscActionName(92), "Return Tack Information");
    EXPECT_EQ(VscActionName(27), VscActionName(83));
    EXPECT_EQ(VscActionName(173), "");
    EXPECT_EQ(VscActionName(240), "AC240");
    EXPECT_EQ(VscActionName(241), "");
    EXPECT_EQ(TestStepName(161, 2), "CGAIN CAL");
    EXPECT_EQ(TestStepName(161, 9), "");
    EXPECT_EQ(TestStepName(0x1F, 2), "");  // not a self-test program
    EXPECT_EQ(TestStepName(10510, 77), "TPI CAL S2");
    EXPECT_EQ(TestStepName(10509, 77), "");
    EXPECT_EQ(TestStepName(10500, 202), "OVERWRITE DVT");
    EXPECT_EQ(TestStepName(10501, 202), "");
}

}  // namespace
}  // namespace qm
