#pragma once
// The port-I/O register protocol of one ATA channel: register map, the two
// register write orders, status waits, sector transfers and the software reset.
//
// Register map (relative to the link's base and control ports):
//   base+0 Data (16 bit)   base+1 Error/Features   base+2 Sector Count
//   base+3 LBA Low         base+4 LBA Mid          base+5 LBA High
//   base+6 Device/Head     base+7 Status/Command   control: Device Control
// Status and Error are always read from base+7 and base+1, never from the
// alternate status register.
#include <cstdint>

#include "drive/TaskFile.h"

namespace qm {

struct Workbench;

uint8_t ReadStatus(Workbench& wb);
uint8_t ReadError(Workbench& wb);

void WriteTaskFile28(Workbench& wb, uint8_t features, uint8_t sectorCount, uint8_t lbaLow,
                     uint8_t lbaMid, uint8_t lbaHigh, uint8_t device, uint8_t command);
void WriteTaskFile48(Workbench& wb, uint8_t features, uint8_t sectorCount, uint8_t lbaLow,
                     uint8_t lbaMid, uint8_t lbaHigh, uint8_t device, uint8_t command,
                     uint8_t prevFeatures, uint8_t prevSectorCount, uint8_t prevLbaLow,
                     uint8_t prevLbaMid, uint8_t prevLbaHigh);
void WriteTaskFile(Workbench& wb, const TaskFile& tf, RegisterForm form);

// Waits without a time limit until BSY is clear and DRDY and DSC are set, or
// until the transport abort flag is set; always ends with ReadError. In the
// pass-through modes these waits, ReadStatus, ReadError and SoftReset touch
// no port: the status is the last command's, and one look decides.
void WaitReady(Workbench& wb);
// Waits at most `limit` units, a unit being `divisor` counts of the host's
// high-resolution counter. False when the time ran out (the time test comes
// before the ready test on every poll).
bool TimedWaitReady(Workbench& wb, int32_t limit, int64_t divisor);

// 256 words a sector from/to the data port, each sector followed by WaitReady.
void ReadSectors(Workbench& wb, uint8_t* destination, uint32_t sectors);
void WriteSectors(Workbench& wb, const uint8_t* source, uint32_t sectors);

void SoftReset(Workbench& wb);
void SelectDevice(Workbench& wb, uint8_t value);

}  // namespace qm
