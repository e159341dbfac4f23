#include "defects/StatusDecode.h"

#include "common/Bytes.h"
#include "common/Format.h"
#include "defects/Lookups.h"

namespace qm {

StatusFields ParseStatusSector(const uint8_t* p) {
    StatusFields f;
    f.ataStatus = p[0x06];
    f.ataCommand = p[0x07];
    f.features = p[0x0A];
    f.count = p[0x0C];
    f.lbaLow = p[0x0E];
    f.lbaMid = p[0x10];
    f.lbaHigh = p[0x11];
    f.ataError = p[0x14];
    f.device = p[0x15];
    f.extErr = GetU16(p + 0x18);
    f.statusFlg1 = GetU32(p + 0x22);
    f.secondaryEcode = GetU16(p + 0x30);
    f.initiatorCode = GetU32(p + 0x32);
    f.background = p[0x36];
    f.power = p[0x37];
    f.lba = GetU64(p + 0x38) & 0xFFFFFFFFFFFFULL;
    f.cylinder = static_cast<int32_t>(GetU32(p + 0x40));
    f.head = p[0x44];
    f.zone = p[0x45];
    f.driveTemp = p[0x4A];
    f.junctionTemp = p[0x4B];
    f.coilTemp = GetU16(p + 0x4C);
    f.servoStatus = GetU16(p + 0x4E);
    f.servoGroupError = GetU16(p + 0x50);
    f.dbsCode = GetU32(p + 0x60);
    f.progress = GetU16(p + 0x68);
    f.flexTemp[0] = p[0x6A];
    f.flexTemp[1] = p[0x6B];
    f.ptmId = GetU16(p + 0x190);
    f.testId = GetU16(p + 0x192);
    f.actionCode = GetU16(p + 0x194);
    f.extErrCode = GetU16(p + 0x196);
    f.testStep = p[0x198];
    return f;
}

bool DriveStillWorking(const StatusFields& f) {
    return f.background == 5 || f.background == 6;
}

std::string BackgroundText(uint8_t state) {
    static const char* const kTexts[] = {" Idle",
                                         " Standby",
                                         " Sleep",
                                         " Background DST",
                                         " Background Data Lifeguard",
                                         " Background VSC Command",
                                         " PST test in progress"};
    return state < std::size(kTexts) ? kTexts[state] : "";
}

std::string PowerText(uint8_t power) {
    // The firmware's own wording, "or(" and the blank before ")" included.
    static const char* const kTexts[] = {
        " (ACTIVE)",
        " (IDLE1)",
        " (IDLE2)",
        " (IDLE3)",
        " (NOT TRACK FOLLOW) or (SPUNDOWN if TEMP_OLD_PM_SWITCH == 1)",
        " (SPUNDOWN) or(STANDBY if TEMP_OLD_PM_SWITCH == 1 )",
        " (STANDBY) or(Unknown State if TEMP_OLD_PM_SWITCH == 1 )"};
    const unsigned index = power / 32u;
    return index < std::size(kTexts) ? kTexts[index] : "";
}

void DescribeStatus(Workbench& wb, const StatusFields& f, StatusTexts& t) {
    t.edDBSCode = f.dbsCode != 0 ? ErrorText5(wb, f.dbsCode) : std::string();
    if (f.ptmId != 0 && f.ptmId != 0x7F && f.ptmId != 0xFF)
        t.edStep1 = DescribeTest(wb, f.ptmId) + " " + TestStepName(f.ptmId, f.testStep);
    t.edProgress = Format("%u.%u%%   ", f.progress / 10u, f.progress % 10u);
    // The low 32 bits of the LBA, unsigned: drives past 1 TiB have LBAs >= 2^31.
    const uint32_t lba = static_cast<uint32_t>(f.lba);
    t.edLba = Format("%X  (%u)", lba, lba);
    if (f.cylinder >= 0) {
        t.edTrack = Format("%X  (%d)", static_cast<unsigned>(f.cylinder), f.cylinder);
    } else {
        // The magnitude in 64 bits: -2^31 has no positive 32-bit counterpart.
        const long long magnitude = -static_cast<long long>(f.cylinder);
        t.edTrack = Format("-%llX  (-%lld)", magnitude, magnitude);
    }
    t.edHead = Format("%X", f.head);
    t.edZone = Format("%X", f.zone);
    t.edServo = Format("%X : %X", f.servoStatus, f.servoGroupError);
    t.edStatus = Format("%04X, %04X, %04X, %08X, %08X", f.extErr, f.extErrCode, f.secondaryEcode,
                        f.statusFlg1, f.initiatorCode);
    t.edStatusTxt = ErrorText(wb, f.extErr);
    if (f.secondaryEcode != 0) t.edStatusTxt += " - " + ErrorText(wb, f.secondaryEcode);
    if (f.extErrCode != 0) t.edStatusTxt += " - " + ErrorText(wb, f.extErrCode);
    t.edStep = Format("ID:%X  TST:%X", f.ptmId, f.testId);
    t.edDtemp = Format("%u", f.driveTemp);
    t.edJtemp = Format("%u", f.junctionTemp);
    t.edCtemp = Format("%u", f.coilTemp);
    t.edFtemp = Format("%u / %u", f.flexTemp[0], f.flexTemp[1]);
    t.edAta =
        Format("%02X %02X %02X %02X %02X %02X %02X / %02X / %02X", f.features, f.count, f.lbaLow,
               f.lbaMid, f.lbaHigh, f.device, f.ataCommand, f.ataError, f.ataStatus);
    t.edCurState = Format("%02X %02X", f.background, f.power) + PowerText(f.power) +
                   BackgroundText(f.background);
    t.edActn = f.actionCode != 0 ? VscActionName(f.actionCode) : std::string();
}

}  // namespace qm
