// A zone table in either layout, then the lookups the defect viewer makes on it.
#include "defects/DefectList.h"
#include "fuzz/FuzzInput.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    qm::fuzz::FuzzInput in(data, size);
    const bool royl = in.Bool();
    const uint32_t probe = in.U32();
    const auto table = in.Rest();
    qm::DefectTables t;
    t.roylFormat = royl;
    t.zoneCount = qm::ParseZoneTable(table.data(), table.size(), royl, t.zones);
    if (t.zoneCount < 0 || t.zoneCount > static_cast<int>(qm::kMaxZones)) __builtin_trap();
    (void)qm::ZoneSectorsPerTrack(t, probe);
    (void)qm::FindZone(t, probe);
    return 0;
}
