#pragma once
// Device access through the Windows storage stack. The drive code hands the
// pass-through requests in their 32-bit layouts; a 64-bit build rewrites them
// into the native records for the call and back afterwards (PassThroughLayout).
#include <cstdint>
#include <string>

#include "drive/DeviceIo.h"

namespace qm {

class WindowsDeviceIo : public DeviceIo {
  public:
    DeviceHandle Open(const std::string& path) override;
    void Close(DeviceHandle handle) override;
    bool Control(DeviceHandle handle, uint32_t code, uint8_t* block, uint32_t inSize,
                 uint32_t outSize, uint32_t& bytesReturned) override;
    uint32_t LastError() const override { return lastError_; }
    std::string ErrorText(uint32_t code) const override;

  private:
    uint32_t lastError_ = 0;
};

}  // namespace qm
