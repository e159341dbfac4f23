#pragma once
// The drive's physical layout as its own tables describe it: heads, zones
// per head (table 0x0D, head), wedges per revolution (configuration table
// (1, 0), u16 at 34), and the map between LBAs and tracks the drive uses to
// report where it is.
#include <cstdint>
#include <vector>

#include "vdrive/ServiceArea.h"

namespace qm {

struct ZoneSpan {
    uint32_t start = 0, end = 0;  // cylinders, inclusive
    uint16_t sectorsPerTrack = 0;
};

// ROYL zone table (0x0D, head): zone count at byte 2, 18-byte entries from 50
// (u32 start, u32 end, 8 bytes, u16 sectors per track).
constexpr size_t kRoylZoneFirst = 50, kRoylZoneSize = 18;
// Older zone table (5, n): entries of 32 bytes from 20, sectors per track at +20.
constexpr size_t kOldZoneFirst = 20, kOldZoneSize = 32;
// Configuration table (1, 0).
constexpr size_t kConfigHeads = 30, kConfigWedges = 34;

std::vector<ZoneSpan> ParseRoylZoneTable(const SaImage& table);

struct DriveGeometry {
    int heads = 1;
    uint16_t wedges = 0;
    std::vector<std::vector<ZoneSpan>> zones;  // per head, never empty

    // From the service area; a drive without tables gets one head and one
    // zone that holds its capacity.
    static DriveGeometry From(const ServiceArea& sa, uint64_t lbaCount);

    uint32_t Cylinders(int head) const;
    // Zone index of a track; the last zone for tracks beyond it.
    int ZoneOf(int head, uint32_t cylinder) const;
    // Cylinder-major LBA order over all heads, with head 0's zones.
    void LbaToTrack(uint64_t lba, uint32_t& cylinder, uint8_t& head) const;
};

}  // namespace qm
