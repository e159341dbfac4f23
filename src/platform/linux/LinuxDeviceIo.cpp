#include "platform/linux/LinuxDeviceIo.h"

#include <fcntl.h>
#include <scsi/sg.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "platform/Platform.h"
#include "platform/linux/LinuxEnumerator.h"
#include "platform/linux/SgIoTranslate.h"

namespace qm {

LinuxDeviceIo::LinuxDeviceIo()
    : LinuxDeviceIo([](const char* p, int f) { return ::open(p, f); },
                    [](int fd, unsigned long r, void* a) { return ::ioctl(fd, r, a); },
                    [](int fd) { return ::close(fd); }) {}

LinuxDeviceIo::LinuxDeviceIo(OpenFn open, IoctlFn ioctl, CloseFn close)
    : open_(std::move(open)), ioctl_(std::move(ioctl)), close_(std::move(close)) {}

DeviceHandle LinuxDeviceIo::Open(const std::string& path) {
    // Existing node only (no O_CREAT); O_NONBLOCK so a drive without medium
    // or a busy bridge does not hold the open. Read-only, as the peers open
    // disks: SG_IO with ATA PASS-THROUGH needs CAP_SYS_RAWIO whatever the
    // open mode, and closing a node opened for writing makes udev announce
    // a "change" of the disk (and re-read its partitions).
    const int fd = open_(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        lastError_ = static_cast<uint32_t>(errno);
        return kInvalidDeviceHandle;
    }
    return fd;
}

void LinuxDeviceIo::Close(DeviceHandle handle) {
    if (handle >= 0) close_(static_cast<int>(handle));
}

std::string LinuxDeviceIo::ErrorText(uint32_t code) const {
    return std::strerror(static_cast<int>(code));
}

bool LinuxDeviceIo::Control(DeviceHandle handle, uint32_t code, uint8_t* block, uint32_t inSize,
                            uint32_t outSize, uint32_t& bytesReturned) {
    bytesReturned = 0;
    if (handle < 0 || handle > 0x7FFFFFFF) {
        lastError_ = EBADF;
        return false;
    }
    const bool ata = code == kIoctlAtaPassThrough;
    sgio::Plan plan;
    const bool planned = ata ? sgio::PlanAtaBlock(block, inSize, outSize, plan)
                         : code == kIoctlScsiPassThrough
                             ? sgio::PlanScsiBlock(block, inSize, outSize, plan)
                             : false;
    if (!planned) {
        lastError_ = EINVAL;
        return false;
    }
    // Room for every descriptor a device may put in front of the ATA Status
    // Return (the kernel's own sense buffer is 96 bytes).
    uint8_t sense[96] = {};
    sg_io_hdr_t hdr;
    std::memset(&hdr, 0, sizeof hdr);
    hdr.interface_id = 'S';
    hdr.cmd_len = plan.cdbLength;
    hdr.cmdp = plan.cdb.data();
    hdr.mx_sb_len = sizeof sense;
    hdr.sbp = sense;
    hdr.timeout = plan.timeoutMs;
    switch (plan.direction) {
        case sgio::Direction::None:
            hdr.dxfer_direction = SG_DXFER_NONE;
            break;
        case sgio::Direction::ToDevice:
            hdr.dxfer_direction = SG_DXFER_TO_DEV;
            break;
        case sgio::Direction::FromDevice:
            hdr.dxfer_direction = SG_DXFER_FROM_DEV;
            break;
    }
    if (plan.dataLength) {
        hdr.dxfer_len = plan.dataLength;
        hdr.dxferp = block + plan.dataOffset;
    }
    if (ioctl_(static_cast<int>(handle), SG_IO, &hdr) < 0) {
        lastError_ = static_cast<uint32_t>(errno);
        return false;
    }
    sgio::Outcome o;
    o.scsiStatus = hdr.status;
    o.hostStatus = hdr.host_status;
    o.driverStatus = hdr.driver_status;
    o.sense = sense;
    o.senseLength = std::min<size_t>(hdr.sb_len_wr, sizeof sense);
    o.resid = hdr.resid;
    registersReturned_ = true;
    const int err = ata ? sgio::ApplyAtaOutcome(block, o, &registersReturned_)
                        : sgio::ApplyScsiOutcome(block, plan, o);
    if (err) {
        lastError_ = static_cast<uint32_t>(err);
        return false;
    }
    lastError_ = 0;
    bytesReturned = outSize;
    return true;
}

namespace platform {

std::unique_ptr<DeviceIo> CreateDeviceIo() {
    return std::make_unique<LinuxDeviceIo>();
}

std::unique_ptr<DriveEnumerator> CreateDriveEnumerator() {
    return std::make_unique<UdevDriveEnumerator>();
}

}  // namespace platform
}  // namespace qm
