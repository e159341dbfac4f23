#include "drive/uAtaPass.h"

#include <cstring>

#include "common/Bytes.h"
#include "common/Workbench.h"

namespace qm {

PassThroughRequest BuildAtaPassThroughRequest(const TaskFile& tf, const uint8_t* data,
                                              uint32_t length, DataDirection direction) {
    using namespace ata_ptx;
    if (direction == DataDirection::None) length = 0;
    PassThroughRequest r;
    r.block.assign(kHeaderSize + length, 0);
    uint8_t* b = r.block.data();
    uint16_t flags = kFlagDrdyRequired | kFlag48Bit;
    if (direction == DataDirection::In) flags |= kFlagDataIn;
    if (direction == DataDirection::Out) flags |= kFlagDataOut;
    PutU16(b + kLength, static_cast<uint16_t>(kHeaderSize));
    PutU16(b + kAtaFlags, flags);
    PutU32(b + kDataTransferLength, length);
    PutU32(b + kTimeOutValue, kPassThroughTimeoutSeconds);
    PutU32(b + kDataBufferOffset, kHeaderSize);
    uint8_t* prev = b + kPreviousTaskFile;
    prev[0] = tf.prevFeatures;
    prev[1] = tf.prevSectorCount;
    prev[2] = tf.prevLbaLow;
    prev[3] = tf.prevLbaMid;
    prev[4] = tf.prevLbaHigh;
    uint8_t* cur = b + kCurrentTaskFile;
    cur[0] = tf.features;
    cur[1] = tf.sectorCount;
    cur[2] = tf.lbaLow;
    cur[3] = tf.lbaMid;
    cur[4] = tf.lbaHigh;
    cur[5] = tf.device;
    cur[6] = tf.command;
    switch (direction) {
        case DataDirection::None:
            r.inSize = r.outSize = kHeaderSize;
            break;
        case DataDirection::In:
            r.inSize = kHeaderSize;
            r.outSize = kHeaderSize + length;
            break;
        case DataDirection::Out:
            if (data && length) std::memcpy(b + kHeaderSize, data, length);
            r.inSize = kHeaderSize + length;
            r.outSize = kHeaderSize;
            break;
    }
    return r;
}

TaskFile AtaPassThroughCommand(const uint8_t* block) {
    using namespace ata_ptx;
    TaskFile tf;
    const uint8_t* prev = block + kPreviousTaskFile;
    const uint8_t* cur = block + kCurrentTaskFile;
    if (GetU16(block + kAtaFlags) & kFlag48Bit) {
        tf.prevFeatures = prev[0];
        tf.prevSectorCount = prev[1];
        tf.prevLbaLow = prev[2];
        tf.prevLbaMid = prev[3];
        tf.prevLbaHigh = prev[4];
    }
    tf.features = cur[0];
    tf.sectorCount = cur[1];
    tf.lbaLow = cur[2];
    tf.lbaMid = cur[3];
    tf.lbaHigh = cur[4];
    tf.device = cur[5];
    tf.command = cur[6];
    return tf;
}

void PutAtaPassThroughResult(uint8_t* block, const ResultRegisters& r) {
    using namespace ata_ptx;
    uint8_t* cur = block + kCurrentTaskFile;
    cur[kRegError] = r.error;
    cur[kRegSectorCount] = r.sectorCount;
    cur[kRegLbaLow] = r.lbaLow;
    cur[kRegLbaMid] = r.lbaMid;
    cur[kRegLbaHigh] = r.lbaHigh;
    cur[kRegDevice] = r.device;
    cur[kRegStatus] = r.status;
    cur[7] = 0;
}

ResultRegisters AtaPassThroughResult(const uint8_t* block) {
    using namespace ata_ptx;
    const uint8_t* cur = block + kCurrentTaskFile;
    ResultRegisters r;
    r.error = cur[kRegError];
    r.sectorCount = cur[kRegSectorCount];
    r.lbaLow = cur[kRegLbaLow];
    r.lbaMid = cur[kRegLbaMid];
    r.lbaHigh = cur[kRegLbaHigh];
    r.device = cur[kRegDevice];
    r.status = cur[kRegStatus];
    return r;
}

bool AtaPassThrough(Workbench& wb, const TaskFile& tf, uint8_t* buffer, uint32_t length,
                    DataDirection direction) {
    if (!buffer) length = 0;
    if (direction == DataDirection::None) length = 0;
    auto zeroData = [&] {
        if (buffer && length) std::memset(buffer, 0, length);
    };
    PassThroughRequest req = BuildAtaPassThroughRequest(tf, buffer, length, direction);
    uint32_t returned = 0;
    const bool called =
        wb.deviceIo && wb.deviceIo->Control(wb.link.ataHandle, kIoctlAtaPassThrough,
                                            req.block.data(), req.inSize, req.outSize, returned);
    if (!called) {
        const std::string text = wb.deviceIo ? wb.deviceIo->ErrorText(wb.deviceIo->LastError())
                                             : std::string("no pass-through device access");
        wb.host.Log("IOCTL_ATA_PASS_THROUGH " + text);
        zeroData();
        return false;
    }
    ResultRegisters result = AtaPassThroughResult(req.block.data());
    result.known = wb.deviceIo->RegistersReturned();
    wb.link.status.Set(result.status);
    wb.link.error.Set(result.error);
    wb.link.result = result;
    // The storage stack reports in DataTransferLength how much moved; a data
    // phase cut short is a failed command, never a buffer half of zeros.
    const bool complete = direction == DataDirection::None ||
                          GetU32(req.block.data() + ata_ptx::kDataTransferLength) >= length;
    const bool success = (result.status & kStatusErr) == 0 && complete;
    if (!success) {
        zeroData();
        return false;
    }
    if (direction == DataDirection::In && length)
        std::memcpy(buffer, req.block.data() + ata_ptx::kHeaderSize, length);
    return true;
}

DeviceHandle OpenDrive(Workbench& wb, const std::string& path) {
    return wb.deviceIo ? wb.deviceIo->Open(path) : kInvalidDeviceHandle;
}

}  // namespace qm
