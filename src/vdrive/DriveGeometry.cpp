#include "vdrive/DriveGeometry.h"

#include <algorithm>

#include "common/Bytes.h"

namespace qm {

std::vector<ZoneSpan> ParseRoylZoneTable(const SaImage& table) {
    std::vector<ZoneSpan> zones;
    if (table.size() < 3) return zones;
    const int count = table[2];
    for (int z = 0; z < count; ++z) {
        const size_t at = kRoylZoneFirst + kRoylZoneSize * static_cast<size_t>(z);
        if (at + kRoylZoneSize > table.size()) break;
        const uint8_t* e = table.data() + at;
        zones.push_back({GetU32(e), GetU32(e + 4), GetU16(e + 16)});
    }
    return zones;
}

DriveGeometry DriveGeometry::From(const ServiceArea& sa, uint64_t lbaCount) {
    DriveGeometry g;
    if (const SaImage* config = sa.Table(1, 0); config && config->size() >= 36) {
        g.heads = std::clamp<int>((*config)[kConfigHeads], 1, 16);
        g.wedges = GetU16(config->data() + kConfigWedges);
    }
    for (int h = 0; h < g.heads; ++h) {
        std::vector<ZoneSpan> z;
        if (const SaImage* t = sa.Table(0x0D, static_cast<uint16_t>(h))) z = ParseRoylZoneTable(*t);
        z.erase(std::remove_if(
                    z.begin(), z.end(),
                    [](const ZoneSpan& s) { return s.sectorsPerTrack == 0 || s.end < s.start; }),
                z.end());
        if (z.empty()) {
            const uint64_t tracks =
                std::max<uint64_t>(1, lbaCount / 1000 / static_cast<uint64_t>(g.heads));
            z.push_back({0, static_cast<uint32_t>(std::min<uint64_t>(tracks, 0xFFFFFF) - 1), 1000});
        }
        g.zones.push_back(std::move(z));
    }
    return g;
}

uint32_t DriveGeometry::Cylinders(int head) const {
    if (head < 0 || head >= heads) return 0;
    return zones[static_cast<size_t>(head)].back().end + 1;
}

int DriveGeometry::ZoneOf(int head, uint32_t cylinder) const {
    if (head < 0 || head >= heads) return 0;
    const auto& z = zones[static_cast<size_t>(head)];
    for (size_t i = 0; i < z.size(); ++i)
        if (cylinder <= z[i].end) return static_cast<int>(i);
    return static_cast<int>(z.size()) - 1;
}

void DriveGeometry::LbaToTrack(uint64_t lba, uint32_t& cylinder, uint8_t& head) const {
    for (const ZoneSpan& z : zones[0]) {
        const uint64_t perCylinder =
            static_cast<uint64_t>(z.sectorsPerTrack) * static_cast<uint64_t>(heads);
        const uint64_t span = perCylinder * (z.end - z.start + 1);
        if (lba < span) {
            cylinder = z.start + static_cast<uint32_t>(lba / perCylinder);
            head = static_cast<uint8_t>(lba % perCylinder / z.sectorsPerTrack);
            return;
        }
        lba -= span;
    }
    cylinder = zones[0].back().end;
    head = static_cast<uint8_t>(heads - 1);
}

}  // namespace qm
