#pragma once
// A virtual drive mounted behind every seam: the programs' --demo and
// --vdrive DIR.
#include <memory>
#include <string>

#include "drive/DeviceIo.h"
#include "drive/DriveTables.h"
#include "drive/PortIo.h"
#include "vdrive/VirtualDrive.h"

namespace qm {

struct Workbench;
class SimulatedClock;

struct MountedDrive {
    std::unique_ptr<VirtualDrive> drive;
    std::unique_ptr<PortIo> portIo;
    std::unique_ptr<DeviceIo> deviceIo;
    std::unique_ptr<DriveEnumerator> enumerator;

    // Puts the mounted seams into the bench.
    void AttachTo(Workbench& wb) const;
    // Runs the drive on the clock, pass-through calls wait on it, and its
    // yields jump to the end of the drive's busy time. The host that talks
    // to the drive must read the same clock (SimulatedTimeHost).
    void UseClock(SimulatedClock& clock) const;
};

// The built-in sample drive when folder is empty, else the drive read from
// the folder. False (with the reason in error) when the folder is refused.
bool MountVirtualDrive(const std::string& folder, MountedDrive& mounted, std::string& error);

}  // namespace qm
