#include "drive/uSCSI.h"

#include <cstring>

#include "common/Workbench.h"

namespace qm {

// Placeholder until the pass-through transport lands: every request fails.
bool ScsiAtaPassThrough(Workbench& wb, ScsiProtocol, const TaskFile&, uint8_t* buffer,
                        uint32_t length) {
    if (buffer && length) std::memset(buffer, 0, length);
    wb.link.status.ERR = true;
    return false;
}

bool ScsiReadResponse(Workbench& wb, ResultRegisters&) {
    wb.link.status.ERR = true;
    return false;
}

}  // namespace qm
