#include "vdrive/Mount.h"

#include "common/SimulatedClock.h"
#include "common/Workbench.h"
#include "vdrive/VirtualPortIo.h"
#include "vdrive/VirtualSeams.h"

namespace qm {

void MountedDrive::AttachTo(Workbench& wb) const {
    wb.portIo = portIo.get();
    wb.deviceIo = deviceIo.get();
    wb.enumerator = enumerator.get();
}

void MountedDrive::UseClock(SimulatedClock& clock) const {
    VirtualDrive* d = drive.get();
    d->SetClock([&clock] { return clock.Now(); });
    clock.SetBusyHint([d] { return d->BusyFor(); });
    if (auto* io = dynamic_cast<VirtualDeviceIo*>(deviceIo.get()))
        io->sleepNanos = [&clock](int64_t nanos) { clock.Advance(nanos); };
}

bool MountVirtualDrive(const std::string& folder, MountedDrive& mounted, std::string& error) {
    DriveContent content = VirtualDrive::SampleContent();
    if (!folder.empty() && !VirtualDrive::LoadFolder(folder, content, error)) return false;
    mounted.drive = std::make_unique<VirtualDrive>(std::move(content));
    mounted.portIo = std::make_unique<VirtualPortIo>(mounted.drive.get());
    mounted.deviceIo = CreateVirtualDeviceIo(*mounted.drive);
    mounted.enumerator = CreateVirtualDriveEnumerator(*mounted.drive);
    return true;
}

}  // namespace qm
