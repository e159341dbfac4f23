#pragma once
// The six calls of the port-I/O library. Backends: Linux (ioperm + libpci),
// Windows (WinRing0 loaded at run time), virtual (a register-level ATA channel
// and a PCI configuration space in front of a VirtualDrive).
#include <cstdint>
#include <string>

namespace qm {

class PortIo {
  public:
    virtual ~PortIo() = default;
    // Called once at start-up; false means port I/O and PCI reads are unavailable.
    virtual bool InitializeOls() = 0;
    virtual uint8_t ReadIoPortByte(uint16_t port) = 0;
    virtual uint16_t ReadIoPortWord(uint16_t port) = 0;
    virtual void WriteIoPortByte(uint16_t port, uint8_t value) = 0;
    virtual void WriteIoPortWord(uint16_t port, uint16_t value) = 0;
    // address = (bus << 8) | (device << 3) | function; all ones when nothing answers.
    virtual uint32_t ReadPciConfigDword(uint32_t address, uint8_t offset) = 0;
    // Why InitializeOls failed (system message and what fixes it); empty when it did not.
    virtual std::string FailureReason() const { return {}; }
    // Kernel driver bound to the PCI function at address, where the platform can tell.
    virtual std::string BoundDriver(uint32_t /*address*/) const { return {}; }
};

}  // namespace qm
