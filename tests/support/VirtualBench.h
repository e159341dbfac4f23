#pragma once
// A Workbench on a virtual drive behind port I/O, with a scripted host and a
// drive clock that runs on its own: what a feature sees on a real channel.
#include <memory>

#include "common/ScriptedHost.h"
#include "common/Workbench.h"
#include "drive/uATA.h"
#include "vdrive/VirtualDrive.h"
#include "vdrive/VirtualPortIo.h"

namespace qm::test {

struct VirtualBench {
    explicit VirtualBench(DriveContent content = VirtualDrive::SampleContent())
        : drive(std::make_unique<VirtualDrive>(std::move(content))),
          portIo(std::make_unique<VirtualPortIo>(drive.get())),
          wb(host) {
        drive->SetClock([this] { return now += 1'000'000; });
        wb.portIo = portIo.get();
        wb.portIoReady = true;
        wb.link.mode = TransportMode::PortIo;
        wb.link.basePort = 0x1F0;
        wb.link.controlPort = 0x3F6;
    }

    int64_t now = 0;
    std::unique_ptr<VirtualDrive> drive;
    std::unique_ptr<VirtualPortIo> portIo;
    ScriptedHost host;
    Workbench wb;
};

}  // namespace qm::test
