#pragma once
// One simulated clock for a virtual drive and the host that talks to it: the
// drive keeps its busy times by it, and the host's high-resolution counter
// and sleeps read and move it. A run against a virtual drive then takes the
// drive's modelled times exactly, the same on every machine, and as long as
// the computing takes rather than the waiting.
#include <atomic>
#include <cstdint>
#include <functional>

#include "common/Host.h"

namespace qm {

class SimulatedClock {
  public:
    // Nanoseconds since the clock was made.
    int64_t Now() const { return now_.load(std::memory_order_relaxed); }
    void Advance(int64_t nanos) {
        if (nanos > 0) now_.fetch_add(nanos, std::memory_order_relaxed);
    }
    // Time until the drive next changes by itself (the end of its busy
    // time); a yield jumps there at once, within [kMinYield, kMaxYield].
    void SetBusyHint(std::function<int64_t()> busyFor) { busyFor_ = std::move(busyFor); }
    // What a yield (Sleep(0)) costs: a poll of a ready drive moves the clock
    // a microsecond; a poll of a busy one jumps to its end, at most 1 ms at a
    // time (so time limits still run out on a drive that stays busy).
    void Yield();

    static constexpr int64_t kMinYield = 1'000;
    static constexpr int64_t kMaxYield = 1'000'000;

  private:
    std::atomic<int64_t> now_{0};
    std::function<int64_t()> busyFor_;
};

// A host whose counter and sleeps run on a simulated clock; everything else
// goes to the host it wraps.
class SimulatedTimeHost : public Host {
  public:
    SimulatedTimeHost(Host& inner, SimulatedClock& clock) : inner_(inner), clock_(clock) {}

    void ProcessMessages() override { inner_.ProcessMessages(); }
    void Sleep(uint32_t milliseconds) override {
        if (milliseconds == 0)
            clock_.Yield();
        else
            clock_.Advance(int64_t{milliseconds} * 1'000'000);
    }
    int64_t Counter() override { return clock_.Now(); }
    int64_t CounterFrequency() override { return 1'000'000'000; }
    bool ShiftDown() override { return inner_.ShiftDown(); }
    bool CtrlDown() override { return inner_.CtrlDown(); }
    bool RunOpenDialog(DialogState& state) override { return inner_.RunOpenDialog(state); }
    bool RunSaveDialog(DialogState& state) override { return inner_.RunSaveDialog(state); }
    void MessageBox(const std::string& text) override { inner_.MessageBox(text); }
    void ErrorBox(const std::string& text) override { inner_.ErrorBox(text); }
    void Log(const std::string& line) override { inner_.Log(line); }
    void SetTimingPriority(bool raised) override { inner_.SetTimingPriority(raised); }

  private:
    Host& inner_;
    SimulatedClock& clock_;
};

}  // namespace qm
