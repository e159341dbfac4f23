#pragma once
// A Workbench on a mounted virtual drive (port I/O or ATA pass-through) whose
// drive, counter and sleeps share one simulated clock: runs are deterministic
// and take no real waiting.
#include <memory>
#include <string>

#include "common/ScriptedHost.h"
#include "common/SimulatedClock.h"
#include "common/Workbench.h"
#include "drive/uAtaPass.h"
#include "vdrive/Mount.h"

namespace qm::test {

struct SimulatedBench {
    explicit SimulatedBench(TransportMode mode = TransportMode::PortIo,
                            const std::string& folder = "")
        : timeHost(host, clock), wb(timeHost) {
        std::string error;
        if (!MountVirtualDrive(folder, mounted, error)) throw std::runtime_error(error);
        mounted.AttachTo(wb);
        mounted.UseClock(clock);
        wb.portIoReady = true;
        wb.link.mode = mode;
        wb.link.basePort = 0x1F0;
        wb.link.controlPort = 0x3F6;
        if (mode != TransportMode::PortIo) {
            const DeviceHandle h = OpenDrive(wb, "/dev/qmvd0");
            (mode == TransportMode::ScsiPassThrough ? wb.link.scsiHandle : wb.link.ataHandle) = h;
        }
    }
    VirtualDrive& Drive() { return *mounted.drive; }

    SimulatedClock clock;
    ScriptedHost host;
    SimulatedTimeHost timeHost;
    Workbench wb;
    MountedDrive mounted;
};

}  // namespace qm::test
