#pragma once
// Finding the disk controllers on the PCI buses through configuration reads,
// the ports of their two channels, and the names shown for them.
#include <cstdint>
#include <string>
#include <vector>

#include "drive/DriveTables.h"

namespace qm {

struct Workbench;

// (bus << 8) | (device << 3) | function.
uint32_t PciConfigAddress(uint32_t bus, uint32_t device, uint32_t function);

// Built-in names: vendor ("Intel"; else four hex digits and "*"), device by
// its ID alone ("ID " + four hex digits + "*" when unknown), controller class
// ("Int ATA"; empty for a class that is not kept).
std::string VendorName(uint32_t vendorId);
std::string DeviceName(uint32_t deviceId);
std::string ClassName(uint32_t classValue);
// Whether the scan keeps a function of this class/subclass value.
bool IsKeptPciClass(uint32_t classValue);

// The two optional name files next to the program, as lines.
struct PciNameFiles {
    std::vector<std::string> pcidevs;  // "pcidevs.ini": 8086=..., 8086:7111=...
    std::vector<std::string> pci;      // "pci.ini": searched for the device ID in lower case
    // Reads both from `folder`; a missing file gives no lines.
    static PciNameFiles Load(const std::string& folder);
};
// The value of the first "name=value" line whose name matches (case-insensitive).
std::string PcidevsValue(const std::vector<std::string>& lines, const std::string& name);
// The text after the first occurrence of the device ID as four lower-case hex
// digits, on the first line holding it, trimmed.
std::string PciIniDeviceName(const std::vector<std::string>& lines, uint32_t deviceId);

// The main window's row for a channel: "01F0/03F6 - Int ATA: Intel 82371AB/EB/MB PIIX4 IDE".
std::string ControllerRowText(const PCIDevDesc& d);

// Rebuilds wb.controllers (at most kMaxPciChannels entries) from buses 0 to
// 10 and returns the number of channels found.
int ScanPciControllers(Workbench& wb);

}  // namespace qm
