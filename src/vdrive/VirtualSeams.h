#pragma once
// The virtual drive behind the pass-through and enumeration seams.
#include <memory>

#include "drive/DeviceIo.h"
#include "drive/DriveTables.h"

namespace qm {

class VirtualDrive;

// Parses both pass-through request blocks and answers from the drive the way
// a SAT layer does. The drive shows up at the path "/dev/qmvd0".
std::unique_ptr<DeviceIo> CreateVirtualDeviceIo(VirtualDrive& drive);
// Lists the mounted virtual drive as one SATA disk.
std::unique_ptr<DriveEnumerator> CreateVirtualDriveEnumerator(VirtualDrive& drive);

}  // namespace qm
