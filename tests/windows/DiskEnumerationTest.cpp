// The physical-drive walk against a scripted device-setup library and
// scripted drives.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <map>
#include <optional>
#include <set>
#include <vector>

#include "common/Bytes.h"
#include "platform/windows/DiskEnumeration.h"

namespace qm {
namespace {

struct FakeInterface {
    DiskInterfaceSource::Step step = DiskInterfaceSource::Step::Found;
    std::string path;
    std::optional<std::string> friendlyName;
};

class FakeSource : public DiskInterfaceSource {
  public:
    std::vector<FakeInterface> interfaces;  // beyond the end: no more items
    bool available = true;
    bool openable = true;
    int opened = 0;
    int closed = 0;
    std::vector<uint32_t> asked;

    bool Available() const override { return available; }
    bool OpenSet() override {
        ++opened;
        return openable;
    }
    void CloseSet() override { ++closed; }
    Step SelectInterface(uint32_t index) override {
        asked.push_back(index);
        current_ = index < interfaces.size() ? &interfaces[index] : nullptr;
        return current_ ? current_->step : Step::NoMoreItems;
    }
    bool InterfacePath(std::string& path) override {
        if (!current_ || current_->path.empty()) return false;
        path = current_->path;
        return true;
    }
    bool FriendlyName(std::string& name) override {
        if (!current_ || !current_->friendlyName) return false;
        name = *current_->friendlyName;
        return true;
    }

  private:
    const FakeInterface* current_ = nullptr;
};

struct FakeDrive {
    bool openable = true;
    bool numberAnswers = true;
    uint32_t deviceType = 7;
    uint32_t number = 0;
    bool adapterAnswers = true;
    uint32_t adapterReturned = 32;
    uint32_t maxTransfer = 0x20000, maxPages = 33, alignment = 1;
    bool usesPio = false;
    uint8_t busType = kBusSata;
};

class FakeDeviceIo : public DeviceIo {
  public:
    std::map<std::string, FakeDrive> drives;
    std::set<DeviceHandle> open;
    std::vector<std::string> badRequests;

    DeviceHandle Open(const std::string& path) override {
        auto it = drives.find(path);
        if (it == drives.end() || !it->second.openable) return kInvalidDeviceHandle;
        const DeviceHandle h = next_++;
        handles_[h] = &it->second;
        open.insert(h);
        return h;
    }
    void Close(DeviceHandle h) override { open.erase(h); }
    bool Control(DeviceHandle h, uint32_t code, uint8_t* block, uint32_t inSize, uint32_t outSize,
                 uint32_t& returned) override {
        returned = 0;
        if (!open.count(h)) {
            badRequests.push_back("closed handle");
            return false;
        }
        const FakeDrive& d = *handles_[h];
        if (code == kIoctlStorageGetDeviceNumber) {
            if (inSize != 0 || outSize != 12) badRequests.push_back("device number sizes");
            if (!d.numberAnswers) return false;
            PutU32(block, d.deviceType);
            PutU32(block + 4, d.number);
            PutU32(block + 8, 0xFFFFFFFF);
            returned = 12;
            return true;
        }
        if (code == kIoctlStorageQueryProperty) {
            if (inSize != 12 || outSize != 8192) badRequests.push_back("property sizes");
            if (GetU32(block) != 1 || GetU32(block + 4) != 0)
                badRequests.push_back("not the standard adapter query");
            if (!d.adapterAnswers) return false;
            uint8_t descriptor[32] = {};
            PutU32(descriptor, 32);
            PutU32(descriptor + 4, 32);
            PutU32(descriptor + 8, d.maxTransfer);
            PutU32(descriptor + 12, d.maxPages);
            PutU32(descriptor + 16, d.alignment);
            descriptor[20] = d.usesPio;
            descriptor[21] = 1;  // AdapterScansDown, not taken
            descriptor[24] = d.busType;
            std::memcpy(block, descriptor, std::min<uint32_t>(d.adapterReturned, 32));
            returned = d.adapterReturned;
            return true;
        }
        badRequests.push_back("unexpected code");
        return false;
    }
    uint32_t LastError() const override { return 0; }
    std::string ErrorText(uint32_t) const override { return {}; }

  private:
    DeviceHandle next_ = 100;
    std::map<DeviceHandle, const FakeDrive*> handles_;
};

const std::string kPath0 = "\\\\?\\scsi#disk&ven_wdc&prod_wd5000aakx#4&1&0&000000#{53f56307}";
const std::string kPath1 = "\\\\?\\usbstor#disk&ven_wd&prod_elements#0001#{53f56307}";
const std::string kPath2 = "\\\\?\\scsi#disk&ven_nvme#5&2&0&000000#{53f56307}";

TEST(EnumerateDiskInterfaces, ThreeDisksFillThreeEntriesAndStopAtNoMoreItems) {
    FakeSource source;
    source.interfaces = {{DiskInterfaceSource::Step::Found, kPath0, "WDC WD5000AAKX-00ERMA0"},
                         {DiskInterfaceSource::Step::Found, kPath1, std::nullopt},
                         {DiskInterfaceSource::Step::Found, kPath2, "NVMe disk"}};
    FakeDeviceIo io;
    io.drives[kPath0] = FakeDrive{};
    io.drives[kPath1] =
        FakeDrive{.number = 1, .maxTransfer = 0x10000, .usesPio = true, .busType = kBusUsb};
    io.drives[kPath2] = FakeDrive{.number = 12, .busType = kBusNvme};

    DriveTable table;
    table[5].displayName = "left over";
    EXPECT_EQ(EnumerateDiskInterfaces(source, io, table), 3);
    EXPECT_EQ(source.asked, (std::vector<uint32_t>{0, 1, 2, 3}));

    EXPECT_EQ(table[0].devicePath, kPath0);
    EXPECT_EQ(table[0].displayName, "WDC WD5000AAKX-00ERMA0");
    EXPECT_EQ(table[0].deviceNumber, 0);
    EXPECT_EQ(table[0].physicalDrivePath, "\\\\.\\PhysicalDrive0");
    EXPECT_TRUE(table[0].adapterValid);
    EXPECT_EQ(table[0].maxTransferLength, 0x20000u);
    EXPECT_EQ(table[0].maxPhysicalPages, 33u);
    EXPECT_EQ(table[0].alignmentMask, 1u);
    EXPECT_FALSE(table[0].adapterUsesPio);
    EXPECT_EQ(table[0].busType, kBusSata);

    EXPECT_EQ(table[1].displayName, "Disk 1");  // no friendly name
    EXPECT_TRUE(table[1].adapterUsesPio);
    EXPECT_EQ(table[1].busType, kBusUsb);
    EXPECT_EQ(table[2].physicalDrivePath, "\\\\.\\PhysicalDrive12");
    EXPECT_EQ(table[2].busType, kBusNvme);

    EXPECT_EQ(table[5].displayName, "");  // the table is reset first
    EXPECT_TRUE(io.open.empty());
    EXPECT_TRUE(io.badRequests.empty()) << io.badRequests.front();
    EXPECT_EQ(source.closed, 1);
}

TEST(EnumerateDiskInterfaces, InterfacesThatFailOrCannotBeOpenedKeepEmptyEntriesButCount) {
    FakeSource source;
    source.interfaces = {{DiskInterfaceSource::Step::Failed, kPath0, "x"},
                         {DiskInterfaceSource::Step::Found, kPath1, "locked"},
                         {DiskInterfaceSource::Step::Found, "", "no detail"},
                         {DiskInterfaceSource::Step::Found, kPath2, "fine"}};
    FakeDeviceIo io;
    io.drives[kPath0] = FakeDrive{};
    io.drives[kPath1] = FakeDrive{.openable = false};
    io.drives[kPath2] = FakeDrive{.number = 2};

    DriveTable table;
    EXPECT_EQ(EnumerateDiskInterfaces(source, io, table), 4);
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(table[i].displayName, "") << i;
        EXPECT_EQ(table[i].devicePath, "") << i;
        EXPECT_EQ(table[i].deviceNumber, 0) << i;
    }
    EXPECT_EQ(table[3].displayName, "fine");
    EXPECT_EQ(table[3].deviceNumber, 2);
    EXPECT_TRUE(io.open.empty());
}

TEST(EnumerateDiskInterfaces, DeviceNumberAndAdapterAnswersThatDoNotServe) {
    FakeSource source;
    source.interfaces = {{DiskInterfaceSource::Step::Found, kPath0, "cd drive"},
                         {DiskInterfaceSource::Step::Found, kPath1, "mute"},
                         {DiskInterfaceSource::Step::Found, kPath2, "old adapter"}};
    FakeDeviceIo io;
    io.drives[kPath0] = FakeDrive{.deviceType = 2, .number = 4};  // not a disk
    io.drives[kPath1] = FakeDrive{.numberAnswers = false, .adapterAnswers = false};
    // A short descriptor: only the fields up to the alignment mask arrive.
    io.drives[kPath2] = FakeDrive{.number = 3, .adapterReturned = 20, .busType = kBusSas};

    DriveTable table;
    ASSERT_EQ(EnumerateDiskInterfaces(source, io, table), 3);
    EXPECT_EQ(table[0].deviceNumber, -1);
    EXPECT_EQ(table[0].physicalDrivePath, "");
    EXPECT_TRUE(table[0].adapterValid);

    EXPECT_EQ(table[1].deviceNumber, -1);
    EXPECT_EQ(table[1].devicePath, kPath1);  // still listed and openable later
    EXPECT_FALSE(table[1].adapterValid);
    EXPECT_EQ(table[1].maxTransferLength, 0u);
    EXPECT_EQ(table[1].busType, kBusUnknown);

    EXPECT_TRUE(table[2].adapterValid);
    EXPECT_EQ(table[2].alignmentMask, 1u);
    EXPECT_EQ(table[2].busType, kBusUnknown);  // not answered, not taken from the query
}

TEST(EnumerateDiskInterfaces, StopsAfterFortyOneIndices) {
    FakeSource source;
    FakeDeviceIo io;
    for (int i = 0; i < 50; ++i) {
        const std::string path = "disk" + std::to_string(i);
        source.interfaces.push_back({DiskInterfaceSource::Step::Found, path, std::nullopt});
        io.drives[path] = FakeDrive{.number = static_cast<uint32_t>(i)};
    }
    DriveTable table;
    EXPECT_EQ(EnumerateDiskInterfaces(source, io, table), kMaxPhysicalDrives);
    EXPECT_EQ(source.asked.size(), 41u);
    EXPECT_EQ(table[40].displayName, "Disk 40");
}

TEST(EnumerateDiskInterfaces, NothingWithoutTheLibraryOrItsDeviceSet) {
    FakeDeviceIo io;
    DriveTable table;
    table[0].displayName = "stale";

    FakeSource missing;
    missing.available = false;
    missing.interfaces = {{DiskInterfaceSource::Step::Found, kPath0, "x"}};
    EXPECT_EQ(EnumerateDiskInterfaces(missing, io, table), 0);
    EXPECT_EQ(missing.opened, 0);
    EXPECT_EQ(table[0].displayName, "");

    FakeSource noSet;
    noSet.openable = false;
    EXPECT_EQ(EnumerateDiskInterfaces(noSet, io, table), 0);
    EXPECT_TRUE(noSet.asked.empty());
}

}  // namespace
}  // namespace qm
