#pragma once
// The benches' large defect list: the sample drive with a P-List of one
// million entries in the sample's mix (scratches, some of them whole
// tracks, and scattered defects, a third of them whole tracks), sorted by
// track as a drive keeps it.
#include <algorithm>
#include <cstdint>
#include <tuple>
#include <vector>

#include "common/Bytes.h"
#include "defects/DefectList.h"
#include "vdrive/SampleServiceArea.h"
#include "vdrive/VirtualDrive.h"

namespace qm::bench {

constexpr size_t kMillion = 1'000'000;

class Mix {
  public:
    uint32_t Range(uint32_t lo, uint32_t hi) {
        x_ ^= x_ << 13;
        x_ ^= x_ >> 7;
        x_ ^= x_ << 17;
        return lo + static_cast<uint32_t>(x_ % (static_cast<uint64_t>(hi) - lo + 1));
    }

  private:
    uint64_t x_ = 0x2545F4914F6CDD1DULL;
};

inline std::vector<TDefectEntry> MillionEntries(const DriveContent& c) {
    std::vector<std::array<TZoneEntry, kMaxZones>> zones(kSampleHeads);
    std::vector<int> counts(kSampleHeads);
    for (int h = 0; h < kSampleHeads; ++h) {
        const auto* t = c.serviceArea.Table(0x0D, static_cast<uint16_t>(h));
        counts[static_cast<size_t>(h)] =
            ParseZoneTable(t->data(), t->size(), true, zones[static_cast<size_t>(h)]);
    }
    auto sptAt = [&](int h, uint32_t cyl) {
        DefectTables t;
        t.zones = zones[static_cast<size_t>(h)];
        t.zoneCount = counts[static_cast<size_t>(h)];
        return ZoneSectorsPerTrack(t, cyl);
    };
    auto lastCyl = [&](int h) {
        return zones[static_cast<size_t>(h)]
                    [static_cast<size_t>(counts[static_cast<size_t>(h)] - 1)]
                        .end;
    };
    Mix rnd;
    std::vector<TDefectEntry> v;
    v.reserve(kMillion + 400);
    while (v.size() < kMillion * 6 / 10) {  // scratches
        const int h = static_cast<int>(rnd.Range(0, kSampleHeads - 1));
        const uint32_t length = rnd.Range(40, 300);
        uint32_t cyl = rnd.Range(0, lastCyl(h) - 2 * length);
        const bool wide = rnd.Range(0, 99) < 15;
        uint32_t pos = rnd.Range(0, 800);
        for (uint32_t i = 0; i < length; ++i, cyl += 1 + (rnd.Range(0, 9) == 0)) {
            const uint16_t spt = sptAt(h, cyl);
            pos = pos + rnd.Range(0, 6) - 3 + spt;
            const uint16_t first = static_cast<uint16_t>(pos % spt);
            const uint16_t last =
                wide
                    ? 0xFFFF
                    : static_cast<uint16_t>(std::min<uint32_t>(first + rnd.Range(0, 24), spt - 1u));
            v.push_back({cyl, static_cast<uint8_t>(h), wide ? uint16_t{0} : first, last});
        }
    }
    while (v.size() < kMillion) {  // scattered
        const int h = static_cast<int>(rnd.Range(0, kSampleHeads - 1));
        const uint32_t cyl = rnd.Range(0, lastCyl(h));
        const uint16_t spt = sptAt(h, cyl);
        if (rnd.Range(0, 2) == 0) {
            v.push_back({cyl, static_cast<uint8_t>(h), 0, 0xFFFF});
        } else {
            const uint16_t first = static_cast<uint16_t>(rnd.Range(0, spt - 1u));
            v.push_back(
                {cyl, static_cast<uint8_t>(h), first,
                 static_cast<uint16_t>(std::min<uint32_t>(first + rnd.Range(0, 7), spt - 1u))});
        }
    }
    v.resize(kMillion);
    std::sort(v.begin(), v.end(), [](const TDefectEntry& a, const TDefectEntry& b) {
        return std::make_tuple(a.cylinder, a.head, a.first) <
               std::make_tuple(b.cylinder, b.head, b.first);
    });
    return v;
}

// The sample drive with the million-entry list as its module 0x33.
inline DriveContent MillionEntryDrive() {
    DriveContent c = VirtualDrive::SampleContent();
    const std::vector<TDefectEntry> list = MillionEntries(c);
    std::vector<uint8_t> data(4 + 8 * list.size());
    PutU32(data.data(), static_cast<uint32_t>(list.size()));
    for (size_t i = 0; i < list.size(); ++i) {
        uint8_t* e = data.data() + 4 + 8 * i;
        PutU32(e, list[i].cylinder | static_cast<uint32_t>(list[i].head) << 24);
        PutU16(e + 4, list[i].first);
        PutU16(e + 6, list[i].last);
    }
    c.serviceArea.modules[0x33] = MakeRoylModule(0x33, data);
    return c;
}

}  // namespace qm::bench
