#pragma once
// Port I/O on Linux: iopl(3) grants the whole 64 KiB port space (native-mode
// controllers sit above 0x3FF, out of ioperm's reach); PCI configuration reads
// go through libpci.
#include <memory>
#include <string>

#include "drive/PortIo.h"

struct pci_access;

namespace qm {

class LinuxPortIo : public PortIo {
  public:
    LinuxPortIo();
    ~LinuxPortIo() override;

    bool InitializeOls() override;
    uint8_t ReadIoPortByte(uint16_t port) override;
    uint16_t ReadIoPortWord(uint16_t port) override;
    void WriteIoPortByte(uint16_t port, uint8_t value) override;
    void WriteIoPortWord(uint16_t port, uint16_t value) override;
    uint32_t ReadPciConfigDword(uint32_t address, uint8_t offset) override;
    std::string FailureReason() const override { return reason_; }
    std::string BoundDriver(uint32_t address) const override;

  private:
    bool portsGranted_ = false;
    std::string reason_;
};

// The reason text kept when port access is refused, for a given errno.
std::string PortIoFailureText(int err);

}  // namespace qm
