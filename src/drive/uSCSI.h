#pragma once
// SCSI pass-through carrying an ATA command in a SAT ATA PASS-THROUGH(16)
// command block: the 44-byte SCSI_PASS_THROUGH record inside an 80-byte
// header, sent with IOCTL_SCSI_PASS_THROUGH.
#include <array>
#include <cstdint>

#include "drive/TaskFile.h"
#include "drive/uAtaPass.h"

namespace qm {

struct Workbench;

enum class ScsiProtocol { NonData, PioDataIn, PioDataOut };

// Byte offsets of the SCSI_PASS_THROUGH record (32-bit layout) and its header.
namespace scsi_ptx {
constexpr uint32_t kRecordSize = 44;
constexpr uint32_t kHeaderSize = 80;
constexpr uint32_t kLength = 0;               // u16
constexpr uint32_t kScsiStatus = 2;           // u8
constexpr uint32_t kPathId = 3;               // u8
constexpr uint32_t kTargetId = 4;             // u8
constexpr uint32_t kLun = 5;                  // u8
constexpr uint32_t kCdbLength = 6;            // u8
constexpr uint32_t kSenseInfoLength = 7;      // u8
constexpr uint32_t kDataIn = 8;               // u8
constexpr uint32_t kDataTransferLength = 12;  // u32
constexpr uint32_t kTimeOutValue = 16;        // u32, seconds
constexpr uint32_t kDataBufferOffset = 20;    // u32
constexpr uint32_t kSenseInfoOffset = 24;     // u32
constexpr uint32_t kCdb = 28;                 // 16 bytes
constexpr uint32_t kSense = 48;               // 24 bytes
constexpr uint32_t kSenseSize = 24;

constexpr uint8_t kDataOut = 0;
constexpr uint8_t kDataInDir = 1;
constexpr uint8_t kDataUnspecified = 2;

// The Return Response Information answer: the ATA Status Return descriptor
// at its start.
constexpr uint32_t kResponseSize = 22;
}  // namespace scsi_ptx

// The ATA PASS-THROUGH(16) command block for a non-data, PIO data-in or PIO
// data-out command.
std::array<uint8_t, 16> BuildScsiAtaCdb(ScsiProtocol protocol, const TaskFile& tf);
// The Return Response Information command block.
std::array<uint8_t, 16> BuildReturnResponseCdb();
// The SCSI_PASS_THROUGH block around a command block: zero-filled, data-out
// bytes after the header. Sizes: no data 44/80, data in 80/80+n, data out 80+n/80.
PassThroughRequest BuildScsiPassThroughRequest(const std::array<uint8_t, 16>& cdb, uint8_t dataIn,
                                               const uint8_t* data, uint32_t length);
// Whether a completed request succeeded: SCSI status 0; or a non-zero status
// with an empty sense area (first byte 0); or fixed sense that reports no
// sense key and none of the filemark, end-of-medium and incorrect-length flags.
bool ScsiPassThroughSucceeded(uint8_t scsiStatus, const uint8_t* sense);
// The registers of the Return Response Information answer.
ResultRegisters ParseReturnResponse(const uint8_t* data);

bool ScsiAtaPassThrough(Workbench& wb, ScsiProtocol protocol, const TaskFile& tf, uint8_t* buffer,
                        uint32_t length);
// The Return Response Information request: the result registers of the last command.
bool ScsiReadResponse(Workbench& wb, ResultRegisters& out);

}  // namespace qm
