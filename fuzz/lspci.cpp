// A configuration-space dump as `lspci -x` writes it, read through libpci's
// dump access and scanned for disk controllers as on a live bus.
#include <unistd.h>

#include <cstdio>
#include <string>

#include "common/ScriptedHost.h"
#include "common/Workbench.h"
#include "drive/PciScan.h"
#include "platform/linux/LinuxPortIo.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const std::string path = "/tmp/qm-fuzz-lspci-" + std::to_string(getpid()) + ".txt";
    FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) return 0;
    if (size) std::fwrite(data, 1, size, f);
    std::fclose(f);
    qm::LinuxPortIo io(path);
    qm::ScriptedHost host;
    qm::Workbench wb(host);
    wb.portIo = &io;
    wb.portIoReady = true;
    (void)qm::ScanPciControllers(wb);
    if (wb.controllers.size() > qm::kMaxPciChannels) __builtin_trap();
    std::remove(path.c_str());
    return 0;
}
