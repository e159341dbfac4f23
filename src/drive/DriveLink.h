#pragma once
// Transport state, drive state and the two shared data buffers: everything a
// drive command reads or leaves behind.
#include <array>
#include <atomic>
#include <cstdint>
#include <memory>

#include "drive/DeviceIo.h"
#include "drive/TaskFile.h"

namespace qm {

constexpr size_t kSectorSize = 512;
constexpr size_t kSectorBufferSize = 131072;  // 256 sectors
constexpr size_t kKeySectorSize = 512;

struct DriveLink {
    TransportMode mode = TransportMode::PortIo;
    uint16_t basePort = 0x0170;
    uint16_t controlPort = 0x0376;
    bool deviceSelect = false;
    DeviceHandle ataHandle = kInvalidDeviceHandle;
    DeviceHandle scsiHandle = kInvalidDeviceHandle;
    // The one stop signal of all drive work. Atomic so that an interrupt
    // (Ctrl+C) or a time-out can raise it; it is read on the UI thread.
    std::atomic<bool> abort{false};

    StatusFlags status;
    ErrorFlags error;
    ResultRegisters result;

    // Every data phase passes through the sector buffer, from offset 0.
    std::unique_ptr<std::array<uint8_t, kSectorBufferSize>> sectorBuffer =
        std::make_unique<std::array<uint8_t, kSectorBufferSize>>();
    std::array<uint8_t, kKeySectorSize> keySector{};
    // Whether the last status-sector read succeeded. A failed read leaves
    // zeros or the key in the buffer, whose "status word" must not pass for
    // the drive's success.
    bool keyStatusRead = false;
    // Whether the last key sector went out and its status sector came back.
    // ERR after a key cannot tell this: it is also set when the drive answers
    // with a status word other than 0, 0x3603 ("go on") among them.
    bool keyExchanged = false;

    uint8_t* Sectors() { return sectorBuffer->data(); }
    bool Aborted() const { return abort.load(std::memory_order_relaxed); }
};

}  // namespace qm
