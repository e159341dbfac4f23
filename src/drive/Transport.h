#pragma once
// The transport operations through which every feature talks to the drive.
// Each looks at the link's mode and runs the port-I/O register sequence or
// one pass-through request. Each returns success and leaves ERR set to its
// negation; none throws.
#include <cstdint>

#include "drive/TaskFile.h"

namespace qm {

struct Workbench;

bool SendNonData(Workbench& wb, TaskFile tf, RegisterForm form);
// `sectors` × 512 bytes from the drive into the sector buffer (offset 0), or
// into `destination` when given (the status read fills the key-sector buffer).
bool SendDataIn(Workbench& wb, TaskFile tf, RegisterForm form, uint32_t sectors,
                uint8_t* destination = nullptr);
// `sectors` × 512 bytes to the drive from the sector buffer, or from `source`
// when given (the key-sector write sends the key-sector buffer).
bool SendDataOut(Workbench& wb, TaskFile tf, RegisterForm form, uint32_t sectors,
                 const uint8_t* source = nullptr);
// lbaMid and lbaHigh after the last command (and the other result registers
// where the transport has them).
ResultRegisters ReadResultRegisters(Workbench& wb);
// IDENTIFY DEVICE into the first 512 bytes of the sector buffer.
bool IdentifyDevice(Workbench& wb);

}  // namespace qm
