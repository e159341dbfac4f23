#pragma once
// Windows: disks coming and going reach the main window as the device-change
// message (WM_DEVICECHANGE), through a native event filter of the
// application. Other systems have their own source (udev on Linux); there
// this does nothing.
namespace qm {

class TfmMain;

// Installs the filter for the window and asks Windows for disk
// notifications at it; both end with the window.
void WatchWindowsDeviceChanges(TfmMain& form);

}  // namespace qm
