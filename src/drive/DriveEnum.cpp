#include "drive/DriveEnum.h"

#include "common/Format.h"

namespace qm {

namespace {
const char* const kBusTypeNames[] = {
    "UNKNOWN", "SCSI",  "ATAPI", "ATA",  "1394", "SSA",          "FIBRE",   "USB",
    "RAID",    "iSCSI", "SAS",   "SATA", "SD",   "MMC",          "VIRTUAL", "FILE BACKED VIRTUAL",
    "SPACES",  "NVME",  "SCM",   "UFS",  "MAX",  "MAX RESERVED",
};
constexpr unsigned kBusTypeCount = sizeof kBusTypeNames / sizeof kBusTypeNames[0];
static_assert(kBusTypeCount == 22);
}  // namespace

std::string BusTypeName(uint8_t busType) {
    if (busType < kBusTypeCount) return kBusTypeNames[busType];
    return Format("BUS %u", static_cast<unsigned>(busType));
}

bool UsesScsiPassThrough(uint8_t busType) {
    switch (busType) {
        case kBusScsi:
        case kBus1394:
        case kBusFibre:
        case kBusUsb:
        case kBusRaid:
        case kBusIScsi:
        case kBusSas:
            return true;
        default:
            return false;
    }
}

std::string DiskDisplayName(const std::string& model, const std::string& serial, int index) {
    const std::string m = Trim(model), s = Trim(serial);
    if (m.empty()) return Format("Disk %d", index);
    return s.empty() ? m : m + " SN:" + s;
}

int FillDriveTable(DiskSource& source, DriveTable& table) {
    for (TST_PhysicalDrive& e : table) e = TST_PhysicalDrive{};
    for (int index = 0; index < kMaxPhysicalDrives; ++index) {
        TST_PhysicalDrive& entry = table[static_cast<size_t>(index)];
        const DiskProbe probe = source.Probe(index, entry);
        if (probe == DiskProbe::NoMoreItems) {
            entry = TST_PhysicalDrive{};
            return index;
        }
        if (probe != DiskProbe::Found) entry = TST_PhysicalDrive{};
    }
    return kMaxPhysicalDrives;
}

}  // namespace qm
