#include "drive/uAtaPass.h"

#include <cstring>

#include "common/Workbench.h"

namespace qm {

// Placeholder until the pass-through transport lands: every request fails.
bool AtaPassThrough(Workbench& wb, const TaskFile&, uint8_t* buffer, uint32_t length,
                    DataDirection) {
    if (buffer && length) std::memset(buffer, 0, length);
    wb.link.status.ERR = true;
    return false;
}

DeviceHandle OpenDrive(Workbench& wb, const std::string& path) {
    return wb.deviceIo ? wb.deviceIo->Open(path) : kInvalidDeviceHandle;
}

}  // namespace qm
