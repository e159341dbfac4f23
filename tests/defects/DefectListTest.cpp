// Defect lists and zone tables: the decoders on crafted images of both
// formats, the zone rules, and the loads from the virtual drive and from
// files picked with SHIFT held.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "DefectImages.h"
#include "defects/DefectList.h"
#include "support/VirtualBench.h"
#include "vdrive/SampleServiceArea.h"

namespace qm {
namespace {

namespace fs = std::filesystem;
using test::ListImage;
using test::ZoneTable;

TEST(DefectListDecode, RoylHonoursItsHeaderLengthAndOlderImagesStartAt24) {
    const std::vector<TDefectEntry> entries = {
        {0x1234, 5, 10, 0xFFFE}, {0xFFFFFF, 0, 0, 0xFFFF}, {7, 255, 1, 2}};
    std::vector<TDefectEntry> out;
    auto img = ListImage(entries, true, 64);
    DefectListHeader h = DecodeDefectList(img.data(), img.size(), out);
    EXPECT_TRUE(h.royl);
    EXPECT_EQ(h.dataOffset, 64u);
    EXPECT_EQ(h.count, 3u);
    EXPECT_EQ(out, entries);

    img = ListImage(entries, false);
    h = DecodeDefectList(img.data(), img.size(), out);
    EXPECT_FALSE(h.royl);
    EXPECT_EQ(h.dataOffset, 24u);
    EXPECT_EQ(out, entries);
}

TEST(DefectListDecode, AHugeHeaderCountHoldsOnlyWhatTheImageHas) {
    // N = 4 G entries in a one-sector image: two entries held, N returned.
    auto img = ListImage({{1, 0, 1, 1}, {2, 1, 2, 2}}, true, 48, 0xFFFFFFFF);
    std::vector<TDefectEntry> out;
    const DefectListHeader h = DecodeDefectList(img.data(), img.size(), out);
    EXPECT_EQ(h.count, 0xFFFFFFFFu);
    EXPECT_EQ(out.size(), (512u - 52u) / 8u);  // every whole entry of the sector
    EXPECT_EQ(out[1], (TDefectEntry{2, 1, 2, 2}));
    EXPECT_EQ(out[2], TDefectEntry{});  // the padding reads as zero entries
}

TEST(DefectListDecode, DataAreaOutsideTheImageGivesNoList) {
    std::vector<TDefectEntry> out = {{1, 1, 1, 1}};
    auto img = ListImage({{1, 0, 1, 1}}, true, 48);
    PutU16(img.data() + 6, 0xFFF0);  // header length past the end
    EXPECT_EQ(DecodeDefectList(img.data(), img.size(), out).count, 0u);
    EXPECT_TRUE(out.empty());
    PutU16(img.data() + 6, 510);  // room for half a count only
    EXPECT_EQ(DecodeDefectList(img.data(), img.size(), out).count, 0u);
    for (size_t n : {0, 1, 3, 7, 24, 27}) {  // tiny images of either kind
        SCOPED_TRACE(n);
        std::vector<uint8_t> tiny(img.begin(), img.begin() + static_cast<long>(n));
        EXPECT_EQ(DecodeDefectList(tiny.data(), tiny.size(), out).count, 0u);
        EXPECT_TRUE(out.empty());
    }
}

TEST(DefectListDecode, AbortLeavesTheRestAsZeroEntries) {
    auto img = ListImage({{1, 0, 1, 1}, {2, 0, 2, 2}}, true);
    std::atomic<bool> abort{true};
    std::vector<TDefectEntry> out;
    EXPECT_EQ(DecodeDefectList(img.data(), img.size(), out, &abort).count, 2u);
    ASSERT_EQ(out.size(), 2u);
    EXPECT_EQ(out[0], TDefectEntry{});
}

TEST(ZoneTableParse, BothLayoutsCutToTheEntriesPresentAndKeepTheRest) {
    std::array<TZoneEntry, kMaxZones> zones{};
    zones[5] = {9, 9, 9};  // stale entry of an earlier head
    const std::vector<TZoneEntry> z = {{0, 99, 1500}, {100, 199, 1400}, {200, 299, 0}};
    auto t = ZoneTable(z, true);
    EXPECT_EQ(ParseZoneTable(t.data(), t.size(), true, zones), 3);
    EXPECT_EQ(zones[2], z[2]);
    EXPECT_EQ(zones[5], (TZoneEntry{9, 9, 9}));
    t = ZoneTable(z, false);
    EXPECT_EQ(ParseZoneTable(t.data(), t.size(), false, zones), 3);
    EXPECT_EQ(zones[1], z[1]);
    // 255 zones claimed, three present; 2-byte and empty tables have none.
    t = ZoneTable(z, true, 255);
    EXPECT_EQ(ParseZoneTable(t.data(), t.size(), true, zones), 3);
    EXPECT_EQ(ParseZoneTable(t.data(), 2, true, zones), 0);
    EXPECT_EQ(ParseZoneTable(nullptr, 0, false, zones), 0);
    EXPECT_EQ(ParseZoneTable(t.data(), 60, true, zones), 0);  // header only, no whole entry
}

TEST(ZoneRules, EntryZeroIsNeverChosen) {
    DefectTables t;
    t.zones[0] = {0, 99, 1500};
    t.zones[1] = {100, 199, 1400};
    t.zones[2] = {200, 299, 0};
    t.zones[3] = {300, 399, 1200};
    t.zoneCount = 4;
    EXPECT_EQ(ZoneSectorsPerTrack(t, 50), 1400);   // zone 0's cylinder answers from zone 1
    EXPECT_EQ(ZoneSectorsPerTrack(t, 250), 1200);  // spt 0 falls back to the last zone
    EXPECT_EQ(ZoneSectorsPerTrack(t, 999), 1200);  // past the end: the last zone
    EXPECT_EQ(FindZone(t, 50).zone, 1);
    const ZoneMatch m = FindZone(t, 250);  // FindZone has no spt fallback
    EXPECT_TRUE(m.found);
    EXPECT_EQ(m.sectorsPerTrack, 0);
    EXPECT_FALSE(FindZone(t, 400).found);
    EXPECT_EQ(FindZone(t, 400).sectorsPerTrack, -1);

    t.zoneCount = 1;  // never matches: entry 0's value
    EXPECT_EQ(ZoneSectorsPerTrack(t, 0), 1500);
    EXPECT_FALSE(FindZone(t, 0).found);
    t.zoneCount = 0;  // no zones: 0, never entry -1
    EXPECT_EQ(ZoneSectorsPerTrack(t, 0), 0);
}

class DefectLoad : public ::testing::Test {
  protected:
    void TearDown() override {
        std::error_code ec;
        fs::remove_all(dir, ec);
    }
    std::string File(const std::string& name, const std::vector<uint8_t>& bytes) {
        fs::create_directories(dir);
        const fs::path p = dir / name;
        std::ofstream(p, std::ios::binary)
            .write(reinterpret_cast<const char*>(bytes.data()),
                   static_cast<std::streamsize>(bytes.size()));
        return p.string();
    }
    fs::path dir =
        fs::temp_directory_path() /
        ("qm-defects-" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()) + "-" +
         ::testing::UnitTest::GetInstance()->current_test_info()->name());
    test::VirtualBench bench;
};

TEST_F(DefectLoad, SampleListsAndTablesFromTheDrive) {
    Workbench& wb = bench.wb;
    EXPECT_EQ(LoadDefectList(wb, DefectListKind::PList), kSamplePListEntries);
    EXPECT_EQ(wb.defects.defects.size(), kSamplePListEntries);
    EXPECT_TRUE(wb.defects.roylFormat);
    EXPECT_EQ(LoadDefectList(wb, DefectListKind::GList), kSampleGListEntries);
    EXPECT_EQ(LoadZoneTable(wb, 3), kSampleZones);
    EXPECT_EQ(wb.defects.zones[0].start, 0u);
    EXPECT_EQ(ReadWedgeCount(wb), kSampleWedges);
    EXPECT_TRUE(bench.host.logLines.empty());
}

TEST_F(DefectLoad, FailedReadsLogTheModuleAndLeaveTheFlag) {
    Workbench& wb = bench.wb;
    DriveFaults f;
    f.moduleStatus[0x34] = 0x0103;
    f.actionStatus[0x0D] = 0x0104;
    bench.drive->SetFaults(f);
    wb.defects.defects = {{1, 1, 1, 1}};
    wb.defects.roylFormat = false;
    EXPECT_EQ(LoadDefectList(wb, DefectListKind::GList), 0u);
    EXPECT_EQ(bench.host.logLines, std::vector<std::string>{"Error Read Module: 34"});
    EXPECT_TRUE(wb.defects.defects.empty());
    EXPECT_FALSE(wb.defects.roylFormat);
    EXPECT_EQ(LoadZoneTable(wb, 0), 0);
    EXPECT_EQ(ReadWedgeCount(wb), 0);
    EXPECT_EQ(bench.host.logLines.size(), 1u);  // table failures say nothing
}

TEST_F(DefectLoad, AnOlderListSwitchesZoneReadsToTable5Param1) {
    Workbench& wb = bench.wb;
    bench.host.shift = true;
    bench.host.openAnswers = {File("old.rpm", ListImage({{10, 1, 0, 5}}, false))};
    EXPECT_EQ(LoadDefectList(wb, DefectListKind::PList), 1u);
    EXPECT_FALSE(wb.defects.roylFormat);
    bench.host.shift = false;
    // The sample's (5, 1) is head 1's map in the 32-byte layout.
    ASSERT_EQ(LoadZoneTable(wb, 3), kSampleZones);
    const auto t = bench.drive->Content().serviceArea.Table(5, 1);
    ASSERT_TRUE(t);
    EXPECT_EQ(wb.defects.zones[1].end, GetU32(t->data() + 20 + 32 + 4));
    EXPECT_EQ(wb.defects.zones[1].sectorsPerTrack, GetU16(t->data() + 20 + 32 + 20));
}

TEST_F(DefectLoad, ShiftDialogsNameTheirFilesAndAreResetAfterwards) {
    Workbench& wb = bench.wb;
    bench.host.shift = true;
    const std::string zones = File("z.bin", ZoneTable({{0, 9, 100}, {10, 19, 90}}, true));
    bench.host.openAnswers = {File("g.rpm", ListImage({{1, 0, 0, 1}}, true)), zones, ""};
    EXPECT_EQ(LoadDefectList(wb, DefectListKind::GList), 1u);
    EXPECT_EQ(LoadZoneTable(wb, 7), 2);
    EXPECT_EQ(LoadZoneTable(wb, 2), 0);  // cancelled
    ASSERT_EQ(bench.host.dialogsShown.size(), 3u);
    const DialogState& list = bench.host.dialogsShown[0];
    EXPECT_EQ(list.title, "Select Defect List");
    EXPECT_EQ(list.fileName, "~id0034.rpm");
    EXPECT_EQ(list.filter, "Module |*34.rpm|All|*.*");
    const DialogState& zone = bench.host.dialogsShown[1];
    EXPECT_EQ(zone.title, "Select Zone Map");
    EXPECT_EQ(zone.fileName, "");
    EXPECT_EQ(zone.filter, "Zone Map for Head 7|*.bin|All|*.*");
    EXPECT_EQ(wb.openDialog.title, "");
    EXPECT_EQ(wb.openDialog.filter, "All|*.*");
    EXPECT_EQ(bench.drive->CommandCount(), 0u);  // nothing asked of the drive
    EXPECT_EQ(DefectListFileName(DefectListKind::PList, false), "~id33.rpm");
}

TEST_F(DefectLoad, CancelledOrEmptyListFileKeepsTheFormatFlag) {
    Workbench& wb = bench.wb;
    bench.host.shift = true;
    bench.host.openAnswers = {"", File("empty.rpm", {}), (dir / "missing.rpm").string()};
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(LoadDefectList(wb, DefectListKind::PList), 0u);
        EXPECT_TRUE(wb.defects.roylFormat);
    }
    EXPECT_TRUE(bench.host.logLines.empty());
}

}  // namespace
}  // namespace qm
