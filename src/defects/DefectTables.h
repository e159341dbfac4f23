#pragma once
// The defect tools' shared tables, kept in the Workbench: the format of the
// last defect list loaded, the zone table of the head loaded last, and the
// defect list itself.
#include <array>
#include <cstdint>
#include <vector>

namespace qm {

// One entry of a defect list, in module order. last = 0xFFFF marks the whole
// track as defective.
// Eight bytes, as in the module: a million-entry list is 8 MB in memory.
struct TDefectEntry {
    uint32_t cylinder : 24 = 0;
    uint32_t head : 8 = 0;
    uint16_t first = 0;
    uint16_t last = 0;
    bool operator==(const TDefectEntry&) const = default;
};

static_assert(sizeof(TDefectEntry) == 8);

constexpr uint16_t kWholeTrack = 0xFFFF;

struct TZoneEntry {
    uint32_t start = 0;  // first cylinder
    uint32_t end = 0;    // last cylinder
    uint16_t sectorsPerTrack = 0;
    bool operator==(const TZoneEntry&) const = default;
};

constexpr size_t kMaxZones = 256;

struct DefectTables {
    // Whether the last defect list loaded was a ROYL image; true at start-up.
    // It picks the zone-table source and layout and the list files' default
    // names.
    bool roylFormat = true;
    // A zone-table load overwrites entries 0..zoneCount-1 and leaves the rest
    // as they were.
    std::array<TZoneEntry, kMaxZones> zones{};
    int zoneCount = 0;
    // The loaded list; emptied when the defect viewer closes.
    std::vector<TDefectEntry> defects;
};

}  // namespace qm
