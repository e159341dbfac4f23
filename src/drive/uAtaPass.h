#pragma once
// ATA pass-through: the 40-byte ATA_PASS_THROUGH_EX request block (32-bit
// layout) followed by the data, sent with IOCTL_ATA_PASS_THROUGH.
#include <cstdint>
#include <string>
#include <vector>

#include "drive/DeviceIo.h"
#include "drive/TaskFile.h"

namespace qm {

struct Workbench;

// Byte offsets of the ATA_PASS_THROUGH_EX record (32-bit layout).
namespace ata_ptx {
constexpr uint32_t kHeaderSize = 40;
constexpr uint32_t kLength = 0;              // u16
constexpr uint32_t kAtaFlags = 2;            // u16
constexpr uint32_t kPathId = 4;              // u8
constexpr uint32_t kTargetId = 5;            // u8
constexpr uint32_t kLun = 6;                 // u8
constexpr uint32_t kDataTransferLength = 8;  // u32
constexpr uint32_t kTimeOutValue = 12;       // u32, seconds
constexpr uint32_t kDataBufferOffset = 20;   // u32
constexpr uint32_t kPreviousTaskFile = 24;   // 8 bytes
constexpr uint32_t kCurrentTaskFile = 32;    // 8 bytes

constexpr uint16_t kFlagDrdyRequired = 0x01;
constexpr uint16_t kFlagDataIn = 0x02;
constexpr uint16_t kFlagDataOut = 0x04;
constexpr uint16_t kFlag48Bit = 0x08;

// Index of each register inside CurrentTaskFile on the way back.
constexpr uint32_t kRegError = 0, kRegSectorCount = 1, kRegLbaLow = 2, kRegLbaMid = 3,
                   kRegLbaHigh = 4, kRegDevice = 5, kRegStatus = 6;
}  // namespace ata_ptx

constexpr uint32_t kPassThroughTimeoutSeconds = 5;

// A request block with the sizes handed to the device call. The block holds
// max(inSize, outSize) bytes and serves as input and output.
struct PassThroughRequest {
    std::vector<uint8_t> block;
    uint32_t inSize = 0;
    uint32_t outSize = 0;
};

// The ATA_PASS_THROUGH_EX block for tf: zero-filled, the data-out bytes copied
// after the header. Sizes: no data 40/40, data in 40/40+n, data out 40+n/40.
PassThroughRequest BuildAtaPassThroughRequest(const TaskFile& tf, const uint8_t* data,
                                              uint32_t length, DataDirection direction);
// The seven registers the device returned in CurrentTaskFile.
ResultRegisters AtaPassThroughResult(const uint8_t* block);
// What a device writes back: the result registers into CurrentTaskFile.
void PutAtaPassThroughResult(uint8_t* block, const ResultRegisters& r);
// The command a block carries: CurrentTaskFile, and PreviousTaskFile when the
// 48-bit flag is set (what a device reads out of the request).
TaskFile AtaPassThroughCommand(const uint8_t* block);

// Sends tf on the link's ATA pass-through handle. buffer holds `length` bytes:
// data out, or the place for data in. On failure the buffer is zero-filled
// for `length` bytes. Sets the status/error flags and the result registers.
bool AtaPassThrough(Workbench& wb, const TaskFile& tf, uint8_t* buffer, uint32_t length,
                    DataDirection direction);

// Opens a drive for pass-through (read and write, shared, existing only).
DeviceHandle OpenDrive(Workbench& wb, const std::string& path);

}  // namespace qm
