#pragma once
// Pass-through on Linux: both request blocks go to the disk's node as SG_IO
// requests (sg v3 interface). The system calls are injectable so that the
// translation can be checked without a disk.
#include <functional>
#include <string>

#include "drive/DeviceIo.h"

namespace qm {

class LinuxDeviceIo : public DeviceIo {
  public:
    using OpenFn = std::function<int(const char* path, int flags)>;
    using IoctlFn = std::function<int(int fd, unsigned long request, void* arg)>;
    using CloseFn = std::function<int(int fd)>;

    // The real open/ioctl/close.
    LinuxDeviceIo();
    LinuxDeviceIo(OpenFn open, IoctlFn ioctl, CloseFn close);

    DeviceHandle Open(const std::string& path) override;
    void Close(DeviceHandle handle) override;
    bool Control(DeviceHandle handle, uint32_t code, uint8_t* block, uint32_t inSize,
                 uint32_t outSize, uint32_t& bytesReturned) override;
    uint32_t LastError() const override { return lastError_; }
    std::string ErrorText(uint32_t code) const override;
    bool RegistersReturned() const override { return registersReturned_; }

  private:
    OpenFn open_;
    IoctlFn ioctl_;
    CloseFn close_;
    uint32_t lastError_ = 0;
    bool registersReturned_ = true;
};

}  // namespace qm
