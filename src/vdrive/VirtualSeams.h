#pragma once
// The virtual drive behind the pass-through and enumeration seams.
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "drive/DeviceIo.h"
#include "drive/DriveEnum.h"
#include "drive/DriveTables.h"
#include "vdrive/Sat.h"

namespace qm {

class VirtualDrive;

// Error codes of the virtual device (the Linux errno values, so texts read the same).
namespace vdev {
constexpr uint32_t kNoEntry = 2;
constexpr uint32_t kIoError = 5;
constexpr uint32_t kBadHandle = 9;
constexpr uint32_t kNoDevice = 19;
constexpr uint32_t kTimedOut = 110;
constexpr uint32_t kInvalid = 22;
}  // namespace vdev

// Parses both pass-through request blocks and answers from the drive: the
// ATA block directly, the SCSI block through a SAT layer.
class VirtualDeviceIo : public DeviceIo {
  public:
    static constexpr const char* kPath = "/dev/qmvd0";

    explicit VirtualDeviceIo(VirtualDrive& drive);

    DeviceHandle Open(const std::string& path) override;
    void Close(DeviceHandle handle) override;
    bool Control(DeviceHandle handle, uint32_t code, uint8_t* block, uint32_t inSize,
                 uint32_t outSize, uint32_t& bytesReturned) override;
    uint32_t LastError() const override { return lastError_; }
    std::string ErrorText(uint32_t code) const override;

    // A pass-through call blocks while the drive is busy (a restart, a seek),
    // up to the request's time-out. Tests whose drive runs on a fake clock
    // replace the real sleep.
    std::function<void(int64_t nanos)> sleepNanos;

    // Faults: the next `count` device calls fail with `code`.
    void FailNextCalls(int count, uint32_t code = vdev::kIoError);
    // The device node vanishes: opening fails and open handles stop working.
    void Remove() { removed_ = true; }
    int OpenHandles() const { return static_cast<int>(handles_.size()); }
    uint64_t ControlCalls() const { return controlCalls_; }
    sat::SatDevice& Sat() { return sat_; }

  private:
    bool Fail(uint32_t code);
    // Waits out the drive's busy time; false when it outlasts timeoutSeconds.
    bool WaitWhileBusy(uint32_t timeoutSeconds);
    bool AtaRequest(uint8_t* block, uint32_t inSize, uint32_t outSize);
    bool ScsiRequest(uint8_t* block, uint32_t inSize, uint32_t outSize);

    VirtualDrive& drive_;
    sat::SatDevice sat_;
    std::map<DeviceHandle, bool> handles_;
    DeviceHandle nextHandle_ = 3;
    uint32_t lastError_ = 0;
    int failCount_ = 0;
    uint32_t failCode_ = vdev::kIoError;
    bool removed_ = false;
    uint64_t controlCalls_ = 0;
};

// Lists virtual drives as SATA disks at /dev/qmvd0, /dev/qmvd1, ...
class VirtualDriveEnumerator : public DriveEnumerator, private DiskSource {
  public:
    explicit VirtualDriveEnumerator(std::vector<VirtualDrive*> drives);
    int EnumerateDrives(DriveTable& table) override;

  private:
    DiskProbe Probe(int index, TST_PhysicalDrive& entry) override;
    std::vector<VirtualDrive*> drives_;
};

std::unique_ptr<DeviceIo> CreateVirtualDeviceIo(VirtualDrive& drive);
// Lists the mounted virtual drive as one SATA disk.
std::unique_ptr<DriveEnumerator> CreateVirtualDriveEnumerator(VirtualDrive& drive);

}  // namespace qm
