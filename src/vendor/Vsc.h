#pragma once
// The vendor-specific command protocol: VSC mode, key sectors written to SMART
// log 0xBE, the status sector read back from it, and data phases through log
// 0xBF.
//
// Key sector: sixteen little-endian words at bytes 0..31, the rest zero;
// word 0 is the action code, word 1 its first parameter.
// Status sector: vendor status word (u16) at byte 24, 0 = success; returned
// value (u32) at byte 26, for transfers the number of sectors that follow.
#include <cstdint>

namespace qm {

struct Workbench;

// The service-mode access code of these drives (the values public tools use).
constexpr uint8_t kVscEnableCommand = 0x80;
constexpr uint8_t kVscEnableFeatures = 0x45;
constexpr uint8_t kVscEnableLbaMid = 0x44;
constexpr uint8_t kVscEnableLbaHigh = 0x57;

constexpr uint8_t kKeyLog = 0xBE;
constexpr uint8_t kDataLog = 0xBF;

// Vendor status words with a meaning of their own.
constexpr uint16_t kVscGoOn = 0x3603;         // module access: carry on
constexpr uint16_t kVscTimedOut = 0xFFFC;     // written by us when a timed wait expires
constexpr uint16_t kVscServoStatus = 0xB00E;  // tested by the servo operations

void EnableVsc(Workbench& wb);
void ReadKeyStatus(Workbench& wb);
uint32_t WriteKeySector(Workbench& wb);
// The key-sector write alone, for a key whose answer is watched by other
// means (a test step run followed by the progress monitor): the buffer goes
// out as it is and no status sector is read back. True when the transport
// took the sector.
bool WriteKeySectorOnly(Workbench& wb);
uint32_t SendKey8(Workbench& wb, uint16_t w0, uint16_t w1, uint16_t w2, uint16_t w3, uint16_t w4,
                  uint16_t w5, uint16_t w6, uint16_t w7);
uint32_t SendKey16(Workbench& wb, const uint16_t (&words)[16]);
void ReadVscData(Workbench& wb, uint8_t sectors);
void WriteVscData(Workbench& wb, uint8_t sectors);

uint16_t VendorStatus(const Workbench& wb);
uint32_t ReturnedValue(const Workbench& wb);
// The verdict of a vendor operation: status word 0 and no abort.
bool VscSucceeded(const Workbench& wb);

// Puts words into the zeroed key-sector buffer.
void BuildKey(Workbench& wb, const uint16_t* words, int count);

}  // namespace qm
