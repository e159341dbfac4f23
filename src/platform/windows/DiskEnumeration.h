#pragma once
// The physical-drive enumeration over the disk device interfaces, apart from
// the device-setup library: the library is behind DiskInterfaceSource (the
// Windows one loads setupapi.dll), the drives behind DeviceIo. No system
// header here, so the walk is checked on every host with fakes.
#include <cstdint>
#include <string>

#include "drive/DeviceIo.h"
#include "drive/DriveTables.h"

namespace qm {

// One walk over the present disk device interfaces. The calls follow the
// device-setup library: open the set, select an interface by index, then read
// the selected interface's path and its device's friendly name.
class DiskInterfaceSource {
  public:
    enum class Step { Found, NoMoreItems, Failed };

    virtual ~DiskInterfaceSource() = default;
    // The library and all its entry points were found.
    virtual bool Available() const = 0;
    virtual bool OpenSet() = 0;
    virtual void CloseSet() = 0;
    virtual Step SelectInterface(uint32_t index) = 0;
    virtual bool InterfacePath(std::string& path) = 0;
    virtual bool FriendlyName(std::string& name) = 0;
};

// Fills the table and returns the number of indices visited (interfaces that
// could not be opened count too; their entries stay empty).
int EnumerateDiskInterfaces(DiskInterfaceSource& source, DeviceIo& io, DriveTable& table);

// The storage answers the enumeration reads; their records are the same in
// 32-bit and 64-bit builds.
namespace storage {
constexpr uint32_t kFileDeviceDisk = 7;
constexpr uint32_t kDeviceNumberSize = 12;   // STORAGE_DEVICE_NUMBER
constexpr uint32_t kPropertyQuerySize = 12;  // STORAGE_PROPERTY_QUERY
constexpr uint32_t kAdapterAnswerSize = 8192;
constexpr uint32_t kStorageAdapterProperty = 1;
constexpr uint32_t kPropertyStandardQuery = 0;

// The device number, or -1 when the answer is short or the device is not a disk.
int32_t DiskNumber(const uint8_t* answer, uint32_t returned);
// Writes the adapter property query (adapter property, standard query).
void PutAdapterQuery(uint8_t* query);
// Copies the STORAGE_ADAPTER_DESCRIPTOR fields into the entry.
void TakeAdapterDescriptor(const uint8_t* descriptor, TST_PhysicalDrive& entry);
}  // namespace storage

}  // namespace qm
