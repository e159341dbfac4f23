#pragma once
// The two selection tables of the main window: physical drives (API mode) and
// controller channels (PIO mode).
#include <array>
#include <cstdint>
#include <string>
#include <vector>

namespace qm {

constexpr int kMaxPhysicalDrives = 41;
constexpr int kMaxPciChannels = 256;

struct TST_PhysicalDrive {
    int32_t deviceNumber = 0;
    std::string devicePath;         // what the main window opens
    std::string physicalDrivePath;  // "\\.\PhysicalDriveN" on Windows, /dev/disk/by-id/... on Linux
    std::string displayName;
    bool adapterValid = false;
    uint32_t maxTransferLength = 0;
    uint32_t maxPhysicalPages = 0;
    uint32_t alignmentMask = 0;
    bool adapterUsesPio = false;
    uint8_t busType = 0;
};

using DriveTable = std::array<TST_PhysicalDrive, kMaxPhysicalDrives>;

struct PCIDevDesc {
    uint32_t vendorId = 0;
    uint32_t deviceId = 0;
    uint32_t basePort = 0;
    uint32_t controlPort = 0;
    std::string vendorName;
    std::string deviceName;
    std::string className;
    // Beyond the row text: where the function sits and which kernel driver,
    // if any, owns it (the OS may drive the channel at the same time).
    uint32_t pciAddress = 0;
    std::string kernelDriver;
};

// Storage bus types (index into the bus-type name table).
enum BusType : uint8_t {
    kBusUnknown = 0,
    kBusScsi = 1,
    kBusAtapi = 2,
    kBusAta = 3,
    kBus1394 = 4,
    kBusSsa = 5,
    kBusFibre = 6,
    kBusUsb = 7,
    kBusRaid = 8,
    kBusIScsi = 9,
    kBusSas = 10,
    kBusSata = 11,
    kBusSd = 12,
    kBusMmc = 13,
    kBusVirtual = 14,
    kBusFileBackedVirtual = 15,
    kBusSpaces = 16,
    kBusNvme = 17,
    kBusScm = 18,
    kBusUfs = 19,
};

// Fills the table (entries reset first) and returns the number of indices
// visited. Backends: setupapi (Windows), libudev (Linux), the mounted virtual
// drives.
class DriveEnumerator {
  public:
    virtual ~DriveEnumerator() = default;
    virtual int EnumerateDrives(DriveTable& table) = 0;
};

}  // namespace qm
