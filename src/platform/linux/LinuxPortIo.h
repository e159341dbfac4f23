#pragma once
// Port I/O on Linux: iopl(3) grants the whole 64 KiB port space (native-mode
// controllers sit above 0x3FF, out of ioperm's reach); PCI configuration reads
// go through libpci, from the running system (sysfs) or from a text dump of
// configuration space as `lspci -x` writes it.
#include <cstdint>
#include <map>
#include <memory>
#include <string>

#include "drive/PortIo.h"

struct pci_access;
struct pci_dev;

namespace qm {

class LinuxPortIo : public PortIo {
  public:
    // With a dump file, configuration reads come from it instead of the system.
    explicit LinuxPortIo(std::string pciDumpFile = {});
    ~LinuxPortIo() override;
    LinuxPortIo(const LinuxPortIo&) = delete;
    LinuxPortIo& operator=(const LinuxPortIo&) = delete;

    bool InitializeOls() override;
    uint8_t ReadIoPortByte(uint16_t port) override;
    uint16_t ReadIoPortWord(uint16_t port) override;
    void WriteIoPortByte(uint16_t port, uint8_t value) override;
    void WriteIoPortWord(uint16_t port, uint16_t value) override;
    uint32_t ReadPciConfigDword(uint32_t address, uint8_t offset) override;
    std::string FailureReason() const override { return reason_; }
    std::string BoundDriver(uint32_t address) const override;

    // Why configuration space cannot be read (libpci's message); empty when it can.
    const std::string& PciError() const { return pciError_; }
    // Number of PCI functions libpci found in domain 0.
    size_t PciFunctionCount() const { return devices_.size(); }
    // Where BoundDriver looks (tests point it at a fake tree).
    void SetSysfsRoot(std::string root) { sysfsRoot_ = std::move(root); }

  private:
    bool OpenPci();

    bool portsGranted_ = false;
    std::string reason_;
    std::string pciDump_;
    std::string pciError_;
    std::string sysfsRoot_ = "/sys/bus/pci/devices";
    pci_access* pci_ = nullptr;
    bool pciTried_ = false;
    bool pciUsable_ = false;
    std::map<uint32_t, pci_dev*> devices_;
};

// The reason text kept when port access is refused, for a given errno.
std::string PortIoFailureText(int err);

}  // namespace qm
