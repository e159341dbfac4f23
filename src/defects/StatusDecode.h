#pragma once
// The vendor status sector as the progress monitor shows it: the fields it
// holds while the drive works on a background job, and the text of each of
// the monitor's fields.
//
// Status sector (512 bytes, little-endian):
//   0x06 last ATA status   0x07 command   0x0A features   0x0C count
//   0x0E LBA low   0x10/0x11 LBA mid/high   0x14 error   0x15 device
//   0x18 u16 ExtErr (the vendor status word)   0x22 u32 StatusFlg1
//   0x30 u16 SecondaryEcode   0x32 u32 Initiator Code
//   0x36 background activity   0x37 power state (bits 5-7)
//   0x38 48-bit current LBA   0x40 i32 virtual cylinder   0x44 virtual head
//   0x45 data zone   0x4A drive temp   0x4B junction temp   0x4C u16 coil temp
//   0x4E u16 servo status   0x50 u16 servo group error   0x60 u32 DBS code
//   0x68 u16 progress in tenths of a percent   0x6A/0x6B flex temps
//   0x190 u16 PTM id   0x192 u16 test id   0x194 u16 VSC action code
//   0x196 u16 ExtErrCode   0x198 test step
#include <cstdint>
#include <string>

namespace qm {

struct Workbench;

constexpr size_t kStatusSectorSize = 512;

struct StatusFields {
    uint8_t ataStatus = 0, ataCommand = 0, features = 0, count = 0, lbaLow = 0, lbaMid = 0,
            lbaHigh = 0, ataError = 0, device = 0;
    uint16_t extErr = 0;
    uint32_t statusFlg1 = 0;
    uint16_t secondaryEcode = 0;
    uint32_t initiatorCode = 0;
    uint8_t background = 0, power = 0;
    uint64_t lba = 0;  // 48 bits
    int32_t cylinder = 0;
    uint8_t head = 0, zone = 0, driveTemp = 0, junctionTemp = 0;
    uint16_t coilTemp = 0, servoStatus = 0, servoGroupError = 0;
    uint32_t dbsCode = 0;
    uint16_t progress = 0;
    uint8_t flexTemp[2] = {0, 0};
    uint16_t ptmId = 0, testId = 0, actionCode = 0, extErrCode = 0;
    uint8_t testStep = 0;
};

// Reads the fields of a whole 512-byte status sector.
StatusFields ParseStatusSector(const uint8_t* sector);

// The monitor's field texts, code page 1252, named after its controls.
struct StatusTexts {
    std::string edAta, edStatus, edStatusTxt, edCurState, edLba, edTrack, edHead, edZone, edDtemp,
        edJtemp, edCtemp, edServo, edDBSCode, edProgress, edFtemp, edStep, edStep1, edActn;
    bool operator==(const StatusTexts&) const = default;
};

// Background activity states 5 (VSC command) and 6 (PST test) mean the drive
// is still working on the job.
bool DriveStillWorking(const StatusFields& f);
// " Idle", " Standby", ... by background state; empty for other values.
std::string BackgroundText(uint8_t state);
// " (ACTIVE)", " (IDLE1)", ... by power-state byte div 32; empty from 224 on.
std::string PowerText(uint8_t power);

// Fills every text from the fields. edStep1 keeps its previous text when the
// PTM id is 0, 0x7F or 0xFF. Looks descriptions up in Errors.ini and
// ModDescr.ini.
void DescribeStatus(Workbench& wb, const StatusFields& f, StatusTexts& texts);

}  // namespace qm
