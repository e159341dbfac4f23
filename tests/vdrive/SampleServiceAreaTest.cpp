// The built-in sample drive's service area: sound images, consistent
// geometry, and the same bytes every run.
#include <gtest/gtest.h>

#include <chrono>
#include <set>

#include "VscHost.h"
#include "vdrive/DriveGeometry.h"
#include "vdrive/SampleServiceArea.h"

namespace qm {
namespace {

TEST(SampleServiceArea, EveryModuleIsASealedRoylImageThatNamesItself) {
    const DriveContent c = VirtualDrive::SampleContent();
    ASSERT_GE(c.serviceArea.modules.size(), 20u);
    for (const auto& [id, image] : c.serviceArea.modules) {
        SCOPED_TRACE(id);
        ASSERT_TRUE(IsRoylSaImage(image));
        EXPECT_EQ(image.size() % 512, 0u);
        EXPECT_TRUE(ImageChecksumValid(image));
        EXPECT_EQ(GetU16(image.data() + 6), kRoylHeaderLength);
        EXPECT_EQ(GetU16(image.data() + 8), id);
        EXPECT_EQ(GetU16(image.data() + 10), image.size() / 512);
    }
    for (uint16_t id :
         {0x01, 0x0A, 0x21, 0x28, 0x33, 0x34, 0x47, 0xE0, 0xE1, 0xE2, 0xE3, 0xE6, 0x1100})
        EXPECT_TRUE(c.serviceArea.Module(id)) << id;
    EXPECT_EQ(c.serviceArea.Module(0x0A)->at(kRoylHeaderLength + 4), kSampleHeads);
}

TEST(SampleServiceArea, DirectoryListsEveryModuleWithItsSize) {
    const DriveContent c = VirtualDrive::SampleContent();
    const SaImage& dir = *c.serviceArea.Module(0x01);
    const uint8_t* d = dir.data() + GetU16(dir.data() + 6);
    const uint16_t count = GetU16(d);
    ASSERT_EQ(count, c.serviceArea.modules.size());
    std::set<uint16_t> listed;
    uint32_t lastAddress = 0;
    for (int i = 0; i < count; ++i) {
        const uint8_t* e = d + 2 + 16 * i;
        EXPECT_EQ(e[0], 16);
        EXPECT_EQ(e[1], 1);
        const uint16_t id = GetU16(e + 2);
        ASSERT_TRUE(c.serviceArea.Module(id)) << id;
        EXPECT_EQ(GetU32(e + 4), c.serviceArea.Module(id)->size());
        EXPECT_GT(GetU32(e + 8), lastAddress);  // laid out one after the other
        lastAddress = GetU32(e + 8);
        listed.insert(id);
    }
    EXPECT_EQ(listed.size(), count);
    EXPECT_EQ(listed.count(0x2503), 1u);  // test modules the DVT generator picks up
}

TEST(SampleServiceArea, DefectListsHoldTheirCountsInsideTheGeometry) {
    const DriveContent c = VirtualDrive::SampleContent();
    const DriveGeometry g = DriveGeometry::From(c.serviceArea, c.sectors);
    ASSERT_EQ(g.heads, kSampleHeads);
    EXPECT_EQ(g.wedges, kSampleWedges);
    uint64_t capacity = 0;
    for (const ZoneSpan& z : g.zones[0])
        capacity += uint64_t{z.sectorsPerTrack} * (z.end - z.start + 1) * kSampleHeads;
    EXPECT_GE(capacity, c.sectors);
    EXPECT_LT(capacity, c.sectors + c.sectors / 20);
    for (int h = 0; h < g.heads; ++h) {
        ASSERT_EQ(g.zones[h].size(), static_cast<size_t>(kSampleZones));
        for (size_t z = 1; z < g.zones[h].size(); ++z) {
            EXPECT_EQ(g.zones[h][z].start, g.zones[h][z - 1].end + 1);
            EXPECT_LT(g.zones[h][z].sectorsPerTrack, g.zones[h][z - 1].sectorsPerTrack);
        }
    }
    for (auto [id, expected] :
         {std::pair{0x33, kSamplePListEntries}, {0x34, kSampleGListEntries}}) {
        const SaImage& m = *c.serviceArea.Module(static_cast<uint16_t>(id));
        const uint8_t* d = m.data() + kRoylHeaderLength;
        ASSERT_EQ(GetU32(d), expected);
        ASSERT_GE(m.size(), kRoylHeaderLength + 4 + 8 * expected);
        uint32_t wholeTracks = 0, prevCyl = 0;
        for (uint32_t i = 0; i < expected; ++i) {
            const uint8_t* e = d + 4 + 8 * i;
            const uint32_t cyl = GetU32(e) & 0xFFFFFF;
            const int head = e[3];
            ASSERT_LT(head, kSampleHeads);
            ASSERT_LT(cyl, g.Cylinders(head));
            ASSERT_GE(cyl, prevCyl);  // sorted by track
            prevCyl = cyl;
            const uint16_t first = GetU16(e + 4), last = GetU16(e + 6);
            if (last == 0xFFFF) {
                ++wholeTracks;
                continue;
            }
            const uint16_t spt = g.zones[head][g.ZoneOf(head, cyl)].sectorsPerTrack;
            ASSERT_LE(first, last);
            ASSERT_LT(last, spt);
        }
        if (id == 0x33) {
            EXPECT_GT(wholeTracks, 100u);
        }
    }
}

TEST(SampleServiceArea, AttributeSectionMatchesTheSmartAnswersAndDrivesThem) {
    VirtualDrive drive(VirtualDrive::SampleContent());
    TaskFile tf = test::SmartLog(0xD0, 0, 1);
    tf.lbaLow = 0;
    const AtaReply data = drive.Execute(tf);
    tf.features = 0xD1;
    const AtaReply thresholds = drive.Execute(tf);
    ASSERT_EQ(data.data.size(), 512u);
    EXPECT_EQ(data.data, drive.Content().smartData);

    SaImage drm = *drive.ServiceAreaNow().Module(0x21);
    EXPECT_GE(GetU16(drm.data() + kRoylHeaderLength), 0x500);  // DRM2 directory
    EXPECT_EQ(GetU16(drm.data() + kRoylHeaderLength + 4), kSampleFamily);
    SmartSection s;
    ASSERT_TRUE(FindSmartSection(drm, s));
    ASSERT_EQ(s.dataSize, 362u);
    ASSERT_EQ(s.thresholdSize, 362u);
    EXPECT_TRUE(std::equal(data.data.begin(), data.data.begin() + 362, drm.begin() + s.dataOffset));
    EXPECT_TRUE(std::equal(thresholds.data.begin(), thresholds.data.begin() + 362,
                           drm.begin() + s.thresholdOffset));

    // Editing attribute 5's current value in module 0x21 changes what the drive reports.
    size_t slot = 0;
    for (size_t k = 0; k < 30; ++k)
        if (drm[s.dataOffset + 2 + 12 * k] == 5) slot = s.dataOffset + 2 + 12 * k;
    ASSERT_NE(slot, 0u);
    drm[slot + 3] = 150;
    SealImage(drm);
    test::VscHost host(drive);
    ASSERT_TRUE(host.WriteModule(0x21, drm));
    tf.features = 0xD0;
    const AtaReply after = drive.Execute(tf);
    EXPECT_EQ(after.data[slot - s.dataOffset + 3], 150);
    uint8_t sum = 0;
    for (uint8_t b : after.data) sum = static_cast<uint8_t>(sum + b);
    EXPECT_EQ(sum, 0);
}

TEST(SampleServiceArea, ScriptAndLogsHaveTheLayoutsTheirReadersUse) {
    const DriveContent c = VirtualDrive::SampleContent();
    const SaImage& script = *c.serviceArea.Module(0x28);
    EXPECT_EQ(GetU16(script.data() + 0x32), 0x88);
    int steps = 0;
    for (size_t at = 0x38; at + 0x88 <= script.size() && GetU16(script.data() + at); at += 0x88)
        ++steps;
    EXPECT_GE(steps, 28);
    EXPECT_EQ(GetU16(script.data() + 0x38 + 0x88 * (steps - 1)), 0xDC);  // END epilogue

    const SaImage& e6 = *c.serviceArea.Module(0xE6);
    const uint32_t n = GetU32(e6.data() + 0x30) & 0xFF;
    ASSERT_GE(n, 73u);
    auto T = [&](int i) { return GetU32(e6.data() + 0x34 + 4 * i); };
    EXPECT_EQ(GetU32(e6.data() + T(1)), 90061u);
    EXPECT_NE(GetU16(e6.data() + T(2)), 0);
    EXPECT_GT(GetU32(e6.data() + T(71)), 0u);
    EXPECT_EQ(GetU16(e6.data() + T(72)), GetU16(script.data() + 0x38 + 4 * 0x88));

    for (int h = 0; h < kSampleHeads; ++h) {
        const SaImage& log = *c.serviceArea.Module(static_cast<uint16_t>(0xE0 + h));
        EXPECT_NE(GetU32(log.data() + 48), 0u);  // at least one record
    }
    const SaImage& ptm = *c.serviceArea.Module(0x1100);
    EXPECT_EQ(GetU16(ptm.data() + 48 + 0x22 + 8), 0xA1);
    EXPECT_EQ(GetU16(c.serviceArea.Module(0x47)->data() + 0x2E), 0x0302);
    EXPECT_NE(c.serviceArea.Module(0x2020)->at(0x93), 0);  // ARCO block of this family
}

TEST(SampleServiceArea, IsTheSameEveryTimeAndQuickToBuild) {
    const auto t0 = std::chrono::steady_clock::now();
    const DriveContent a = VirtualDrive::SampleContent();
    const auto t1 = std::chrono::steady_clock::now();
    const DriveContent b = VirtualDrive::SampleContent();
    EXPECT_TRUE(a.serviceArea == b.serviceArea);
    EXPECT_EQ(a.timing.slowRegions.size(), b.timing.slowRegions.size());
    const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(t1 - t0).count();
    std::printf("sample drive built in %lld ms\n", static_cast<long long>(ms));
#if defined(NDEBUG) && !defined(__SANITIZE_ADDRESS__)
    EXPECT_LT(ms, 50);
#endif
}

}  // namespace
}  // namespace qm
