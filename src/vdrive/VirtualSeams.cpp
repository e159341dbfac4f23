#include "vdrive/VirtualSeams.h"

#include "vdrive/VirtualDrive.h"

namespace qm {

// Placeholders until the pass-through transport lands.
std::unique_ptr<DeviceIo> CreateVirtualDeviceIo(VirtualDrive&) {
    return nullptr;
}
std::unique_ptr<DriveEnumerator> CreateVirtualDriveEnumerator(VirtualDrive&) {
    return nullptr;
}

}  // namespace qm
