#pragma once
// Port I/O on Windows through the WinRing0 driver library, loaded at run time
// from the program's folder (WinRing0x64.dll in a 64-bit build, WinRing0.dll
// in a 32-bit one; its driver file sits next to it).
#include <cstdint>
#include <memory>
#include <string>

#include "drive/PortIo.h"

namespace qm {

class WinRing0PortIo : public PortIo {
  public:
    WinRing0PortIo();
    ~WinRing0PortIo() override;
    WinRing0PortIo(const WinRing0PortIo&) = delete;
    WinRing0PortIo& operator=(const WinRing0PortIo&) = delete;

    bool InitializeOls() override;
    uint8_t ReadIoPortByte(uint16_t port) override;
    uint16_t ReadIoPortWord(uint16_t port) override;
    void WriteIoPortByte(uint16_t port, uint8_t value) override;
    void WriteIoPortWord(uint16_t port, uint16_t value) override;
    uint32_t ReadPciConfigDword(uint32_t address, uint8_t offset) override;
    std::string FailureReason() const override { return reason_; }

  private:
    struct Library;
    std::unique_ptr<Library> lib_;  // loaded and initialised; null until InitializeOls succeeds
    std::string reason_;
};

// What the library's status code means (GetDllStatus).
std::string WinRing0StatusText(uint32_t status);

}  // namespace qm
