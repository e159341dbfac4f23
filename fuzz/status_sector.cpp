// The vendor status sector: its fields and every text the status window shows.
#include <array>

#include "common/ScriptedHost.h"
#include "common/Workbench.h"
#include "defects/StatusDecode.h"
#include "fuzz/FuzzInput.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::array<uint8_t, 512> sector{};
    qm::fuzz::CopyInto(sector.data(), sector.size(), data, size);
    const qm::StatusFields f = qm::ParseStatusSector(sector.data());
    qm::ScriptedHost host;
    qm::Workbench wb(host);
    qm::StatusTexts texts;
    qm::DescribeStatus(wb, f, texts);
    (void)qm::DriveStillWorking(f);
    return 0;
}
