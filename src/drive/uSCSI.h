#pragma once
// SCSI pass-through carrying an ATA command in a SAT ATA PASS-THROUGH(16)
// command block: the 44-byte SCSI_PASS_THROUGH record inside an 80-byte
// header, sent with IOCTL_SCSI_PASS_THROUGH.
#include <cstdint>

#include "drive/TaskFile.h"

namespace qm {

struct Workbench;

enum class ScsiProtocol { NonData, PioDataIn, PioDataOut };

bool ScsiAtaPassThrough(Workbench& wb, ScsiProtocol protocol, const TaskFile& tf, uint8_t* buffer,
                        uint32_t length);
// The Return Response Information request: the result registers of the last command.
bool ScsiReadResponse(Workbench& wb, ResultRegisters& out);

}  // namespace qm
