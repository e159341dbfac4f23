#pragma once
// Crafted seams for the window tests: a drive list of our choosing, device
// nodes that open or not, port I/O that refuses to start.
#include <map>
#include <set>
#include <string>
#include <vector>

#include "drive/DeviceIo.h"
#include "drive/DriveTables.h"
#include "drive/PortIo.h"

namespace qm::test {

class FakeEnumerator : public DriveEnumerator {
  public:
    std::vector<TST_PhysicalDrive> entries;
    int calls = 0;
    int EnumerateDrives(DriveTable& table) override {
        ++calls;
        for (TST_PhysicalDrive& e : table) e = TST_PhysicalDrive{};
        for (size_t i = 0; i < entries.size() && i < table.size(); ++i) table[i] = entries[i];
        return static_cast<int>(entries.size());
    }
    static TST_PhysicalDrive Drive(const std::string& name, const std::string& path,
                                   uint8_t busType) {
        TST_PhysicalDrive d;
        d.displayName = name;
        d.devicePath = path;
        d.busType = busType;
        d.adapterValid = true;
        return d;
    }
};

// Opens the paths in `present`; every device call fails (a drive that does
// not answer).
class FakeDeviceIo : public DeviceIo {
  public:
    std::set<std::string> present;
    std::map<DeviceHandle, std::string> open;
    std::vector<DeviceHandle> closed;
    DeviceHandle next = 100;

    DeviceHandle Open(const std::string& path) override {
        if (!present.count(path)) {
            lastError_ = 2;
            return kInvalidDeviceHandle;
        }
        open[next] = path;
        return next++;
    }
    void Close(DeviceHandle handle) override {
        closed.push_back(handle);
        open.erase(handle);
    }
    bool Control(DeviceHandle, uint32_t, uint8_t*, uint32_t, uint32_t,
                 uint32_t& bytesReturned) override {
        bytesReturned = 0;
        lastError_ = 31;
        return false;
    }
    uint32_t LastError() const override { return lastError_; }
    std::string ErrorText(uint32_t code) const override {
        return code == 2 ? "No such file or directory"
                         : "A device attached to the system is not functioning.";
    }

  private:
    uint32_t lastError_ = 0;
};

class RefusedPortIo : public PortIo {
  public:
    bool InitializeOls() override { return false; }
    uint8_t ReadIoPortByte(uint16_t) override { return 0xFF; }
    uint16_t ReadIoPortWord(uint16_t) override { return 0xFFFF; }
    void WriteIoPortByte(uint16_t, uint8_t) override {}
    void WriteIoPortWord(uint16_t, uint16_t) override {}
    uint32_t ReadPciConfigDword(uint32_t, uint8_t) override { return 0xFFFFFFFF; }
    std::string FailureReason() const override { return "ports refused: run as root"; }
};

}  // namespace qm::test
