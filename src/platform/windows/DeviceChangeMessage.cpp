#include "platform/windows/DeviceChangeMessage.h"

#include <windows.h>
// windows.h first: dbt.h uses its types.
#include <dbt.h>

#include <cstring>

#include "drive/DeviceChange.h"

namespace qm::platform {
namespace {

// GUID_DEVINTERFACE_DISK, written out so that no GUID library is linked.
constexpr GUID kDiskInterface = {
    0x53F56307, 0xB6BF, 0x11D0, {0x94, 0xF2, 0x00, 0xA0, 0xC9, 0x1E, 0xFB, 0x8B}};

}  // namespace

uint32_t DeviceChangeCodeOfMessage(const void* message, const void* window) {
    const MSG* m = static_cast<const MSG*>(message);
    if (!m || m->message != WM_DEVICECHANGE ||
        m->hwnd != static_cast<HWND>(const_cast<void*>(window)))
        return 0;
    switch (m->wParam) {
        case DBT_DEVNODES_CHANGED:
            return kDeviceNodesChanged;
        case DBT_DEVICEARRIVAL:
            return kDeviceArrival;
        case DBT_DEVICEREMOVECOMPLETE:
            return kDeviceRemoveComplete;
        default:
            return 0;
    }
}

void* RegisterDiskNotifications(void* window) {
    DEV_BROADCAST_DEVICEINTERFACE_W filter;
    std::memset(&filter, 0, sizeof filter);
    filter.dbcc_size = sizeof filter;
    filter.dbcc_devicetype = DBT_DEVTYP_DEVICEINTERFACE;
    filter.dbcc_classguid = kDiskInterface;
    return RegisterDeviceNotificationW(static_cast<HWND>(window), &filter,
                                       DEVICE_NOTIFY_WINDOW_HANDLE);
}

void UnregisterDiskNotifications(void* registration) {
    if (registration) UnregisterDeviceNotification(static_cast<HDEVNOTIFY>(registration));
}

static_assert(DBT_DEVNODES_CHANGED == kDeviceNodesChanged && DBT_DEVICEARRIVAL == kDeviceArrival &&
              DBT_DEVICEREMOVECOMPLETE == kDeviceRemoveComplete);

}  // namespace qm::platform
