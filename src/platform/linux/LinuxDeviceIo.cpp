// Pass-through device access and drive enumeration on Linux; the SG_IO and
// libudev backends replace these with the pass-through transport.
#include "platform/Platform.h"

namespace qm::platform {

std::unique_ptr<DeviceIo> CreateDeviceIo() {
    return nullptr;
}
std::unique_ptr<DriveEnumerator> CreateDriveEnumerator() {
    return nullptr;
}

}  // namespace qm::platform
