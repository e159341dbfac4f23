#include "platform/linux/SgIoTranslate.h"

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "common/Bytes.h"
#include "drive/SatCdb.h"
#include "drive/uAtaPass.h"
#include "drive/uSCSI.h"

namespace qm::sgio {
namespace {

constexpr uint16_t kDidNoConnect = 0x01;
constexpr uint16_t kDidTimeOut = 0x03;
constexpr uint16_t kDidBadTarget = 0x04;
constexpr uint16_t kDriverSense = 0x08;
constexpr uint16_t kDriverTimeout = 0x06;

uint32_t TimeoutMs(uint32_t seconds) {
    return std::clamp<uint32_t>(seconds, 1, 3600) * 1000;
}

}  // namespace

bool PlanAtaBlock(const uint8_t* b, uint32_t inSize, uint32_t outSize, Plan& plan) {
    using namespace ata_ptx;
    if (!b || inSize < kHeaderSize || outSize < kHeaderSize) return false;
    if (GetU16(b + kLength) != kHeaderSize) return false;
    const uint16_t flags = GetU16(b + kAtaFlags);
    const bool in = flags & kFlagDataIn, out = flags & kFlagDataOut;
    if (in && out) return false;
    plan = Plan{};
    plan.dataLength = GetU32(b + kDataTransferLength);
    plan.dataOffset = GetU32(b + kDataBufferOffset);
    if (!in && !out) plan.dataLength = 0;
    if (plan.dataLength) {
        const uint64_t end = static_cast<uint64_t>(plan.dataOffset) + plan.dataLength;
        if (plan.dataOffset < kHeaderSize || end > (in ? outSize : inSize)) return false;
        plan.direction = in ? Direction::FromDevice : Direction::ToDevice;
    }
    const TaskFile tf = AtaPassThroughCommand(b);
    const bool ext = flags & kFlag48Bit;
    uint8_t protocol = sat::kProtoNonData;
    uint8_t byte2 = sat::kCkCond;
    if (plan.direction == Direction::FromDevice) {
        protocol = sat::kProtoPioDataIn;
        byte2 |= sat::kTDirIn | sat::kByteBlock | 0x02;
    } else if (plan.direction == Direction::ToDevice) {
        protocol = sat::kProtoPioDataOut;
        byte2 |= sat::kByteBlock | 0x02;
    }
    plan.cdb = sat::BuildPassThrough16(protocol, ext, byte2, tf);
    plan.cdbLength = 16;
    plan.timeoutMs = TimeoutMs(GetU32(b + kTimeOutValue));
    return true;
}

bool PlanScsiBlock(const uint8_t* b, uint32_t inSize, uint32_t outSize, Plan& plan) {
    using namespace scsi_ptx;
    if (!b || inSize < kRecordSize || outSize < kRecordSize) return false;
    if (GetU16(b + kLength) != kRecordSize) return false;
    plan = Plan{};
    plan.cdbLength = b[kCdbLength];
    if (plan.cdbLength == 0 || plan.cdbLength > 16) return false;
    std::memcpy(plan.cdb.data(), b + kCdb, plan.cdbLength);
    const uint8_t dir = b[kDataIn];
    if (dir > kDataUnspecified) return false;
    plan.dataLength = dir == kDataUnspecified ? 0 : GetU32(b + kDataTransferLength);
    plan.dataOffset = GetU32(b + kDataBufferOffset);
    if (plan.dataLength) {
        const uint64_t end = static_cast<uint64_t>(plan.dataOffset) + plan.dataLength;
        if (plan.dataOffset < kRecordSize || end > (dir == kDataInDir ? outSize : inSize))
            return false;
        plan.direction = dir == kDataInDir ? Direction::FromDevice : Direction::ToDevice;
    }
    plan.senseLength = b[kSenseInfoLength];
    plan.senseOffset = GetU32(b + kSenseInfoOffset);
    if (plan.senseLength) {
        const uint64_t end = static_cast<uint64_t>(plan.senseOffset) + plan.senseLength;
        if (plan.senseOffset < kRecordSize || end > outSize) return false;
    }
    plan.timeoutMs = TimeoutMs(GetU32(b + kTimeOutValue));
    return true;
}

int TransportError(const Outcome& o) {
    if (o.hostStatus == kDidTimeOut || (o.driverStatus & 0x0F) == kDriverTimeout) return ETIMEDOUT;
    if (o.hostStatus == kDidNoConnect || o.hostStatus == kDidBadTarget) return ENODEV;
    if (o.hostStatus != 0) return EIO;
    if ((o.driverStatus & 0x0F) != 0 && (o.driverStatus & 0x0F) != kDriverSense) return EIO;
    return 0;
}

namespace {
// The request's DataTransferLength becomes the number of bytes that moved.
void ApplyResid(uint8_t* lengthField, int32_t resid) {
    const uint32_t length = GetU32(lengthField);
    if (resid > 0)
        PutU32(lengthField, length - std::min<uint32_t>(length, static_cast<uint32_t>(resid)));
}
}  // namespace

int ApplyAtaOutcome(uint8_t* block, const Outcome& o, bool* registersReturned) {
    using namespace ata_ptx;
    if (registersReturned) *registersReturned = true;
    if (const int err = TransportError(o)) return err;
    ApplyResid(block + kDataTransferLength, o.resid);
    const int key = sat::SenseKey(o.sense, o.senseLength);
    const bool errorKey = o.scsiStatus == sat::kScsiStatusCheckCondition &&
                          key != sat::kSenseNoSense && key != sat::kSenseRecoveredError;
    ResultRegisters r;
    if (sat::DecodeAtaRegisters(o.sense, o.senseLength, r)) {
        // A sense key of an error is a failed command, whatever status byte
        // came with it.
        if (errorKey) r.status |= kStatusErr;
        PutAtaPassThroughResult(block, r);
        return 0;
    }
    // No registers came back (a bridge that ignores CK_COND): the outcome is
    // all there is. Nothing of what was sent stays behind to be read as the
    // drive's answer (RETURN STATUS sends 4F/C2, which reads as "good").
    if (o.scsiStatus != sat::kScsiStatusGood && o.scsiStatus != sat::kScsiStatusCheckCondition)
        return EIO;  // busy, reservation conflict, task set full: the drive never saw it
    const bool good = o.scsiStatus == sat::kScsiStatusGood || !errorKey;
    r = ResultRegisters{};
    r.error = good ? 0 : kErrorAbrt;
    r.status = good ? (kStatusDrdy | kStatusDsc) : (kStatusDrdy | kStatusErr);
    PutAtaPassThroughResult(block, r);
    if (registersReturned) *registersReturned = false;
    return 0;
}

int ApplyScsiOutcome(uint8_t* block, const Plan& plan, const Outcome& o) {
    if (const int err = TransportError(o)) return err;
    ApplyResid(block + scsi_ptx::kDataTransferLength, o.resid);
    block[scsi_ptx::kScsiStatus] = o.scsiStatus;
    if (plan.senseLength) {
        uint8_t* sense = block + plan.senseOffset;
        std::memset(sense, 0, plan.senseLength);
        if (o.sense) std::memcpy(sense, o.sense, std::min<size_t>(o.senseLength, plan.senseLength));
    }
    return 0;
}

}  // namespace qm::sgio
