#pragma once
// Disks on Linux through libudev: the drive table from the block devices of
// type "disk", and arrival/removal events from a udev monitor.
#include <memory>
#include <string>
#include <vector>

#include "drive/DeviceChange.h"
#include "drive/DriveTables.h"

struct udev;
struct udev_monitor;

namespace qm {

// What udev and sysfs say about a disk, reduced to the storage bus type.
struct DiskBusFacts {
    std::string idBus;                          // ID_BUS: ata, usb, scsi, ieee1394, nvme, ...
    std::string idPath;                         // ID_PATH: pci-0000:00:1f.2-ata-1.0, ...
    bool ataIdRan = false;                      // ata_id set ID_ATA
    bool sata = false;                          // ID_ATA_SATA=1
    std::string sysname;                        // sda, nvme0n1, vda, mmcblk0
    std::vector<std::string> parentSubsystems;  // nearest first
    std::string mmcType;                        // "SD" or "MMC" for an mmc card
};
uint8_t BusTypeFromFacts(const DiskBusFacts& f);

// Whether a block device of DEVTYPE disk (its sysfs path) is listed as a drive.
bool ListedAsDrive(const std::string& syspath);

// Decodes udev's \xNN escapes (ID_MODEL_ENC) and trims the result.
std::string DecodeUdevString(const std::string& encoded);

class UdevDriveEnumerator : public DriveEnumerator {
  public:
    UdevDriveEnumerator() = default;
    int EnumerateDrives(DriveTable& table) override;
};

// A udev monitor on block disks: 0x8000 on add, 0x8004 on remove, 7 on change.
class UdevDeviceChangeSource : public DeviceChangeSource {
  public:
    ~UdevDeviceChangeSource() override;
    // Null, with the reason in *error, when no monitor can be set up.
    static std::unique_ptr<UdevDeviceChangeSource> Create(std::string* error = nullptr);
    std::vector<uint32_t> Poll() override;
    int WaitHandle() const override;

  private:
    UdevDeviceChangeSource() = default;
    udev* udev_ = nullptr;
    udev_monitor* monitor_ = nullptr;
};

// The udev action names as device-change codes; 0 for actions that are none of them.
uint32_t DeviceChangeCode(const std::string& action);

}  // namespace qm
