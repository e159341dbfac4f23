#pragma once
// Arrival and removal of disks, as the main window's device-change handler
// takes them. A backend watches the system (udev on Linux, the device-change
// message on Windows); tests queue events by hand.
#include <cstdint>
#include <deque>
#include <vector>

namespace qm {

// Event codes of the device-change message.
constexpr uint32_t kDeviceNodesChanged = 0x0007;
constexpr uint32_t kDeviceArrival = 0x8000;
constexpr uint32_t kDeviceRemoveComplete = 0x8004;

class DeviceChangeSource {
  public:
    virtual ~DeviceChangeSource() = default;
    // The events that arrived since the last call, oldest first; never blocks.
    virtual std::vector<uint32_t> Poll() = 0;
    // A descriptor an event loop can watch for readability; -1 when there is none.
    virtual int WaitHandle() const { return -1; }
};

// A source fed by hand (tests, the virtual drive's removal).
class QueuedDeviceChangeSource : public DeviceChangeSource {
  public:
    void Push(uint32_t code) { queue_.push_back(code); }
    std::vector<uint32_t> Poll() override {
        std::vector<uint32_t> out(queue_.begin(), queue_.end());
        queue_.clear();
        return out;
    }

  private:
    std::deque<uint32_t> queue_;
};

}  // namespace qm
