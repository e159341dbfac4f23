#include "vdrive/Sat.h"

#include <algorithm>

namespace qm::sat {

bool PassThroughCommand::DataIn() const {
    switch (protocol) {
        case kProtoPioDataIn:
        case kProtoUdmaDataIn:
            return true;
        case kProtoDma:
        case kProtoFpdma:
            return tLength != 0 && tDirIn;
        default:
            return false;
    }
}

bool PassThroughCommand::DataOut() const {
    switch (protocol) {
        case kProtoPioDataOut:
        case kProtoUdmaDataOut:
            return true;
        case kProtoDma:
        case kProtoFpdma:
            return tLength != 0 && !tDirIn;
        default:
            return false;
    }
}

uint32_t PassThroughCommand::AnnouncedBytes() const {
    uint32_t units = 0;
    switch (tLength) {
        case 1:
            units =
                extend ? static_cast<uint32_t>(tf.features | tf.prevFeatures << 8) : tf.features;
            break;
        case 2:
            units = extend ? static_cast<uint32_t>(tf.sectorCount | tf.prevSectorCount << 8)
                           : tf.sectorCount;
            break;
        default:
            return 0;
    }
    return byteBlock ? units * 512 : units;
}

bool ParsePassThroughCdb(const uint8_t* cdb, size_t length, PassThroughCommand& out) {
    if (!cdb || length < 12) return false;
    PassThroughCommand c;
    c.opcode = cdb[0];
    if (c.opcode != kOpAtaPassThrough16 && c.opcode != kOpAtaPassThrough12) return false;
    if (c.opcode == kOpAtaPassThrough16 && length < 16) return false;
    c.protocol = (cdb[1] >> 1) & 0x0F;
    c.offline = (cdb[2] >> 6) & 0x03;
    c.ckCond = cdb[2] & kCkCond;
    c.tDirIn = cdb[2] & kTDirIn;
    c.byteBlock = cdb[2] & kByteBlock;
    c.tLength = cdb[2] & kTLengthMask;
    TaskFile& tf = c.tf;
    if (c.opcode == kOpAtaPassThrough16) {
        c.extend = cdb[1] & 0x01;
        if (c.extend) {
            tf.prevFeatures = cdb[3];
            tf.prevSectorCount = cdb[5];
            tf.prevLbaLow = cdb[7];
            tf.prevLbaMid = cdb[9];
            tf.prevLbaHigh = cdb[11];
        }
        tf.features = cdb[4];
        tf.sectorCount = cdb[6];
        tf.lbaLow = cdb[8];
        tf.lbaMid = cdb[10];
        tf.lbaHigh = cdb[12];
        tf.device = cdb[13];
        tf.command = cdb[14];
    } else {
        tf.features = cdb[3];
        tf.sectorCount = cdb[4];
        tf.lbaLow = cdb[5];
        tf.lbaMid = cdb[6];
        tf.lbaHigh = cdb[7];
        tf.device = cdb[8];
        tf.command = cdb[9];
    }
    out = c;
    return true;
}

std::vector<uint8_t> BuildSense(bool descriptorFormat, uint8_t key, uint8_t asc, uint8_t ascq,
                                const ResultRegisters* regs, bool extend) {
    if (descriptorFormat) {
        std::vector<uint8_t> s(8, 0);
        s[0] = 0x72;
        s[1] = key & 0x0F;
        s[2] = asc;
        s[3] = ascq;
        if (regs) {
            const auto d = BuildStatusDescriptor(*regs, extend);
            s.insert(s.end(), d.begin(), d.end());
            s[7] = static_cast<uint8_t>(d.size());
        }
        return s;
    }
    std::vector<uint8_t> s(18, 0);
    s[0] = 0x70;
    s[2] = key & 0x0F;
    s[7] = 10;  // additional sense length
    s[12] = asc;
    s[13] = ascq;
    if (regs) {
        s[0] |= 0x80;  // INFORMATION valid
        s[3] = regs->error;
        s[4] = regs->status;
        s[5] = regs->device;
        s[6] = regs->sectorCount;
        s[8] = extend ? 0x80 : 0;
        s[9] = regs->lbaLow;
        s[10] = regs->lbaMid;
        s[11] = regs->lbaHigh;
    }
    return s;
}

std::vector<uint8_t> ReturnResponseData(const ResultRegisters& last, bool extend) {
    std::vector<uint8_t> data(22, 0);
    const auto d = BuildStatusDescriptor(last, extend);
    std::copy(d.begin(), d.end(), data.begin());
    return data;
}

ResultRegisters ReplyRegisters(const AtaReply& reply) {
    ResultRegisters r;
    r.error = reply.error;
    r.sectorCount = reply.regs.sectorCount;
    r.lbaLow = reply.regs.lbaLow;
    r.lbaMid = reply.regs.lbaMid;
    r.lbaHigh = reply.regs.lbaHigh;
    r.device = reply.regs.device;
    r.status = reply.status;
    return r;
}

namespace {

// Sense key and additional sense code for an ATA error, as translation layers map them.
void ErrorSense(uint8_t error, uint8_t& key, uint8_t& asc, uint8_t& ascq) {
    if (error & kErrorUnc) {
        key = 0x03, asc = 0x11, ascq = 0x04;  // unrecovered read error
    } else if (error & kErrorIdnf) {
        key = 0x03, asc = 0x14, ascq = 0x01;  // record not found
    } else {
        key = kSenseAbortedCommand, asc = 0x00, ascq = 0x00;
    }
}

}  // namespace

SatResponse SatDevice::Execute(const uint8_t* cdb, size_t cdbLength,
                               std::span<const uint8_t> dataOut, uint32_t dataInCapacity) {
    SatResponse r;
    PassThroughCommand c;
    if (!ParsePassThroughCdb(cdb, cdbLength, c)) {
        r.scsiStatus = kScsiStatusCheckCondition;
        r.sense = BuildSense(descriptorSense, kSenseIllegalRequest, 0x20, 0x00, nullptr, false);
        return r;
    }
    if (c.protocol == kProtoReturnResponse) {
        r.data = ReturnResponseData(last_, lastExtend_);
        if (r.data.size() > dataInCapacity) r.data.resize(dataInCapacity);
        return r;
    }
    const bool known = c.protocol == kProtoNonData || c.DataIn() || c.DataOut();
    if (!known) {
        r.scsiStatus = kScsiStatusCheckCondition;
        r.sense = BuildSense(descriptorSense, kSenseIllegalRequest, 0x24, 0x00, nullptr, false);
        return r;
    }
    const AtaReply reply = drive_.Execute(c.tf, c.DataOut() ? dataOut : std::span<const uint8_t>{});
    last_ = ReplyRegisters(reply);
    lastExtend_ = c.extend;
    if (c.DataIn() && !reply.Failed()) {
        r.data = reply.data;
        if (r.data.size() > dataInCapacity) r.data.resize(dataInCapacity);
    }
    if (reply.Failed()) {
        uint8_t key = 0, asc = 0, ascq = 0;
        ErrorSense(reply.error, key, asc, ascq);
        r.scsiStatus = kScsiStatusCheckCondition;
        r.sense = BuildSense(descriptorSense, key, asc, ascq, &last_, c.extend);
    } else if (c.ckCond) {
        r.scsiStatus = kScsiStatusCheckCondition;
        r.sense = BuildSense(descriptorSense, kSenseRecoveredError, kAscAtaInfo, kAscqAtaInfo,
                             &last_, c.extend);
    }
    return r;
}

}  // namespace qm::sat
