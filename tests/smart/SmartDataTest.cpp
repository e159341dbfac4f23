// Decoding of the attribute sectors and the texts of the attribute list.
#include <gtest/gtest.h>

#include <cstring>
#include <initializer_list>
#include <set>

#include "common/Cp1252.h"
#include "smart/SmartData.h"

namespace qm {
namespace {

void PutSlot(SmartSector& s, int k, uint8_t id, uint8_t flags, uint8_t value, uint8_t worst,
             std::initializer_list<uint8_t> raw) {
    uint8_t* e = s.data() + 2 + 12 * k;
    e[0] = id;
    e[1] = flags;
    e[3] = value;
    e[4] = worst;
    int i = 0;
    for (uint8_t b : raw) e[5 + i++] = b;
}

void PutThreshold(SmartSector& s, int k, uint8_t id, uint8_t threshold) {
    s[2 + 12 * k] = id;
    s[3 + 12 * k] = threshold;
}

uint64_t Raw(std::initializer_list<uint8_t> bytes) {
    uint64_t r = 0;
    int i = 0;
    for (uint8_t b : bytes) r |= static_cast<uint64_t>(b) << (8 * i++);
    return r;
}

TEST(SmartDecode, FirstSlotEmptyGivesNoAttributes) {
    SmartSector data{}, thr{};
    PutSlot(data, 1, 9, 0x32, 100, 100, {1});  // behind the empty slot: never reached
    EXPECT_TRUE(DecodeSmartAttributes(data, thr).empty());
}

TEST(SmartDecode, FortyTwoFullSlotsAllReadFromTheSectorAndNoFurther) {
    SmartSector data{}, thr{};
    for (int k = 0; k < kSmartSlots; ++k) {
        PutSlot(data, k, static_cast<uint8_t>(k + 1), 0x32, static_cast<uint8_t>(100 + k), 90,
                {static_cast<uint8_t>(k), 0, 0, 0, 0, 0, static_cast<uint8_t>(k)});
        PutThreshold(thr, k, static_cast<uint8_t>(k + 1), static_cast<uint8_t>(k));
    }
    // Bytes past the 42nd slot must not become a 43rd attribute.
    std::memset(data.data() + 506, 0xEE, 6);
    const auto attrs = DecodeSmartAttributes(data, thr);
    ASSERT_EQ(attrs.size(), 42u);
    const SmartAttribute& last = attrs[41];
    EXPECT_EQ(last.slot, 41);
    EXPECT_EQ(last.id, 42);
    EXPECT_EQ(last.value, 141);
    EXPECT_EQ(last.threshold, 41);
    // The seventh raw byte belongs to the number.
    EXPECT_EQ(last.raw, (uint64_t{41} << 48) | 41u);
    EXPECT_EQ(attrs[30].id, 31);  // slots 30..41 decode like the first thirty
}

TEST(SmartDecode, ThresholdsFollowSlotPositionNotId) {
    SmartSector data{}, thr{};
    PutSlot(data, 0, 5, 0x33, 200, 200, {});
    PutSlot(data, 1, 5, 0x33, 190, 190, {3});
    PutSlot(data, 2, 9, 0x32, 90, 90, {});
    // The threshold sector lists the ids in another order: position wins.
    PutThreshold(thr, 0, 9, 140);
    PutThreshold(thr, 1, 5, 100);
    PutThreshold(thr, 2, 5, 7);
    const auto attrs = DecodeSmartAttributes(data, thr);
    ASSERT_EQ(attrs.size(), 3u);
    EXPECT_EQ(attrs[0].id, 5);
    EXPECT_EQ(attrs[0].threshold, 140);
    EXPECT_EQ(attrs[1].id, 5);
    EXPECT_EQ(attrs[1].threshold, 100);
    EXPECT_EQ(attrs[1].raw, 3u);
    EXPECT_EQ(attrs[2].threshold, 7);
}

TEST(SmartRaw, TemperatureWords) {
    EXPECT_EQ(SmartRawText(194, Raw({0x26, 0, 0x14, 0, 0x2D, 0, 0})),
              "45/20/38\xB0"
              "C");
    EXPECT_EQ(SmartRawText(194, Raw({0x26, 0, 0, 0, 0, 0, 0})),
              "38\xB0"
              "C");
    // With w1 and w2 empty the top byte is ignored.
    EXPECT_EQ(SmartRawText(190, Raw({0x1F, 0, 0, 0, 0, 0, 0x07})),
              "31\xB0"
              "C");
    EXPECT_EQ(SmartRawText(231, Raw({1, 0, 2, 0, 3, 0, 4})),
              "4/3/2/1\xB0"
              "C");
}

TEST(SmartRaw, CounterWordsAndPlainNumbers) {
    EXPECT_EQ(SmartRawText(9, Raw({0x10, 0x27, 0, 0, 0, 0, 0})), "10000");
    EXPECT_EQ(SmartRawText(241, Raw({0, 0, 0, 0, 1, 0, 0})), "4294967296");
    EXPECT_EQ(SmartRawText(5, Raw({1, 0, 0, 0, 2, 0, 0})), "2/0/1");
    EXPECT_EQ(SmartRawText(240, Raw({1, 0, 0, 0, 0, 0, 3})), "3/0/0/1");
    // 169 counts though it has no name; 1 is no counter and shows the number.
    EXPECT_EQ(SmartRawText(169, Raw({7, 0, 1, 0})), "0/1/7");
    EXPECT_EQ(SmartRawText(1, Raw({7, 0, 1, 0})), "65543");
    EXPECT_EQ(SmartRawText(250, Raw({0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF})),
              "72057594037927935");
}

TEST(SmartHealth, Bars) {
    EXPECT_EQ(HealthBar(100, 100, 100), "*");          // divisor forced to 1, n = 0
    EXPECT_EQ(HealthBar(200, 0, 253), "*********");    // ceiling 235, n = 85
    EXPECT_EQ(HealthBar(100, 0, 100), "**********");   // n = 100: ten limits below it
    EXPECT_EQ(HealthBar(200, 0, 200), "**********");   // ceiling 200
    EXPECT_EQ(HealthBar(255, 0, 255), "***********");  // n = 108: the full eleven
    EXPECT_EQ(HealthBar(139, 21, 138), "*******");     // ceiling 200, n = 66
    EXPECT_EQ(HealthBar(31, 20, 31), "**");            // n = 13
    // A limit counts only when strictly below n.
    EXPECT_EQ(HealthBar(11, 0, 11), "*");
    EXPECT_EQ(HealthBar(12, 0, 12), "**");
}

TEST(SmartHealth, CeilingBelowThresholdAndFailedValues) {
    // Threshold above the ceiling: negative divisor, one star.
    EXPECT_EQ(HealthBar(250, 240, 250), "*");
    // A value under its threshold has failed; it must not read as healthy.
    EXPECT_EQ(HealthBar(1, 140, 200), "*");
    EXPECT_EQ(HealthBar(50, 100, 100), "*");
}

TEST(SmartFlags, CodesAndLegend) {
    EXPECT_EQ(SmartFlagsText(0x33), "L  Pf C  S  ");
    EXPECT_EQ(SmartFlagsText(0xC0), "");
    EXPECT_EQ(SmartFlagsText(0xFF), "L  Pf Pr Er C  S  ");
    const std::string legend = SmartFlagsLegend();
    EXPECT_EQ(std::count(legend.begin(), legend.end(), '\n'), 5);
    EXPECT_EQ(legend.rfind("L (Life Critical)", 0), 0u);
    EXPECT_NE(legend.find("\nS (Self-preserve): value of attribute automatically is updated and "
                          "remains."),
              std::string::npos);
}

TEST(SmartNames, TableEntriesByteForByte) {
    EXPECT_EQ(SmartAttrName(194),
              "HDA Temperature \xB0"
              "C (Cur/Max/Min)");
    EXPECT_EQ(SmartAttrName(231),
              "HDA Temperature %\xF8"
              "C at WrCom");
    EXPECT_EQ(SmartAttrName(204), "Soft ECC Correction / Shock Count Write Operation  (Fujitsu)");
    EXPECT_EQ(SmartAttrName(218), "FlashROM ECC Corr. count  (IBM)");
    EXPECT_EQ(SmartAttrName(0), "Invalid attribute identifier (not in used)");
    EXPECT_EQ(SmartAttrName(254), "Free Fall Protection / G-SENSOR Shock Counter");
    EXPECT_EQ(SmartAttrName(255), "Unknown Attributes");
    EXPECT_EQ(SmartAttrName(169), "Unknown Attributes");
    int known = 0;
    std::set<std::string> seen;
    for (int id = 0; id < 256; ++id) {
        const std::string name = SmartAttrName(static_cast<uint8_t>(id));
        ASSERT_FALSE(name.empty());
        if (name != "Unknown Attributes") ++known;
    }
    EXPECT_EQ(known, 89);
}

TEST(SmartExport, LinesAndLogText) {
    SmartAttribute a;
    a.id = 194;
    a.flags = 0x22;
    a.value = 105;
    a.worst = 93;
    a.raw = Raw({0x26, 0, 0, 0, 0, 0, 0});
    const SmartRow row = MakeSmartRow(a);
    const std::string line = SmartExportLine(row);
    // The name is cut to 40 characters; the degree sign stays in the copy.
    EXPECT_EQ(line,
              " 194 HDA Temperature \xB0"
              "C (Cur/Max/Min)          105   93    0       38\xB0"
              "C ******     Pf S  \n");
    EXPECT_EQ(SmartLogText(line).find('\xB0'), std::string::npos);
    EXPECT_NE(SmartLogText(line).find("    0       38`C ******"), std::string::npos);
    EXPECT_EQ(SmartExportRawLine(row),
              " 194 HDA Temperature \xB0"
              "C (Cur/Max/Min)         38\xB0"
              "C      \n");
    // A long name is cut; a field longer than its width is not.
    SmartRow wide = row;
    wide.name = std::string(60, 'n');
    wide.raw = "123456789012345";
    const std::string w = SmartExportLine(wide);
    EXPECT_NE(w.find(" " + std::string(40, 'n') + " "), std::string::npos);
    EXPECT_EQ(w.find(std::string(41, 'n')), std::string::npos);
    EXPECT_NE(w.find(" 123456789012345 "), std::string::npos);
}

TEST(SmartColours, CellRules) {
    auto row = [](const char* id, const char* raw, const char* flags, const char* health) {
        SmartRow r;
        r.id = id;
        r.raw = raw;
        r.flags = flags;
        r.health = health;
        return r;
    };
    auto name = [](const SmartRow& r) { return SmartCellStyleFor(r, SmartColumn::Name).color; };
    EXPECT_EQ(name(row("3", "4041", "L  ", "*")), kSmartGreen);
    EXPECT_EQ(name(row("5", "8", "", "*")), kSmartRed);
    EXPECT_EQ(name(row("5", "0", "", "*")), kSmartPurple);
    EXPECT_EQ(name(row("197", "0/0/0", "", "*")), kSmartPurple);
    EXPECT_EQ(name(row("194",
                       "38\xB0"
                       "C",
                       "L  ", "*")),
              kSmartBlue);
    EXPECT_EQ(name(row("7", "0", "L  Pf ", "*")), kSmartPurple);
    EXPECT_EQ(name(row("7", "0", "Pf Pr ", "*")), kSmartBlack);
    EXPECT_EQ(name(row("x5", "3", "Pf ", "*")), kSmartBlack);  // unreadable id counts as 0
    EXPECT_EQ(SmartCellStyleFor(row("5", "8", "", "*"), SmartColumn::Raw).color, kSmartRed);
    EXPECT_EQ(SmartCellStyleFor(row("5", "8", "L  ", "*"), SmartColumn::Id).color, kSmartBlack);
    EXPECT_EQ(SmartCellStyleFor(row("5", "8", "L  ", "*"), SmartColumn::Flags).color, kSmartBlack);
    EXPECT_EQ(SmartCellStyleFor(row("5", "8", "", "*"), SmartColumn::Value).color, kSmartTeal);
    EXPECT_EQ(SmartCellStyleFor(row("5", "8", "", "*"), SmartColumn::Threshold).color, kSmartOlive);
    auto health = [&](const char* bar) {
        return SmartCellStyleFor(row("9", "1", "", bar), SmartColumn::Health);
    };
    EXPECT_EQ(health("***").color, kSmartRed);
    EXPECT_TRUE(health("***").bold);
    EXPECT_EQ(health("****").color, kSmartOlive);
    EXPECT_FALSE(health("****").bold);
    EXPECT_EQ(health("******").color, kSmartOlive);
    EXPECT_EQ(health("*******").color, kSmartGreen);
}

TEST(SmartText, Cp1252ToUtf8) {
    EXPECT_EQ(Cp1252ToUtf8("38\xB0"
                           "C"),
              "38\xC2\xB0"
              "C");
    EXPECT_EQ(Cp1252ToUtf8("%\xF8"
                           "C"),
              "%\xC3\xB8"
              "C");
    EXPECT_EQ(Cp1252ToUtf8("\x80\x81\x9F"), "\xE2\x82\xAC\xEF\xBF\xBD\xC5\xB8");
    EXPECT_EQ(Cp1252ToUtf8(std::string("a\0b", 3)), std::string("a\0b", 3));
}

}  // namespace
}  // namespace qm
