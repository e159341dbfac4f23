// The surface-log report: record kinds, zones and heads on crafted images of
// both formats, the capacity and percentage rules, the head loop with both
// zone-table sources and layouts, and the zone-by-head table.
#include <gtest/gtest.h>

#include <cstring>

#include "common/Bytes.h"
#include "common/ScriptedHost.h"
#include "common/Workbench.h"
#include "defects/SurfaceLogReport.h"
#include "vdrive/VirtualDrive.h"
#include "vdrive/VirtualSeams.h"
#include "vendor/Modules.h"

namespace qm {
namespace {

struct Record {
    uint8_t address[4];
    uint16_t kind1, kind2, begin, end;
};

// A surface-log image: ROYL (records from 48, id u16 at 8) or older
// (records from 24, id byte at 4).
std::vector<uint8_t> SurfaceImage(bool royl, uint16_t id, const std::vector<Record>& records,
                                  size_t size = 512) {
    std::vector<uint8_t> img(size, 0);
    size_t at = 24;
    if (royl) {
        std::memcpy(img.data(), "ROYL", 4);
        PutU16(img.data() + 6, 0x30);
        PutU16(img.data() + 8, id);
        at = 48;
    } else {
        img[4] = static_cast<uint8_t>(id);
    }
    for (const Record& r : records) {
        std::memcpy(img.data() + at, r.address, 4);
        PutU16(img.data() + at + 4, r.kind1);
        PutU16(img.data() + at + 6, r.kind2);
        PutU16(img.data() + at + 18, r.begin);
        PutU16(img.data() + at + 20, r.end);
        at += 24;
    }
    return img;
}

struct Surface : ::testing::Test {
    Surface() : wb(host) {
        wb.defects.zoneCount = 3;
        wb.defects.zones[0] = {0, 100, 900};
        wb.defects.zones[1] = {101, 0x300000, 800};
        wb.defects.zones[2] = {0x300001, 0x400000, 700};
    }
    std::vector<std::string> Decode(const std::vector<uint8_t>& image, int loopHead) {
        std::vector<std::string> lines;
        head = SurfaceHead{};
        DecodeSurfaceLog(
            wb, image, loopHead, head, counts, [&](const std::string& l) { lines.push_back(l); },
            true);
        return lines;
    }
    ScriptedHost host;
    Workbench wb;
    SurfaceHead head;
    SurfaceLog counts;
};

TEST_F(Surface, RoylImageRecordsZonesAndTheImagesOwnHead) {
    host.ctrl = true;
    const auto lines = Decode(SurfaceImage(true, 0xE2,
                                           {{{0x12, 0x34, 0x56, 0x78}, 0x0000, 0x0200, 1, 2},
                                            {{0, 0, 0, 0x10}, 0x0000, 0x0300, 0, 0},
                                            {{0, 0x50, 0, 0}, 0xFFFF, 0x0200, 0, 0}}),
                              0);
    const std::vector<std::string> expected = {
        "     #   ABA      Begin  End",
        "----------------------------",
        "   0  345678    1     2   ",
        "   1  10        Track",
        "   2  500000    Track",
        "Head 2 = 3       ( 16%), Tracks: 2      , Sectors: 1      , Max: 18     ",
        "Head 2 = 3       ( 16%), Tracks: 2      , Sectors: 1      , Max: 18     ",
        ""};
    EXPECT_EQ(lines, expected);
    EXPECT_EQ(counts.counts[2][2], 1u);  // 0x345678 in zone 2, head 2 (not the loop's 0)
    EXPECT_EQ(counts.counts[1][2], 1u);  // inside zone 0's range, counted in zone 1
    EXPECT_EQ(counts.counts[0][2], 0u);
    EXPECT_EQ(head.entries[2].zone, -1);  // beyond every zone: listed, not counted
}

TEST_F(Surface, OlderImagesUnknownIdsAndCapacityRules) {
    host.ctrl = true;
    // Older image: no listing header; an id that names no head counts for the loop's head.
    auto lines = Decode(SurfaceImage(false, 0x77, {{{0, 0, 1, 0}, 0, 0x0200, 5, 6}}), 3);
    EXPECT_EQ(lines.front(), "   0  100       5     6   ");
    EXPECT_EQ(lines[1].substr(0, 9), "Head 3 = ");
    EXPECT_EQ(counts.counts[1][3], 1u);

    // Too small for two records: Max 0 and no percentage instead of a division by zero.
    host.ctrl = false;
    lines = Decode(SurfaceImage(false, 0xE0, {}, 40), 0);
    EXPECT_EQ(lines, std::vector<std::string>{"Head 0 = 0       (  0%), Tracks: 0      , "
                                              "Sectors: 0      , Max: 0      "});

    // A full 512-byte ROYL log reads one slot more than its capacity.
    std::vector<Record> full(19, Record{{0, 0, 0, 0x20}, 0, 0x0200, 0, 0});
    lines = Decode(SurfaceImage(true, 0x3D09, full), 0);
    EXPECT_EQ(lines[0].substr(0, 24), "Head 9 = 19      (105%),");
}

// A drive whose service area holds what the report reads.
struct ReportDrive : ::testing::Test {
    ReportDrive() : wb(host) {}
    static std::vector<uint8_t> ZoneTable(bool royl, int zones, uint32_t width) {
        std::vector<uint8_t> t(1024, 0);
        t[2] = static_cast<uint8_t>(zones);
        for (int z = 0; z < zones; ++z) {
            uint8_t* e = t.data() + (royl ? 50 + 18 * z : 20 + 32 * z);
            PutU32(e, width * static_cast<uint32_t>(z));
            PutU32(e + 4, width * static_cast<uint32_t>(z + 1) - 1);
        }
        return t;
    }
    void Mount(int heads) {
        std::vector<uint8_t> config(512, 0);
        config[30] = static_cast<uint8_t>(heads);
        content.serviceArea.tables[ServiceArea::TableKey(1, 0)] = config;
        drive = std::make_unique<VirtualDrive>(content);
        io = CreateVirtualDeviceIo(*drive);
        wb.deviceIo = io.get();
        wb.link.mode = TransportMode::AtaPassThrough;
        wb.link.ataHandle = io->Open("/dev/qmvd0");
    }
    std::vector<std::string> Run(SelfScanLogReports* out = nullptr) {
        std::vector<std::string> lines;
        auto fetch = [&](uint16_t id, std::vector<uint8_t>& image) {
            return ReadModule(wb, id, image);
        };
        auto r =
            WriteSelfScanLogReports(wb, fetch, [&](const std::string& l) { lines.push_back(l); });
        if (out) *out = r;
        return lines;
    }
    ScriptedHost host;
    Workbench wb;
    DriveContent content;
    std::unique_ptr<VirtualDrive> drive;
    std::unique_ptr<DeviceIo> io;
};

TEST_F(ReportDrive, TwelveHeadsAreReadAsTenAndTheTableFollowsTheLastZoneTable) {
    for (uint16_t h = 0; h < 10; ++h) {
        content.serviceArea.tables[ServiceArea::TableKey(0x0D, h)] =
            ZoneTable(true, h == 9 ? 3 : 5, 0x1000);
        auto img = SurfaceImage(
            true, kSurfaceLogModules[h],
            {{{0, 0, 0x10, 0x00}, 0, 0x0200, 0, 0}, {{0, 0, 0x30, 0x00}, 0, 0x0200, 0, 0}}, 1024);
        SealImage(img);
        content.serviceArea.modules[kSurfaceLogModules[h]] = img;
    }
    content.serviceArea.modules.erase(0xE5);  // head 5: no lines, no counts
    Mount(12);
    SelfScanLogReports r;
    const auto lines = Run(&r);
    EXPECT_FALSE(r.selfScan.has_value());  // no module 0xE6: no self-scan report
    ASSERT_EQ(r.surface.heads, 10);
    ASSERT_EQ(lines.size(), 2u + 9u + 5u + 2u + 1u);
    EXPECT_EQ(lines[0], "");
    EXPECT_EQ(lines[1], "Surface Log Errors");
    EXPECT_EQ(lines[7].substr(0, 8), "Head 6 =");  // head 5 left no line
    const std::string rule = "--------" + std::string(110, '-');
    EXPECT_EQ(lines[12], "Surface Log Errors by Head by Zone");
    EXPECT_EQ(lines[13], rule);
    EXPECT_EQ(lines[14].size(), 7u + 110u);  // each head column 11 characters wide
    EXPECT_EQ(lines[14].substr(0, 29), "  Zn          H0         H1  ");
    // Rows for zones 1 and 2 only: the last head's table has three zones.
    EXPECT_EQ(lines[16],
              " 1     |        1 |        1 |        1 |        1 |        1 |       "
              " 0 |        1 |        1 |        1 |        1 | ");
    EXPECT_EQ(lines[17].substr(0, 19), " 2     |        0 |");
    EXPECT_EQ(lines[18], rule);
}

TEST_F(ReportDrive, TableSourceAndLayoutFollowTheirFlags) {
    // (5, 0) for every head after an older-layout script, parsed in the layout
    // of the defect lists' flag.
    content.serviceArea.tables[ServiceArea::TableKey(5, 0)] = ZoneTable(false, 4, 0x100);
    content.serviceArea.tables[ServiceArea::TableKey(0x0D, 0)] = ZoneTable(true, 2, 0x100);
    content.serviceArea.tables[ServiceArea::TableKey(0x0D, 1)] = ZoneTable(true, 2, 0x100);
    for (int h = 0; h < 2; ++h) {
        auto img =
            SurfaceImage(true, kSurfaceLogModules[h], {{{0, 0, 0x02, 0x80}, 0, 0x0200, 0, 0}}, 512);
        SealImage(img);
        content.serviceArea.modules[kSurfaceLogModules[h]] = img;
    }
    Mount(2);
    wb.flags.scriptRoyl = false;
    wb.defects.roylFormat = false;
    SelfScanLogReports r;
    Run(&r);
    EXPECT_EQ(r.surface.perHead[1].tableId, 5);
    EXPECT_EQ(r.surface.tableZones, 4);
    EXPECT_EQ(r.surface.counts[2][1], 1u);  // 0x280 in zone 2 of the older table

    wb.flags.familyCode = 0x6E;  // this family keeps per-head tables whatever the script
    wb.defects.roylFormat = true;
    Run(&r);
    EXPECT_EQ(r.surface.perHead[1].tableId, 0x0D);
    EXPECT_EQ(r.surface.tableZones, 2);
    EXPECT_EQ(r.surface.counts[1][1], 0u);  // beyond zone 1 of a two-zone table
}

}  // namespace
}  // namespace qm
