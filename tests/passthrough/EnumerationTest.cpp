// Filling the drive table: the count of visited indices, empty entries for
// devices that cannot be opened, and a table that is never overrun.
#include <gtest/gtest.h>

#include <vector>

#include "drive/DriveEnum.h"
#include "vdrive/VirtualDrive.h"
#include "vdrive/VirtualSeams.h"

namespace qm {
namespace {

class ScriptedDisks : public DiskSource {
  public:
    explicit ScriptedDisks(std::vector<DiskProbe> probes) : probes_(std::move(probes)) {}
    DiskProbe Probe(int index, TST_PhysicalDrive& e) override {
        visited.push_back(index);
        if (static_cast<size_t>(index) >= probes_.size()) return DiskProbe::NoMoreItems;
        const DiskProbe p = probes_[static_cast<size_t>(index)];
        e.displayName = "written anyway";  // a backend that fills before failing
        if (p == DiskProbe::Found) {
            e.displayName = "Disk " + std::to_string(index);
            e.devicePath = "/dev/disk" + std::to_string(index);
            e.busType = kBusSata;
        }
        return p;
    }
    std::vector<int> visited;

  private:
    std::vector<DiskProbe> probes_;
};

TEST(DriveTable, StopsAtNoMoreItemsAndCountsVisitedIndices) {
    DriveTable table;
    table[5].displayName = "stale";
    ScriptedDisks three({DiskProbe::Found, DiskProbe::Found, DiskProbe::Found});
    EXPECT_EQ(FillDriveTable(three, table), 3);
    EXPECT_EQ(three.visited, (std::vector<int>{0, 1, 2, 3}));
    EXPECT_EQ(table[2].displayName, "Disk 2");
    EXPECT_TRUE(table[3].displayName.empty());
    EXPECT_TRUE(table[5].displayName.empty());  // every entry is reset first

    // A device that cannot be opened keeps an empty entry but counts; a failed
    // index is skipped and counts too.
    ScriptedDisks mixed(
        {DiskProbe::Found, DiskProbe::CannotOpen, DiskProbe::Failed, DiskProbe::Found});
    EXPECT_EQ(FillDriveTable(mixed, table), 4);
    EXPECT_TRUE(table[1].displayName.empty());
    EXPECT_TRUE(table[2].displayName.empty());
    EXPECT_EQ(table[3].displayName, "Disk 3");
}

TEST(DriveTable, MoreThan41DisksNeverOverrun) {
    DriveTable table;
    ScriptedDisks many(std::vector<DiskProbe>(60, DiskProbe::Found));
    EXPECT_EQ(FillDriveTable(many, table), kMaxPhysicalDrives);
    EXPECT_EQ(many.visited.size(), 41u);
    EXPECT_EQ(table[40].displayName, "Disk 40");
}

TEST(DriveTable, BusTypeNamesAndPassThroughChoice) {
    EXPECT_EQ(BusTypeName(0), "UNKNOWN");
    EXPECT_EQ(BusTypeName(7), "USB");
    EXPECT_EQ(BusTypeName(9), "iSCSI");
    EXPECT_EQ(BusTypeName(11), "SATA");
    EXPECT_EQ(BusTypeName(15), "FILE BACKED VIRTUAL");
    EXPECT_EQ(BusTypeName(17), "NVME");
    EXPECT_EQ(BusTypeName(21), "MAX RESERVED");
    EXPECT_EQ(BusTypeName(22), "BUS 22");
    EXPECT_EQ(BusTypeName(255), "BUS 255");
    for (uint8_t b : {1, 4, 6, 7, 8, 9, 10}) EXPECT_TRUE(UsesScsiPassThrough(b)) << int(b);
    for (uint8_t b : {0, 2, 3, 5, 11, 12, 14, 17, 200})
        EXPECT_FALSE(UsesScsiPassThrough(b)) << int(b);
    EXPECT_EQ(DiskDisplayName("  WDC WD5000AAKS-00V1A0 ", " WD-WCAS1 ", 2),
              "WDC WD5000AAKS-00V1A0 SN:WD-WCAS1");
    EXPECT_EQ(DiskDisplayName("WDC X", "", 2), "WDC X");
    EXPECT_EQ(DiskDisplayName("", "123", 4), "Disk 4");
}

TEST(DriveTable, VirtualDriveIsOneSataDisk) {
    VirtualDrive drive(VirtualDrive::SampleContent());
    auto e = CreateVirtualDriveEnumerator(drive);
    DriveTable table;
    EXPECT_EQ(e->EnumerateDrives(table), 1);
    EXPECT_EQ(table[0].devicePath, "/dev/qmvd0");
    EXPECT_EQ(table[0].busType, kBusSata);
    EXPECT_TRUE(table[0].adapterValid);
    const DriveContent& c = drive.Content();
    EXPECT_EQ(table[0].displayName, c.model + " SN:" + c.serial);
    EXPECT_TRUE(table[1].devicePath.empty());
    // A list of virtual drives with a gap: the gap is an empty, counted entry.
    VirtualDriveEnumerator two({&drive, nullptr, &drive});
    EXPECT_EQ(two.EnumerateDrives(table), 3);
    EXPECT_TRUE(table[1].displayName.empty());
    EXPECT_EQ(table[2].devicePath, "/dev/qmvd2");
}

}  // namespace
}  // namespace qm
