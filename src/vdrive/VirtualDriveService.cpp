// VirtualDrive: the service-area side of the drive (clock, faults, busy
// time, persisting) and the drive-folder writer.
#include <filesystem>

#include "common/Format.h"
#include "vdrive/VirtualDrive.h"
#include "vdrive/VscEngine.h"

namespace qm {

void VirtualDrive::SetClock(std::function<int64_t()> nowNanos) {
    std::lock_guard<std::mutex> lock(mutex_);
    vsc_->SetClock(std::move(nowNanos));
}

void VirtualDrive::SetFaults(const Faults& faults) {
    std::lock_guard<std::mutex> lock(mutex_);
    vsc_->SetFaults(faults);
}

VirtualDrive::Faults VirtualDrive::GetFaults() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return vsc_->Faults();
}

int64_t VirtualDrive::BusyFor() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return vsc_->BusyFor();
}

void VirtualDrive::SoftReset() {
    std::lock_guard<std::mutex> lock(mutex_);
    vsc_->SoftReset();
}

int64_t VirtualDrive::MediaBusyNanos() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return vsc_->MediaBusyNanos();
}

bool VirtualDrive::Removed() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return vsc_->Removed();
}

bool VirtualDrive::TakeDeviceCallFailure() {
    std::lock_guard<std::mutex> lock(mutex_);
    return vsc_->TakeDeviceCallFailure();
}

void VirtualDrive::SetPersistFolder(const std::string& dir) {
    std::lock_guard<std::mutex> lock(mutex_);
    vsc_->SetPersistFolder(dir);
}

bool VirtualDrive::VscMode() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return vsc_->VscMode();
}

ServiceArea VirtualDrive::ServiceAreaNow() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return vsc_->Sa();
}

bool VirtualDrive::SaveFolder(const std::string& dir, const DriveContent& c, std::string& error) {
    namespace fs = std::filesystem;
    std::error_code ec;
    fs::create_directories(dir, ec);
    if (ec) {
        error = dir + ": " + ec.message();
        return false;
    }
    const std::string ini = Format(
        "[Identity]\nModel=%s\nFirmware=%s\nSerial=%s\nSectors=%llu\n\n[Smart]\nStatus=%s\n%s"
        "\n[ServiceArea]\nIdleTimer=%u\n",
        c.model.c_str(), c.firmware.c_str(), c.serial.c_str(),
        static_cast<unsigned long long>(c.sectors), c.smartFailing ? "failing" : "good",
        c.reportHidden ? "HiddenAttributes=report\n" : "",
        static_cast<unsigned>(c.serviceArea.idleTimer));
    const std::string base = (fs::path(dir) / "").string();
    if (!WriteFileAtomic(base + "drive.ini", SaImage(ini.begin(), ini.end()), error)) return false;
    SaImage identify = c.identify;
    if (identify.size() != 512) {
        const auto built = BuildIdentifySector(c);
        identify.assign(built.begin(), built.end());
    }
    if (!WriteFileAtomic(base + "identify.bin", identify, error)) return false;
    if (c.smartData.size() == 512 && !WriteFileAtomic(base + "smart-data.bin", c.smartData, error))
        return false;
    if (c.smartThresholds.size() == 512 &&
        !WriteFileAtomic(base + "smart-thresholds.bin", c.smartThresholds, error))
        return false;
    return SaveServiceAreaFolder(dir, c.serviceArea, error);
}

}  // namespace qm
