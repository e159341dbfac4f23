#pragma once
// The SAT ATA PASS-THROUGH command blocks and the sense data that carries ATA
// registers back: shared by the SCSI pass-through request, the Linux SG_IO
// backend and the virtual SAT layer.
#include <array>
#include <cstddef>
#include <cstdint>

#include "drive/TaskFile.h"

namespace qm::sat {

constexpr uint8_t kOpAtaPassThrough16 = 0x85;
constexpr uint8_t kOpAtaPassThrough12 = 0xA1;

// PROTOCOL field values (CDB byte 1, bits 4..1).
enum Protocol : uint8_t {
    kProtoHardReset = 0,
    kProtoSrst = 1,
    kProtoNonData = 3,
    kProtoPioDataIn = 4,
    kProtoPioDataOut = 5,
    kProtoDma = 6,
    kProtoDeviceDiagnostic = 8,
    kProtoDeviceReset = 9,
    kProtoUdmaDataIn = 10,
    kProtoUdmaDataOut = 11,
    kProtoFpdma = 12,
    kProtoReturnResponse = 15,
};

// CDB byte 2 bits.
constexpr uint8_t kCkCond = 0x20;
constexpr uint8_t kTType = 0x10;
constexpr uint8_t kTDirIn = 0x08;
constexpr uint8_t kByteBlock = 0x04;
constexpr uint8_t kTLengthMask = 0x03;  // 0 none, 1 FEATURES, 2 SECTOR COUNT, 3 TPSIU

// An ATA PASS-THROUGH(16) command block. Multi-byte ATA fields go high byte
// (the tf's "previous" byte) then low byte.
std::array<uint8_t, 16> BuildPassThrough16(uint8_t protocol, bool extend, uint8_t flags,
                                           const TaskFile& tf);

// Sense keys and codes the SAT layers use.
constexpr uint8_t kSenseNoSense = 0x00;
constexpr uint8_t kSenseRecoveredError = 0x01;
constexpr uint8_t kSenseIllegalRequest = 0x05;
constexpr uint8_t kSenseAbortedCommand = 0x0B;
// ASC/ASCQ 0x00/0x1D: ATA PASS-THROUGH INFORMATION AVAILABLE.
constexpr uint8_t kAscAtaInfo = 0x00, kAscqAtaInfo = 0x1D;

constexpr uint8_t kScsiStatusGood = 0x00;
constexpr uint8_t kScsiStatusCheckCondition = 0x02;

// The ATA Status Return sense data descriptor (code 0x09, 14 bytes).
constexpr uint8_t kAtaStatusReturnDescriptor = 0x09;
constexpr size_t kAtaStatusReturnLength = 14;
std::array<uint8_t, kAtaStatusReturnLength> BuildStatusDescriptor(const ResultRegisters& r,
                                                                  bool extend);

// Reads the ATA registers out of sense data: descriptor format (0x72/0x73)
// with an ATA Status Return descriptor, or fixed format (0x70/0x71) with
// ASC/ASCQ 0x00/0x1D. False when the sense carries no registers.
bool DecodeAtaRegisters(const uint8_t* sense, size_t length, ResultRegisters& out);

// The sense key of fixed or descriptor sense data; -1 when there is none.
int SenseKey(const uint8_t* sense, size_t length);

}  // namespace qm::sat
