#pragma once
// Filling the physical-drive table, shared by every enumeration backend, and
// the storage bus-type names.
#include <cstdint>
#include <string>

#include "drive/DriveTables.h"

namespace qm {

// Name of a storage bus type ("SATA" for 11); values past the table give
// "BUS " and the number.
std::string BusTypeName(uint8_t busType);
// Whether a drive on this bus is reached through SCSI pass-through (SCSI,
// 1394, Fibre, USB, RAID, iSCSI, SAS) rather than ATA pass-through.
bool UsesScsiPassThrough(uint8_t busType);
// The list text of a drive: model and serial ("MODEL SN:SERIAL"), else "Disk " + index.
std::string DiskDisplayName(const std::string& model, const std::string& serial, int index);

// What a backend found at one enumeration index.
enum class DiskProbe {
    Found,        // entry filled
    CannotOpen,   // the device is there but cannot be opened: the entry stays empty
    Failed,       // this index could not be read: go on with the next
    NoMoreItems,  // past the last device: stop
};

class DiskSource {
  public:
    virtual ~DiskSource() = default;
    // Fills `entry` (already reset) for the device at `index`.
    virtual DiskProbe Probe(int index, TST_PhysicalDrive& entry) = 0;
};

// Resets all entries, then probes indices 0 to 40 until the source reports
// no more items. Returns the number of indices visited (empty entries count).
int FillDriveTable(DiskSource& source, DriveTable& table);

}  // namespace qm
