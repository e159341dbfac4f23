#include "platform/linux/LinuxEnumerator.h"

#include <libudev.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "common/Format.h"
#include "common/Ini.h"
#include "drive/DriveEnum.h"

namespace qm {
namespace {

std::string Prop(udev_device* d, const char* name) {
    const char* v = udev_device_get_property_value(d, name);
    return v ? v : "";
}

bool Contains(const std::string& s, const char* part) {
    return s.find(part) != std::string::npos;
}

// A sysfs attribute file as trimmed text; empty when it cannot be read.
std::string SysAttr(const std::string& syspath, const char* name) {
    std::string text;
    if (!ReadWholeFile(syspath + "/" + name, text)) return {};
    return Trim(text);
}

bool SysNumber(const std::string& syspath, const char* name, uint32_t& value) {
    const std::string t = SysAttr(syspath, name);
    if (t.empty()) return false;
    char* end = nullptr;
    const unsigned long long v = std::strtoull(t.c_str(), &end, 10);
    if (!end || *end) return false;
    value = static_cast<uint32_t>(std::min<unsigned long long>(v, 0xFFFFFFFFull));
    return true;
}

class UdevDisks : public DiskSource {
  public:
    UdevDisks(udev* u, std::vector<std::string> syspaths)
        : udev_(u), syspaths_(std::move(syspaths)) {}

    DiskProbe Probe(int index, TST_PhysicalDrive& e) override {
        if (index < 0 || static_cast<size_t>(index) >= syspaths_.size())
            return DiskProbe::NoMoreItems;
        const std::string& syspath = syspaths_[static_cast<size_t>(index)];
        // The disk may have gone since the list was taken.
        udev_device* d = udev_device_new_from_syspath(udev_, syspath.c_str());
        if (!d) return DiskProbe::Failed;
        const char* node = udev_device_get_devnode(d);
        if (!node) {
            udev_device_unref(d);
            return DiskProbe::Failed;
        }
        e.deviceNumber = index;
        e.devicePath = node;
        for (udev_list_entry* l = udev_device_get_devlinks_list_entry(d); l;
             l = udev_list_entry_get_next(l)) {
            const std::string link = udev_list_entry_get_name(l);
            if (link.rfind("/dev/disk/by-id/", 0) != 0) continue;
            const bool wwn = link.rfind("/dev/disk/by-id/wwn-", 0) == 0;
            if (e.physicalDrivePath.empty() || (!wwn && Contains(e.physicalDrivePath, "/wwn-")))
                e.physicalDrivePath = link;
        }

        std::string model = DecodeUdevString(Prop(d, "ID_MODEL_ENC"));
        if (model.empty()) {
            model = Prop(d, "ID_MODEL");
            std::replace(model.begin(), model.end(), '_', ' ');
        }
        if (model.empty()) model = SysAttr(syspath, "device/model");
        std::string serial = Prop(d, "ID_SERIAL_SHORT");
        if (serial.empty()) serial = SysAttr(syspath, "device/serial");
        e.displayName = DiskDisplayName(model, serial, index);

        DiskBusFacts f;
        f.idBus = Prop(d, "ID_BUS");
        f.idPath = Prop(d, "ID_PATH");
        f.ataIdRan = !Prop(d, "ID_ATA").empty();
        f.sata = Prop(d, "ID_ATA_SATA") == "1";
        if (const char* s = udev_device_get_sysname(d)) f.sysname = s;
        for (udev_device* p = udev_device_get_parent(d); p; p = udev_device_get_parent(p)) {
            const char* sub = udev_device_get_subsystem(p);
            f.parentSubsystems.push_back(sub ? sub : "");
            if (sub && std::strcmp(sub, "mmc") == 0) {
                const char* type = udev_device_get_sysattr_value(p, "type");
                if (type) f.mmcType = type;
            }
        }
        e.busType = BusTypeFromFacts(f);

        // The block queue limits stand in for the adapter descriptor.
        uint32_t kb = 0, segments = 0, align = 0, logical = 0;
        e.adapterValid = SysNumber(syspath, "queue/max_hw_sectors_kb", kb);
        if (e.adapterValid) {
            e.maxTransferLength = kb > 0x3FFFFF ? 0xFFFFFFFF : kb * 1024;
            if (SysNumber(syspath, "queue/max_segments", segments)) e.maxPhysicalPages = segments;
            if (SysNumber(syspath, "queue/dma_alignment", align))
                e.alignmentMask = align;
            else if (SysNumber(syspath, "queue/logical_block_size", logical) && logical)
                e.alignmentMask = logical - 1;
            e.adapterUsesPio = false;
        }
        udev_device_unref(d);
        return DiskProbe::Found;
    }

  private:
    udev* udev_;
    std::vector<std::string> syspaths_;
};

}  // namespace

std::string DecodeUdevString(const std::string& s) {
    std::string out;
    for (size_t i = 0; i < s.size(); ++i) {
        if (s[i] == '\\' && i + 3 < s.size() && s[i + 1] == 'x' &&
            std::isxdigit(static_cast<unsigned char>(s[i + 2])) &&
            std::isxdigit(static_cast<unsigned char>(s[i + 3]))) {
            out += static_cast<char>(std::stoi(s.substr(i + 2, 2), nullptr, 16));
            i += 3;
        } else {
            out += s[i];
        }
    }
    return Trim(out);
}

uint8_t BusTypeFromFacts(const DiskBusFacts& f) {
    auto hasParent = [&](const char* sub) {
        return std::find(f.parentSubsystems.begin(), f.parentSubsystems.end(), sub) !=
               f.parentSubsystems.end();
    };
    // The bridge decides, not the disk behind it: udev runs ata_id (which
    // sets ID_BUS=ata) on SATA disks in USB cases and behind SAS adapters,
    // and those are reached through SCSI pass-through like any USB or SAS disk.
    if (f.idBus == "usb" || hasParent("usb")) return kBusUsb;
    if (f.idBus == "ieee1394" || hasParent("firewire")) return kBus1394;
    if (Contains(f.idPath, "-sas-") || hasParent("sas_device")) return kBusSas;
    if (f.idBus == "ata") return (f.ataIdRan && !f.sata) ? kBusAta : kBusSata;
    if (f.idBus == "nvme" || hasParent("nvme") || f.sysname.rfind("nvme", 0) == 0) return kBusNvme;
    if (hasParent("mmc") || f.sysname.rfind("mmcblk", 0) == 0)
        return f.mmcType == "SD" ? kBusSd : kBusMmc;
    if (hasParent("virtio") || hasParent("xen") || f.sysname.rfind("vd", 0) == 0 ||
        f.sysname.rfind("xvd", 0) == 0)
        return kBusVirtual;
    if (Contains(f.idPath, "-ata-")) return kBusSata;
    if (f.idBus == "scsi" || hasParent("scsi")) return kBusScsi;
    return kBusUnknown;
}

bool ListedAsDrive(const std::string& syspath) {
    // Loop, RAM, device-mapper and md devices are not drives.
    if (Contains(syspath, "/devices/virtual/")) return false;
    const size_t slash = syspath.find_last_of('/');
    const std::string name = slash == std::string::npos ? syspath : syspath.substr(slash + 1);
    // Nor are optical drives, floppies and the boot and replay-protected
    // areas of an eMMC: the disk interface class of Windows has none of them.
    if (name.rfind("sr", 0) == 0 || name.rfind("fd", 0) == 0) return false;
    if (name.rfind("mmcblk", 0) == 0 && (Contains(name, "boot") || Contains(name, "rpmb")))
        return false;
    return true;
}

int UdevDriveEnumerator::EnumerateDrives(DriveTable& table) {
    udev* u = udev_new();
    if (!u) {
        for (TST_PhysicalDrive& e : table) e = TST_PhysicalDrive{};
        return 0;
    }
    std::vector<std::string> syspaths;
    if (udev_enumerate* en = udev_enumerate_new(u)) {
        udev_enumerate_add_match_subsystem(en, "block");
        udev_enumerate_add_match_property(en, "DEVTYPE", "disk");
        udev_enumerate_scan_devices(en);
        for (udev_list_entry* l = udev_enumerate_get_list_entry(en); l;
             l = udev_list_entry_get_next(l)) {
            const std::string path = udev_list_entry_get_name(l);
            if (ListedAsDrive(path)) syspaths.push_back(path);
        }
        udev_enumerate_unref(en);
    }
    std::sort(syspaths.begin(), syspaths.end());
    UdevDisks disks(u, std::move(syspaths));
    const int count = FillDriveTable(disks, table);
    udev_unref(u);
    return count;
}

uint32_t DeviceChangeCode(const std::string& action) {
    // Only disks coming and going change the list. A "change" is also what
    // udev sends when any program (this one included) closes a disk it had
    // open for writing; taking it as a device change would refill the list
    // and drop the user's pick.
    if (action == "add") return kDeviceArrival;
    if (action == "remove") return kDeviceRemoveComplete;
    return 0;
}

UdevDeviceChangeSource::~UdevDeviceChangeSource() {
    if (monitor_) udev_monitor_unref(monitor_);
    if (udev_) udev_unref(udev_);
}

std::unique_ptr<UdevDeviceChangeSource> UdevDeviceChangeSource::Create(std::string* error) {
    std::unique_ptr<UdevDeviceChangeSource> s(new UdevDeviceChangeSource());
    auto fail = [&](const std::string& why) {
        if (error) *error = why;
        return nullptr;
    };
    s->udev_ = udev_new();
    if (!s->udev_) return fail("udev is not available");
    // Without a udev daemon the processed events never come; listen to the
    // kernel's own then.
    const bool daemon = access("/run/udev/control", F_OK) == 0;
    s->monitor_ = udev_monitor_new_from_netlink(s->udev_, daemon ? "udev" : "kernel");
    if (!s->monitor_)
        return fail(std::string("cannot open a udev monitor: ") + std::strerror(errno));
    udev_monitor_filter_add_match_subsystem_devtype(s->monitor_, "block", "disk");
    if (udev_monitor_enable_receiving(s->monitor_) < 0)
        return fail(std::string("cannot listen for device events: ") + std::strerror(errno));
    return s;
}

std::vector<uint32_t> UdevDeviceChangeSource::Poll() {
    std::vector<uint32_t> codes;
    // The monitor's socket does not block: receive until it is empty.
    while (udev_device* d = udev_monitor_receive_device(monitor_)) {
        const char* action = udev_device_get_action(d);
        const char* devtype = udev_device_get_devtype(d);
        if (action && (!devtype || std::strcmp(devtype, "disk") == 0))
            if (const uint32_t code = DeviceChangeCode(action)) codes.push_back(code);
        udev_device_unref(d);
    }
    return codes;
}

int UdevDeviceChangeSource::WaitHandle() const {
    return monitor_ ? udev_monitor_get_fd(monitor_) : -1;
}

}  // namespace qm
