// The self-scan log (module 0xE6) and a surface-log module read against a
// zone table: the report lines and the per-zone counts.
#include "common/ScriptedHost.h"
#include "common/Workbench.h"
#include "defects/DefectList.h"
#include "defects/SelfScanReport.h"
#include "defects/SurfaceLogReport.h"
#include "fuzz/FuzzInput.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    // Parts: the self-scan image, the surface-log image, the zone table.
    const auto parts = qm::fuzz::SplitParts(data, size);
    auto bytes = [&](size_t i) {
        return i < parts.size() ? std::vector<uint8_t>(parts[i].begin(), parts[i].end())
                                : std::vector<uint8_t>();
    };
    qm::ScriptedHost host;
    qm::Workbench wb(host);
    size_t lines = 0;
    const qm::LineSink log = [&](const std::string&) { ++lines; };
    const auto selfScan = bytes(0);
    if (!selfScan.empty()) (void)qm::WriteSelfScanReport(wb, selfScan, log);

    const auto surface = bytes(1), table = bytes(2);
    const bool royl = table.empty() || (table[0] & 1);
    wb.defects.roylFormat = royl;
    wb.defects.zoneCount = qm::ParseZoneTable(table.data(), table.size(), royl, wb.defects.zones);
    qm::SurfaceLog counts;
    counts.heads = 1 + (surface.empty() ? 0 : surface.back() % qm::kSurfaceLogHeads);
    qm::SurfaceHead head;
    head.loopHead = counts.heads - 1;
    head.zones = wb.defects.zoneCount;
    counts.tableZones = wb.defects.zoneCount;
    if (!surface.empty()) qm::DecodeSurfaceLog(wb, surface, head.loopHead, head, counts, log, true);
    return 0;
}
