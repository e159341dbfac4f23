// Module 0x21 layout, attribute decoding and the edits, on crafted images.
#include "module21/Drm21.h"

#include <gtest/gtest.h>

#include "common/Bytes.h"
#include "module21/DrmImages.h"

namespace qm {
namespace {

using testing::AttrSection;
using testing::DrmImage;
using testing::PlainSection;
using testing::SlotSpec;
using testing::TenSections;

TEST(Drm21Layout, BothDirectoriesAndBothHeaders) {
    // Older header: the directory sits at 24; V = 0x4FF is still STD.
    auto old = TenSections(false, 0x04FF, false).Build();
    DrmDirectory d = ParseDrmDirectory(old);
    EXPECT_FALSE(d.royl);
    EXPECT_EQ(d.bodyOffset, 24u);
    EXPECT_STREQ(d.label(), "STD");
    ASSERT_EQ(d.sections.size(), 10u);
    EXPECT_EQ(d.sections[0].item, "Section 1 ");
    EXPECT_EQ(d.sections[3].item, "Section 4 Lifetime Counters");
    EXPECT_EQ(d.sections[9].item, "Section 10 SMART Attributes");
    EXPECT_TRUE(d.sections[8].empty());
    EXPECT_EQ(GetU16(old.data() + d.sections[3].offset + 6), 2);  // entries read at B+30

    // ROYL header: the body offset is the u16 at 6 (here 48); V = 0x500 is DRM2.
    auto royl = TenSections(true, 0x0500, true).Build();
    d = ParseDrmDirectory(royl);
    EXPECT_TRUE(d.royl);
    EXPECT_EQ(d.bodyOffset, 48u);
    EXPECT_STREQ(d.label(), "DRM2");
    ASSERT_EQ(d.sections.size(), 10u);
    EXPECT_EQ(d.sections[1].size, 64u);
    EXPECT_TRUE(d.problems.empty());
}

TEST(Drm21Layout, SubsectionWidthIsDecidedPerSection) {
    // A DRM2-wide section inside an STD module, and an STD-wide one inside DRM2.
    for (uint16_t v : {uint16_t(0x0100), uint16_t(0x0500)}) {
        DrmImage img(true, v);
        img.Add(PlainSection(0x0500, 64, {{16, 8}, {24, 40}}));
        img.Add(PlainSection(0x04FF, 64, {{16, 8}, {24, 40}}));
        const auto bytes = img.Build();
        const DrmDirectory d = ParseDrmDirectory(bytes);
        for (const DrmSection& s : d.sections) {
            const DrmSectionInfo info = ParseDrmSection(bytes.data(), bytes.size(), s);
            ASSERT_EQ(info.subsections.size(), 2u);
            EXPECT_EQ(info.width, s.number == 1 ? 4 : 2);
            EXPECT_EQ(info.subsections[1].offset, 24u);
            EXPECT_EQ(info.subsections[1].size, 40u);
        }
        EXPECT_EQ(ParseDrmSection(bytes.data(), bytes.size(), d.sections[0]).label,
                  "Section 1 Ver:500, Cnt:2");
    }
}

TEST(Drm21Layout, ViewsFollowTheSubsectionRule) {
    DrmImage img(true, 0x0500);
    img.Add(PlainSection(0x0100, 0x80, {{0x40, 0x20}, {0x60, 0}}), 0x200);
    img.Add(PlainSection(0x0100, 0x30));
    const auto bytes = img.Build();
    const DrmDirectory d = ParseDrmDirectory(bytes);
    DrmView v;
    std::string why;
    ASSERT_TRUE(ResolveDrmView(bytes.data(), bytes.size(), d, 1, 0, v, why)) << why;
    EXPECT_EQ(v.offset, 0x240u);
    EXPECT_EQ(v.size, 0x20u);
    // A subsection of size 0 shows the whole section; so does a section without any.
    ASSERT_TRUE(ResolveDrmView(bytes.data(), bytes.size(), d, 1, 1, v, why));
    EXPECT_EQ(v.offset, 0x200u);
    EXPECT_EQ(v.size, 0x80u);
    ASSERT_TRUE(ResolveDrmView(bytes.data(), bytes.size(), d, 2, -1, v, why));
    EXPECT_EQ(v.size, 0x30u);
    EXPECT_FALSE(ResolveDrmView(bytes.data(), bytes.size(), d, 3, -1, v, why));
}

TEST(Drm21Layout, CountsOffsetsAndSizesAreChecked) {
    // Empty, short and truncated images decode to nothing, without reading past them.
    for (size_t n : {0, 3, 7, 30, 50}) {
        std::vector<uint8_t> img = TenSections(true, 0x0500, true).Build();
        img.resize(n);
        const DrmDirectory d = ParseDrmDirectory(img);
        const DrmAttributeTable t = LocateDrmAttributes(img.data(), img.size(), d);
        EXPECT_FALSE(t.present) << n;
        for (const DrmSection& s : d.sections)
            ParseDrmSection(img.data(), img.size(), s);  // must not read outside
    }
    // A count of 0xFFFF: the first 100 entries are used and the rest is said.
    DrmImage many(false, 0x0100);
    for (int i = 0; i < 120; ++i) many.AddEntry(0, 0);
    many.Count(0xFFFF);
    auto bytes = many.Build(4096);
    DrmDirectory d = ParseDrmDirectory(bytes);
    EXPECT_EQ(d.sections.size(), 100u);
    EXPECT_FALSE(d.problems.empty());

    // A section reaching past the image is listed but never opened; a section
    // header announcing 0xFFFF subsections keeps to its own bytes.
    DrmImage img(true, 0x0500);
    std::vector<uint8_t> wild = PlainSection(0x0500, 40);
    PutU16(wild.data() + 6, 0xFFFF);
    img.Add(wild).AddEntry(0x100, 0x7FFFFFFF).AddEntry(0xFFFFFFF0, 0x20);
    bytes = img.Build();
    d = ParseDrmDirectory(bytes);
    ASSERT_EQ(d.sections.size(), 3u);
    EXPECT_TRUE(d.sections[0].inImage);
    EXPECT_FALSE(d.sections[1].inImage);
    EXPECT_FALSE(d.sections[2].inImage);
    const DrmSectionInfo info = ParseDrmSection(bytes.data(), bytes.size(), d.sections[0]);
    EXPECT_EQ(info.subsections.size(), 4u);  // (40 - 8) / 8 entries fit
    DrmView v;
    std::string why;
    EXPECT_FALSE(ResolveDrmView(bytes.data(), bytes.size(), d, 2, -1, v, why));
    EXPECT_FALSE(ParseDrmSection(bytes.data(), bytes.size(), d.sections[2]).readable);
}

TEST(Drm21Attributes, StdTableAddressesSlotsFromItsSection) {
    // Section 10 at 0x400 with data at 0x30: slot 2 at 0x44A, its flags at 0x44B.
    DrmImage img(true, 0x0100);
    for (int n = 1; n <= 9; ++n) img.Add(PlainSection(0x0100, 32));
    img.Add(AttrSection(false, testing::GappedSlots(), 0x30), 0x400);
    const auto bytes = img.Build();
    const DrmDirectory d = ParseDrmDirectory(bytes);
    const DrmAttributeTable t = LocateDrmAttributes(bytes.data(), bytes.size(), d);
    ASSERT_TRUE(t.present);
    EXPECT_FALSE(t.drm2Layout);
    EXPECT_EQ(t.label, "STD: Section Ver:042");
    EXPECT_EQ(t.SlotOffset(2), 0x44Au);
    const auto rows = DecodeDrmAttributes(t);
    ASSERT_EQ(rows.size(), 4u);  // the empty slot 1 is skipped, not an end
    EXPECT_EQ(rows[1].slot, 2);
    EXPECT_EQ(rows[1].slotOffset, 0x44Au);
    EXPECT_EQ(rows[0].threshold, 51);  // thresholds by slot position
    EXPECT_TRUE(rows[3].hidden());

    // Fewer than ten sections, or section 10 empty: no attribute table.
    DrmImage nine(true, 0x0100);
    for (int n = 1; n <= 9; ++n) nine.Add(PlainSection(0x0100, 32));
    auto b9 = nine.Build();
    EXPECT_FALSE(LocateDrmAttributes(b9.data(), b9.size(), ParseDrmDirectory(b9)).present);
    nine.Add({});
    b9 = nine.Build();
    EXPECT_FALSE(LocateDrmAttributes(b9.data(), b9.size(), ParseDrmDirectory(b9)).present);
}

TEST(Drm21Attributes, AreasAreCutToTheirSectionAndBuffer) {
    // Data announced longer than the section and than 514 bytes: only whole
    // slots inside what was copied make rows.
    std::vector<SlotSpec> slots(42, SlotSpec{5, 0x33, 100, 100, 10, 0});
    auto sec = AttrSection(true, slots);
    PutU32(sec.data() + 12, 0x10000);  // data size far past the section
    PutU32(sec.data() + 28, 9);        // short thresholds
    DrmImage img(true, 0x0500);
    for (int n = 1; n <= 9; ++n) img.Add(PlainSection(0x0100, 32));
    img.Add(sec);
    const auto bytes = img.Build();
    const DrmAttributeTable t =
        LocateDrmAttributes(bytes.data(), bytes.size(), ParseDrmDirectory(bytes));
    ASSERT_TRUE(t.present);
    EXPECT_EQ(t.dataUsable, kDrmAttrBufferSize);
    EXPECT_FALSE(t.problems.empty());
    const auto rows = DecodeDrmAttributes(t);
    EXPECT_EQ(rows.size(), 42u);
    EXPECT_EQ(rows[0].threshold, 10);  // byte 3 lies in the 9 threshold bytes
    EXPECT_EQ(rows[1].threshold, 0);   // byte 15 does not: the zero-filled buffer
}

TEST(Drm21Attributes, HideAndEntryEditsReachTheRowsOwnSlot) {
    auto bytes = TenSections(true, 0x0500, true).Build();
    const DrmDirectory d = ParseDrmDirectory(bytes);
    const DrmAttributeTable t = LocateDrmAttributes(bytes.data(), bytes.size(), d);
    const auto rows = DecodeDrmAttributes(t);
    ASSERT_EQ(rows.size(), 4u);
    // Row 1 is slot 2 (slot 1 is empty): the edit must not touch slot 1.
    const std::vector<uint8_t> before = bytes;
    uint16_t was = 0, now = 0;
    PutU16(bytes.data() + rows[1].slotOffset + 1, 0x5A32);
    ASSERT_TRUE(SetDrmAttributeHidden(bytes, t, rows[1].slot, true, &was, &now));
    EXPECT_EQ(was, 0x5A32);
    EXPECT_EQ(now, 0x5AB2);  // bit 7 only; the high byte stays
    EXPECT_EQ(DrmFlagsWordText(now), "5AB2");
    ASSERT_TRUE(SetDrmAttributeHidden(bytes, t, rows[1].slot, false, &was, &now));
    EXPECT_EQ(now, 0x5A32);
    for (size_t i = 0; i < 12; ++i)
        EXPECT_EQ(bytes[t.SlotOffset(1) + i], before[t.SlotOffset(1) + i]);

    const uint8_t entry[12] = {0xC2, 0x22, 0, 99, 98, 1, 2, 3, 4, 5, 6, 7};
    ASSERT_TRUE(WriteDrmAttributeEntry(bytes, t, rows[2].slot, entry));
    EXPECT_EQ(bytes[rows[2].slotOffset + 3], 99);
    // A slot that is not in the data area is refused.
    EXPECT_FALSE(WriteDrmAttributeEntry(bytes, t, 41, entry));
    EXPECT_FALSE(SetDrmAttributeHidden(bytes, t, -1, true));
}

TEST(Drm21Attributes, Drm2DataOffsetAbove64KiB) {
    // The edit goes where the 32-bit offset says, not to its low half.
    const uint32_t dataOffset = 0x10020;
    auto sec = AttrSection(true, testing::GappedSlots(), dataOffset);
    DrmImage img(true, 0x0500);
    for (int n = 1; n <= 9; ++n) img.Add(PlainSection(0x0100, 32));
    img.Add(sec);
    auto bytes = img.Build();
    const DrmAttributeTable t =
        LocateDrmAttributes(bytes.data(), bytes.size(), ParseDrmDirectory(bytes));
    ASSERT_TRUE(t.present);
    const auto rows = DecodeDrmAttributes(t);
    ASSERT_EQ(rows.size(), 4u);
    const size_t low = t.sectionOffset + (dataOffset & 0xFFFF) + 2 + 12 * 2;
    const uint8_t lowBefore = bytes[low + 1];
    ASSERT_TRUE(SetDrmAttributeHidden(bytes, t, rows[1].slot, true));
    EXPECT_EQ(bytes[rows[1].slotOffset + 1], 0xB2);
    EXPECT_EQ(bytes[low + 1], lowBefore);
}

TEST(Drm21Texts, RowsInBothRadixModesAndTheCopyLine) {
    DrmAttribute a;
    a.id = 194;
    a.flagsWord = 0x00B2;
    a.value = 100;
    a.worst = 93;
    a.raw = 0x002D00140026ULL;
    DrmRowText hex = MakeDrmRowText(a, true);
    EXPECT_EQ(hex.id, " c2");
    EXPECT_EQ(hex.value, "64");
    EXPECT_EQ(hex.raw, "00002D00140026");
    EXPECT_EQ(hex.flags, "00b2");
    DrmRowText dec = MakeDrmRowText(a, false);
    EXPECT_EQ(dec.id, "194");
    EXPECT_EQ(dec.value, "100");
    EXPECT_EQ(dec.raw,
              "45/20/38\xB0"
              "C");
    EXPECT_EQ(dec.flags, "Pf C  S  H  ");
    EXPECT_EQ(DrmCopyLine(dec),
              " 194 HDA Temperature `C (Cur/Max/Min)          100   93    0     45/20/38`C "
              "********** Pf C  S  H  \n");
    // Ids 1 and 218 read as counters; the editor's own names.
    a.id = 1;
    a.raw = 0x0000000300020001ULL;
    EXPECT_EQ(MakeDrmRowText(a, false).raw, "3/2/1");
    EXPECT_EQ(DrmAttributeName(1), "Raw Read Error Count");
    EXPECT_EQ(DrmAttributeName(16), "Gas Gauge");
    EXPECT_EQ(DrmAttributeName(9), "Power-On Hours Count (POH)");
    EXPECT_EQ(DrmAttributeName(255), "Unknown Attributes");
}

TEST(Drm21Write, PaneNeverSpillsPastItsView) {
    std::vector<uint8_t> image(64, 0xEE);
    const DrmView view{2, -1, 16, 8};
    const std::vector<uint8_t> shortPane(5, 0x11), longPane(12, 0x22);
    std::string why;
    ASSERT_TRUE(CopyPaneToDrmView(image, view, shortPane.data(), shortPane.size(), false, why));
    EXPECT_EQ(image[20], 0x11);
    EXPECT_EQ(image[21], 0xEE);  // the view's tail keeps its old bytes
    EXPECT_FALSE(CopyPaneToDrmView(image, view, longPane.data(), longPane.size(), false, why));
    EXPECT_EQ(image[16], 0x11);  // refused: unchanged
    ASSERT_TRUE(CopyPaneToDrmView(image, view, longPane.data(), longPane.size(), true, why));
    EXPECT_EQ(image[23], 0x22);
    EXPECT_EQ(image[24], 0xEE);
    EXPECT_FALSE(CopyPaneToDrmView(image, DrmView{1, -1, 60, 8}, shortPane.data(), 5, true, why));
}

TEST(Drm21Write, DriveCheckRefusesForeignImages) {
    auto ok = TenSections(true, 0x0500, true).Build();
    EXPECT_EQ(CheckDrmImageForDrive(ok, ok.size()), "");
    EXPECT_NE(CheckDrmImageForDrive(ok, ok.size() + 512), "");
    auto foreign = ok;
    PutU16(foreign.data() + 8, 0x33);
    FixModuleChecksum(foreign);
    EXPECT_NE(CheckDrmImageForDrive(foreign, 0), "");
    EXPECT_NE(CheckDrmImageForDrive(std::vector<uint8_t>(100, 0), 0), "");
}

}  // namespace
}  // namespace qm
