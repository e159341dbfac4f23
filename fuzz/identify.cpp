// IDENTIFY DEVICE sector: the strings, the capacity words and the one-line
// summary built from them.
#include "drive/Identify.h"
#include <array>
#include "fuzz/FuzzInput.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    qm::fuzz::FuzzInput in(data, size);
    const uint8_t firstWord = in.Byte(), words = in.Byte();
    std::array<uint8_t, 512> sector{};
    const auto bytes = in.Rest();
    qm::fuzz::CopyInto(sector.data(), sector.size(), bytes.data(), bytes.size());
    const qm::DriveIdentity id = qm::ParseIdentity(sector.data());
    (void)qm::IdentityLine(id);
    // Any word range inside the sector.
    const int first = firstWord % 256, count = words % (257 - first);
    (void)qm::FileNameSafe(qm::IdentifyString(sector.data(), first, count));
    return 0;
}
