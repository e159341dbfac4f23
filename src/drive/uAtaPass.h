#pragma once
// ATA pass-through: the 40-byte ATA_PASS_THROUGH_EX request block (32-bit
// layout) followed by the data, sent with IOCTL_ATA_PASS_THROUGH.
#include <cstdint>
#include <string>

#include "drive/DeviceIo.h"
#include "drive/TaskFile.h"

namespace qm {

struct Workbench;

// Sends tf on the link's ATA pass-through handle. buffer holds `length` bytes:
// data out, or the place for data in. On failure the buffer is zero-filled
// for `length` bytes. Sets the status/error flags and the result registers.
bool AtaPassThrough(Workbench& wb, const TaskFile& tf, uint8_t* buffer, uint32_t length,
                    DataDirection direction);

// Opens a drive for pass-through (read and write, shared, existing only).
DeviceHandle OpenDrive(Workbench& wb, const std::string& path);

}  // namespace qm
