#pragma once
// The sample drive's S.M.A.R.T. attributes: one table from which its data
// and threshold sectors (and anything else that shows them) are built.
#include <cstdint>
#include <span>

namespace qm {

struct SampleSmartAttribute {
    uint8_t id;
    uint16_t flags;
    uint8_t value, worst, threshold;
    uint64_t raw;  // 48 bits, the six raw bytes little-endian
};

std::span<const SampleSmartAttribute> SampleSmartAttributes();

}  // namespace qm
