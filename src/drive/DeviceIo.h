#pragma once
// Open/close a device path and issue a device-control request carrying one of
// the two pass-through request blocks exactly as the Windows storage stack
// takes them (32-bit layouts, byte for byte). Backends: Windows
// (DeviceIoControl), Linux (SG_IO with a SAT ATA PASS-THROUGH(16) CDB),
// virtual (parses the blocks and answers from a VirtualDrive).
#include <cstdint>
#include <string>

namespace qm {

using DeviceHandle = std::intptr_t;
constexpr DeviceHandle kInvalidDeviceHandle = -1;

constexpr uint32_t kIoctlAtaPassThrough = 0x4D02C;
constexpr uint32_t kIoctlScsiPassThrough = 0x4D004;
constexpr uint32_t kIoctlStorageGetDeviceNumber = 0x2D1080;
constexpr uint32_t kIoctlStorageQueryProperty = 0x2D1400;

class DeviceIo {
  public:
    virtual ~DeviceIo() = default;
    // Open for read and write, sharing read and write, existing device only.
    virtual DeviceHandle Open(const std::string& path) = 0;
    virtual void Close(DeviceHandle handle) = 0;
    // The block is both input (inSize bytes) and output (outSize bytes); the
    // buffer holds max(inSize, outSize) bytes. False when the call failed;
    // LastError() then gives the system's code.
    virtual bool Control(DeviceHandle handle, uint32_t code, uint8_t* block, uint32_t inSize,
                         uint32_t outSize, uint32_t& bytesReturned) = 0;
    virtual uint32_t LastError() const = 0;
    virtual std::string ErrorText(uint32_t code) const = 0;
    // Whether the last successful ATA pass-through call brought the drive's
    // registers back into the block. Windows drivers always do; a SAT bridge
    // that ignores CK_COND returns none, and the block's registers then hold
    // only the outcome (ERR) and zeros.
    virtual bool RegistersReturned() const { return true; }
};

}  // namespace qm
