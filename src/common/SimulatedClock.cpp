#include "common/SimulatedClock.h"

#include <algorithm>

namespace qm {

void SimulatedClock::Yield() {
    const int64_t busy = busyFor_ ? busyFor_() : 0;
    Advance(std::clamp<int64_t>(busy, kMinYield, kMaxYield));
}

}  // namespace qm
