#include "vdrive/VirtualSeams.h"

#include <chrono>
#include <thread>

#include <algorithm>
#include <cstring>

#include "common/Bytes.h"
#include "common/Format.h"
#include "drive/Identify.h"
#include "drive/uAtaPass.h"
#include "drive/uSCSI.h"
#include "vdrive/VirtualDrive.h"

namespace qm {

VirtualDeviceIo::VirtualDeviceIo(VirtualDrive& drive) : drive_(drive), sat_(drive) {}

DeviceHandle VirtualDeviceIo::Open(const std::string& path) {
    if (path != kPath) {
        lastError_ = vdev::kNoEntry;
        return kInvalidDeviceHandle;
    }
    if (removed_) {
        lastError_ = vdev::kNoDevice;
        return kInvalidDeviceHandle;
    }
    const DeviceHandle h = nextHandle_++;
    handles_[h] = true;
    return h;
}

void VirtualDeviceIo::Close(DeviceHandle handle) {
    handles_.erase(handle);
}

std::string VirtualDeviceIo::ErrorText(uint32_t code) const {
    switch (code) {
        case 0:
            return "Success";
        case vdev::kNoEntry:
            return "No such file or directory";
        case vdev::kIoError:
            return "Input/output error";
        case vdev::kBadHandle:
            return "Bad file descriptor";
        case vdev::kNoDevice:
            return "No such device";
        case vdev::kTimedOut:
            return "Connection timed out";
        case vdev::kInvalid:
            return "Invalid argument";
        default:
            return Format("Unknown error %u", code);
    }
}

void VirtualDeviceIo::FailNextCalls(int count, uint32_t code) {
    failCount_ = count;
    failCode_ = code;
}

bool VirtualDeviceIo::WaitWhileBusy(uint32_t timeoutSeconds) {
    const int64_t limit = static_cast<int64_t>(timeoutSeconds ? timeoutSeconds : 5) * 1'000'000'000;
    int64_t left = drive_.BusyFor();
    if (left > limit) return false;  // it would outlast the request's time-out
    // Bounded, whatever clock the drive runs on.
    for (int guard = 0; left > 0 && guard < 1'000'000; ++guard) {
        const int64_t step = std::min<int64_t>(left, 10'000'000);
        if (sleepNanos)
            sleepNanos(step);
        else
            std::this_thread::sleep_for(std::chrono::nanoseconds(step));
        left = drive_.BusyFor();
    }
    return left <= 0;
}

bool VirtualDeviceIo::Fail(uint32_t code) {
    lastError_ = code;
    return false;
}

bool VirtualDeviceIo::Control(DeviceHandle handle, uint32_t code, uint8_t* block, uint32_t inSize,
                              uint32_t outSize, uint32_t& bytesReturned) {
    ++controlCalls_;
    bytesReturned = 0;
    if (handles_.find(handle) == handles_.end()) return Fail(vdev::kBadHandle);
    if (removed_ || drive_.Removed()) return Fail(vdev::kNoDevice);
    if (drive_.TakeDeviceCallFailure()) return Fail(vdev::kIoError);
    if (failCount_ > 0) {
        --failCount_;
        return Fail(failCode_);
    }
    if (!block) return Fail(vdev::kInvalid);
    const uint32_t timeoutAt =
        code == kIoctlAtaPassThrough ? ata_ptx::kTimeOutValue : scsi_ptx::kTimeOutValue;
    if ((code == kIoctlAtaPassThrough || code == kIoctlScsiPassThrough) &&
        inSize >= timeoutAt + 4 && !WaitWhileBusy(GetU32(block + timeoutAt)))
        return Fail(vdev::kTimedOut);
    bool ok = false;
    if (code == kIoctlAtaPassThrough)
        ok = AtaRequest(block, inSize, outSize);
    else if (code == kIoctlScsiPassThrough)
        ok = ScsiRequest(block, inSize, outSize);
    else
        return Fail(vdev::kInvalid);
    if (!ok) return Fail(vdev::kInvalid);
    bytesReturned = outSize;
    lastError_ = 0;
    return true;
}

bool VirtualDeviceIo::AtaRequest(uint8_t* b, uint32_t inSize, uint32_t outSize) {
    using namespace ata_ptx;
    if (inSize < kHeaderSize || outSize < kHeaderSize) return false;
    if (GetU16(b + kLength) != kHeaderSize) return false;
    const uint16_t flags = GetU16(b + kAtaFlags);
    const uint32_t length = GetU32(b + kDataTransferLength);
    const uint32_t offset = GetU32(b + kDataBufferOffset);
    const bool in = flags & kFlagDataIn, out = flags & kFlagDataOut;
    if (in && out) return false;
    if ((in || out) && length) {
        // The data area must lie in the part of the block that travels that way.
        const uint64_t end = static_cast<uint64_t>(offset) + length;
        if (offset < kHeaderSize || end > (in ? outSize : inSize)) return false;
    }
    const TaskFile tf = AtaPassThroughCommand(b);
    std::span<const uint8_t> dataOut;
    if (out && length) dataOut = std::span<const uint8_t>(b + offset, length);
    const AtaReply reply = drive_.Execute(tf, dataOut);
    if (in && length) {
        std::memset(b + offset, 0, length);
        const size_t moved = reply.Failed() ? 0 : std::min<size_t>(reply.data.size(), length);
        std::copy_n(reply.data.begin(), moved, b + offset);
        PutU32(b + kDataTransferLength, static_cast<uint32_t>(moved));
    }
    PutAtaPassThroughResult(b, sat::ReplyRegisters(reply));
    return true;
}

bool VirtualDeviceIo::ScsiRequest(uint8_t* b, uint32_t inSize, uint32_t outSize) {
    using namespace scsi_ptx;
    if (inSize < kRecordSize || outSize < kRecordSize) return false;
    if (GetU16(b + kLength) != kRecordSize) return false;
    const uint32_t bufferSize = std::max(inSize, outSize);
    const uint8_t cdbLength = b[kCdbLength];
    const uint8_t senseLength = b[kSenseInfoLength];
    const uint8_t direction = b[kDataIn];
    const uint32_t length = GetU32(b + kDataTransferLength);
    const uint32_t dataOffset = GetU32(b + kDataBufferOffset);
    const uint32_t senseOffset = GetU32(b + kSenseInfoOffset);
    if (cdbLength == 0 || cdbLength > 16) return false;
    if (direction > kDataUnspecified) return false;
    if (senseLength &&
        (senseOffset < kRecordSize || static_cast<uint64_t>(senseOffset) + senseLength > outSize))
        return false;
    if (direction != kDataUnspecified && length) {
        const uint64_t end = static_cast<uint64_t>(dataOffset) + length;
        if (dataOffset < kRecordSize || end > bufferSize) return false;
        if (end > (direction == kDataInDir ? outSize : inSize)) return false;
    }
    std::span<const uint8_t> dataOut;
    if (direction == kDataOut && length) dataOut = std::span<const uint8_t>(b + dataOffset, length);
    const uint32_t capacity = direction == kDataInDir ? length : 0;

    sat::SatResponse resp;
    sat::PassThroughCommand cmd;
    const bool parsed = sat::ParsePassThroughCdb(b + kCdb, cdbLength, cmd);
    // A data protocol whose direction disagrees with the request is refused
    // before the drive sees it, as a translation layer does.
    if (parsed &&
        ((cmd.DataIn() && direction != kDataInDir) || (cmd.DataOut() && direction != kDataOut))) {
        resp.scsiStatus = sat::kScsiStatusCheckCondition;
        resp.sense = sat::BuildSense(sat_.descriptorSense, sat::kSenseIllegalRequest, 0x24, 0,
                                     nullptr, false);
    } else {
        resp = sat_.Execute(b + kCdb, cdbLength, dataOut, capacity);
    }
    b[kScsiStatus] = resp.scsiStatus;
    if (senseLength) {
        std::memset(b + senseOffset, 0, senseLength);
        std::copy_n(resp.sense.begin(), std::min<size_t>(resp.sense.size(), senseLength),
                    b + senseOffset);
    }
    if (direction == kDataInDir && length) {
        std::memset(b + dataOffset, 0, length);
        const size_t moved = std::min<size_t>(resp.data.size(), length);
        std::copy_n(resp.data.begin(), moved, b + dataOffset);
        PutU32(b + kDataTransferLength, static_cast<uint32_t>(moved));
    }
    return true;
}

VirtualDriveEnumerator::VirtualDriveEnumerator(std::vector<VirtualDrive*> drives)
    : drives_(std::move(drives)) {}

int VirtualDriveEnumerator::EnumerateDrives(DriveTable& table) {
    return FillDriveTable(*this, table);
}

DiskProbe VirtualDriveEnumerator::Probe(int index, TST_PhysicalDrive& entry) {
    if (index < 0 || static_cast<size_t>(index) >= drives_.size()) return DiskProbe::NoMoreItems;
    VirtualDrive* drive = drives_[static_cast<size_t>(index)];
    if (!drive) return DiskProbe::CannotOpen;
    const auto id = drive->IdentifySector();
    const std::string model = Trim(IdentifyString(id.data(), 27, 20));
    const std::string serial = Trim(IdentifyString(id.data(), 10, 10));
    entry.deviceNumber = index;
    entry.devicePath = Format("/dev/qmvd%d", index);
    entry.physicalDrivePath = entry.devicePath;
    entry.displayName = DiskDisplayName(model, serial, index);
    entry.adapterValid = true;
    entry.maxTransferLength = 128 * 1024;
    entry.maxPhysicalPages = 33;
    entry.alignmentMask = 1;
    entry.adapterUsesPio = false;
    entry.busType = kBusSata;
    return DiskProbe::Found;
}

std::unique_ptr<DeviceIo> CreateVirtualDeviceIo(VirtualDrive& drive) {
    return std::make_unique<VirtualDeviceIo>(drive);
}

std::unique_ptr<DriveEnumerator> CreateVirtualDriveEnumerator(VirtualDrive& drive) {
    return std::make_unique<VirtualDriveEnumerator>(std::vector<VirtualDrive*>{&drive});
}

}  // namespace qm
