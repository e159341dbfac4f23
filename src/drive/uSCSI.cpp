#include "drive/uSCSI.h"

#include <cstring>

#include "common/Bytes.h"
#include "common/Workbench.h"
#include "drive/SatCdb.h"

namespace qm {

std::array<uint8_t, 16> BuildScsiAtaCdb(ScsiProtocol protocol, const TaskFile& tf) {
    // Byte 2: T_DIR, BYTE_BLOCK and T_LENGTH = sector count, without CK_COND.
    switch (protocol) {
        case ScsiProtocol::PioDataIn:
            return sat::BuildPassThrough16(sat::kProtoPioDataIn, true, 0x0E, tf);
        case ScsiProtocol::PioDataOut:
            return sat::BuildPassThrough16(sat::kProtoPioDataOut, true, 0x06, tf);
        case ScsiProtocol::NonData:
            break;
    }
    return sat::BuildPassThrough16(sat::kProtoNonData, true, 0x0C, tf);
}

std::array<uint8_t, 16> BuildReturnResponseCdb() {
    TaskFile none;
    none.device = 0;
    // OFF_LINE 2, CK_COND and T_TYPE set; every register zero.
    return sat::BuildPassThrough16(sat::kProtoReturnResponse, true, 0xB0, none);
}

PassThroughRequest BuildScsiPassThroughRequest(const std::array<uint8_t, 16>& cdb, uint8_t dataIn,
                                               const uint8_t* data, uint32_t length) {
    using namespace scsi_ptx;
    if (dataIn == kDataUnspecified) length = 0;
    PassThroughRequest r;
    r.block.assign(kHeaderSize + length, 0);
    uint8_t* b = r.block.data();
    PutU16(b + kLength, static_cast<uint16_t>(kRecordSize));
    b[kPathId] = 0;
    b[kTargetId] = 1;
    b[kLun] = 0;
    b[kCdbLength] = 16;
    b[kSenseInfoLength] = static_cast<uint8_t>(kSenseSize);
    b[kDataIn] = dataIn;
    PutU32(b + kDataTransferLength, length);
    PutU32(b + kTimeOutValue, kPassThroughTimeoutSeconds);
    PutU32(b + kDataBufferOffset, kHeaderSize);
    PutU32(b + kSenseInfoOffset, kSense);
    std::memcpy(b + kCdb, cdb.data(), cdb.size());
    switch (dataIn) {
        case kDataInDir:
            r.inSize = kHeaderSize;
            r.outSize = kHeaderSize + length;
            break;
        case kDataOut:
            if (data && length) std::memcpy(b + kHeaderSize, data, length);
            r.inSize = kHeaderSize + length;
            r.outSize = kHeaderSize;
            break;
        default:
            r.inSize = kRecordSize;
            r.outSize = kHeaderSize;
            break;
    }
    return r;
}

bool ScsiPassThroughSucceeded(uint8_t scsiStatus, const uint8_t* sense) {
    if (scsiStatus == 0) return true;
    if (sense[0] == 0) return true;
    const uint8_t code = sense[0] & 0x7F;
    if (code != 0x70 && code != 0x71) return false;
    if ((sense[2] & 0x0F) != 0) return false;
    // Filemark, end of medium, incorrect length.
    if (sense[2] & 0xE0) return false;
    return true;
}

ResultRegisters ParseReturnResponse(const uint8_t* data) {
    ResultRegisters r;
    r.error = data[3];
    r.sectorCount = data[5];
    r.lbaLow = data[7];
    r.lbaMid = data[9];
    r.lbaHigh = data[11];
    r.device = data[12];
    r.status = data[13];
    return r;
}

namespace {

// One request on the SCSI pass-through handle. The data area comes back to
// `buffer` for data in. False without a device call when the handle is unusable.
bool RunScsiRequest(Workbench& wb, const std::array<uint8_t, 16>& cdb, uint8_t dataIn,
                    uint8_t* buffer, uint32_t length) {
    if (!buffer) length = 0;
    if (!wb.deviceIo || wb.link.scsiHandle == kInvalidDeviceHandle) {
        if (dataIn == scsi_ptx::kDataInDir && length) std::memset(buffer, 0, length);
        return false;
    }
    PassThroughRequest req = BuildScsiPassThroughRequest(cdb, dataIn, buffer, length);
    uint32_t returned = 0;
    const bool called = wb.deviceIo->Control(wb.link.scsiHandle, kIoctlScsiPassThrough,
                                             req.block.data(), req.inSize, req.outSize, returned);
    bool success = false;
    if (called) {
        const uint8_t* b = req.block.data();
        // A data phase cut short (DataTransferLength below the request) fails.
        success = ScsiPassThroughSucceeded(b[scsi_ptx::kScsiStatus], b + scsi_ptx::kSense) &&
                  (dataIn == scsi_ptx::kDataUnspecified ||
                   GetU32(b + scsi_ptx::kDataTransferLength) >= length);
    }
    // The data area was zeroed before the call, so a failed or short transfer
    // leaves zeros; a failed command never hands back stale or partial data.
    if (dataIn == scsi_ptx::kDataInDir && length) {
        if (success)
            std::memcpy(buffer, req.block.data() + scsi_ptx::kHeaderSize, length);
        else
            std::memset(buffer, 0, length);
    }
    wb.host.ProcessMessages();
    return success;
}

}  // namespace

bool ScsiAtaPassThrough(Workbench& wb, ScsiProtocol protocol, const TaskFile& tf, uint8_t* buffer,
                        uint32_t length) {
    uint8_t dataIn = scsi_ptx::kDataUnspecified;
    if (protocol == ScsiProtocol::PioDataIn) dataIn = scsi_ptx::kDataInDir;
    if (protocol == ScsiProtocol::PioDataOut) dataIn = scsi_ptx::kDataOut;
    return RunScsiRequest(wb, BuildScsiAtaCdb(protocol, tf), dataIn, buffer, length);
}

bool ScsiReadResponse(Workbench& wb, ResultRegisters& out) {
    uint8_t response[scsi_ptx::kResponseSize] = {};
    if (!RunScsiRequest(wb, BuildReturnResponseCdb(), scsi_ptx::kDataInDir, response,
                        sizeof response))
        return false;
    out = ParseReturnResponse(response);
    return true;
}

}  // namespace qm
