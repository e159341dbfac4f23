#pragma once
// The device-change window message (WM_DEVICECHANGE) of Windows as the main
// window's event codes (drive/DeviceChange.h). The window's native event
// filter hands each message here.
#include <cstdint>

namespace qm::platform {

// The event code of a message (a MSG) sent to `window`: 7 (device nodes
// changed), 0x8000 (device arrived), 0x8004 (device removed); 0 for every
// other message and for messages to other windows.
uint32_t DeviceChangeCodeOfMessage(const void* message, const void* window);

// Asks Windows to send disk arrival and removal to `window` (an HWND): it
// broadcasts them to top-level windows for volumes only, not for disks.
// Returns the registration, null when refused.
void* RegisterDiskNotifications(void* window);
void UnregisterDiskNotifications(void* registration);

}  // namespace qm::platform
