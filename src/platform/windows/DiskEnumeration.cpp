#include "platform/windows/DiskEnumeration.h"

#include <vector>

#include "common/Bytes.h"

namespace qm {

namespace storage {

int32_t DiskNumber(const uint8_t* answer, uint32_t returned) {
    // DeviceType, DeviceNumber, PartitionNumber.
    if (returned < 8 || GetU32(answer) != kFileDeviceDisk) return -1;
    return static_cast<int32_t>(GetU32(answer + 4));
}

void PutAdapterQuery(uint8_t* query) {
    PutU32(query, kStorageAdapterProperty);
    PutU32(query + 4, kPropertyStandardQuery);
    PutU32(query + 8, 0);  // AdditionalParameters and padding
}

void TakeAdapterDescriptor(const uint8_t* d, TST_PhysicalDrive& entry) {
    // Version, Size, MaximumTransferLength, MaximumPhysicalPages,
    // AlignmentMask, AdapterUsesPio, AdapterScansDown, CommandQueueing,
    // AcceleratedTransfer, BusType.
    entry.maxTransferLength = GetU32(d + 8);
    entry.maxPhysicalPages = GetU32(d + 12);
    entry.alignmentMask = GetU32(d + 16);
    entry.adapterUsesPio = d[20] != 0;
    entry.busType = d[24];
}

}  // namespace storage

namespace {

void ReadDrive(DeviceIo& io, DeviceHandle handle, TST_PhysicalDrive& entry) {
    uint8_t number[storage::kDeviceNumberSize] = {};
    uint32_t returned = 0;
    entry.deviceNumber = -1;
    if (io.Control(handle, kIoctlStorageGetDeviceNumber, number, 0, sizeof number, returned)) {
        entry.deviceNumber = storage::DiskNumber(number, returned);
        if (entry.deviceNumber >= 0)
            entry.physicalDrivePath = "\\\\.\\PhysicalDrive" + std::to_string(entry.deviceNumber);
    }

    // The answer area is zeroed and the query only fills bytes the
    // descriptor's header overwrites, so fields a short descriptor lacks read 0.
    std::vector<uint8_t> adapter(storage::kAdapterAnswerSize, 0);
    storage::PutAdapterQuery(adapter.data());
    entry.adapterValid =
        io.Control(handle, kIoctlStorageQueryProperty, adapter.data(), storage::kPropertyQuerySize,
                   storage::kAdapterAnswerSize, returned);
    if (entry.adapterValid) storage::TakeAdapterDescriptor(adapter.data(), entry);
}

}  // namespace

int EnumerateDiskInterfaces(DiskInterfaceSource& source, DeviceIo& io, DriveTable& table) {
    table.fill(TST_PhysicalDrive{});
    if (!source.Available() || !source.OpenSet()) return 0;

    int index = 0;
    for (; index < kMaxPhysicalDrives; ++index) {
        const DiskInterfaceSource::Step step = source.SelectInterface(static_cast<uint32_t>(index));
        if (step == DiskInterfaceSource::Step::NoMoreItems) break;
        if (step == DiskInterfaceSource::Step::Failed) continue;

        std::string path;
        if (!source.InterfacePath(path)) continue;
        const DeviceHandle handle = io.Open(path);
        if (handle == kInvalidDeviceHandle) continue;

        TST_PhysicalDrive& entry = table[static_cast<size_t>(index)];
        entry.devicePath = path;
        entry.displayName = "Disk " + std::to_string(index);
        if (std::string name; source.FriendlyName(name) && !name.empty()) entry.displayName = name;
        ReadDrive(io, handle, entry);
        io.Close(handle);
    }
    source.CloseSet();
    return index;
}

}  // namespace qm
