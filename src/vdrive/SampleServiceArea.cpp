#include "vdrive/SampleServiceArea.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <tuple>

#include "common/Bytes.h"
#include "common/Format.h"
#include "vdrive/DriveGeometry.h"

namespace qm {
namespace {

// splitmix64: small, fast and the same on every platform.
class Random {
  public:
    explicit Random(uint64_t seed) : state_(seed) {}
    uint64_t Next() {
        uint64_t z = (state_ += 0x9E3779B97F4A7C15ULL);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ULL;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBULL;
        return z ^ (z >> 31);
    }
    // Uniform in [lo, hi].
    uint32_t Range(uint32_t lo, uint32_t hi) {
        return lo + static_cast<uint32_t>(Next() % (static_cast<uint64_t>(hi) - lo + 1));
    }
    bool Chance(int percent) { return Range(0, 99) < static_cast<uint32_t>(percent); }

  private:
    uint64_t state_;
};

struct Defect {
    uint32_t cylinder;
    uint8_t head;
    uint16_t first, last;
    bool operator<(const Defect& o) const {
        return std::make_tuple(cylinder, head, first) <
               std::make_tuple(o.cylinder, o.head, o.first);
    }
};

using Zones = std::vector<std::vector<ZoneSpan>>;

// Zones of each head: about 201 000 cylinders, 1560 sectors a track outside
// falling to 870 inside; the boundaries move a little from head to head.
Zones MakeZones(Random& rnd, uint64_t lbaCount) {
    Zones zones(kSampleHeads);
    // Cylinders a head needs so that head 0's layout holds the capacity with ~1% spare.
    double perCylinder = 0;
    for (int z = 0; z < kSampleZones; ++z) perCylinder += 1560 - 30 * z;
    perCylinder = perCylinder / kSampleZones * kSampleHeads;
    const uint32_t total =
        static_cast<uint32_t>(static_cast<double>(lbaCount) * 1.01 / perCylinder);
    for (int h = 0; h < kSampleHeads; ++h) {
        uint32_t start = 0;
        for (int z = 0; z < kSampleZones; ++z) {
            uint32_t width = total / kSampleZones;
            if (h > 0 && z + 1 < kSampleZones) width = width - 40 + rnd.Range(0, 80);
            if (z + 1 == kSampleZones) width = total - start;  // head 0's capacity decides the end
            const uint16_t spt = static_cast<uint16_t>(1560 - 30 * z - (h % 2) * 6);
            zones[static_cast<size_t>(h)].push_back({start, start + width - 1, spt});
            start += width;
        }
        if (h > 0) {  // the last zone of other heads ends a few tracks apart
            ZoneSpan& last = zones[static_cast<size_t>(h)].back();
            last.end = last.end - 60 + rnd.Range(0, 120);
        }
    }
    return zones;
}

uint16_t SptAt(const Zones& zones, int head, uint32_t cylinder) {
    for (const ZoneSpan& z : zones[static_cast<size_t>(head)])
        if (cylinder <= z.end) return z.sectorsPerTrack;
    return zones[static_cast<size_t>(head)].back().sectorsPerTrack;
}

SaImage RoylZoneTable(const std::vector<ZoneSpan>& zones, int head) {
    SaImage t(512, 0);
    PutU16(t.data(), 0x0001);
    t[2] = static_cast<uint8_t>(zones.size());
    t[3] = static_cast<uint8_t>(head);
    for (size_t i = 0; i < zones.size(); ++i) {
        uint8_t* e = t.data() + kRoylZoneFirst + kRoylZoneSize * i;
        PutU32(e, zones[i].start);
        PutU32(e + 4, zones[i].end);
        PutU32(e + 8, static_cast<uint32_t>(i));  // zone number
        PutU16(e + 16, zones[i].sectorsPerTrack);
    }
    return t;
}

SaImage OldZoneTable(const std::vector<ZoneSpan>& zones) {
    SaImage t(((kOldZoneFirst + kOldZoneSize * zones.size()) + 511) / 512 * 512, 0);
    PutU16(t.data(), 0x0001);
    t[2] = static_cast<uint8_t>(zones.size());
    for (size_t i = 0; i < zones.size(); ++i) {
        uint8_t* e = t.data() + kOldZoneFirst + kOldZoneSize * i;
        PutU32(e, zones[i].start);
        PutU32(e + 4, zones[i].end);
        PutU16(e + 20, zones[i].sectorsPerTrack);
    }
    return t;
}

SaImage ConfigTable(const Zones& zones, uint64_t lbaCount) {
    SaImage t(512, 0);
    PutU16(t.data(), 0x0001);
    std::memcpy(t.data() + 2, "WDC ROYL", 8);
    t[kConfigHeads] = kSampleHeads;
    for (int h = 0; h < kSampleHeads; ++h)
        t[kConfigHeads - 8 + h] = static_cast<uint8_t>(h);  // head map
    PutU16(t.data() + kConfigWedges, kSampleWedges);
    PutU16(t.data() + 36, 7200);
    PutU32(t.data() + 40, zones[0].back().end + 1);
    PutU64(t.data() + 48, lbaCount);
    return t;
}

// Defect list data area: u32 count, then (u32 cylinder | head << 24, u16 first, u16 last).
SaImage DefectListData(const std::vector<Defect>& list) {
    SaImage d(4 + 8 * list.size(), 0);
    PutU32(d.data(), static_cast<uint32_t>(list.size()));
    for (size_t i = 0; i < list.size(); ++i) {
        uint8_t* e = d.data() + 4 + 8 * i;
        PutU32(e, (list[i].cylinder & 0xFFFFFF) | static_cast<uint32_t>(list[i].head) << 24);
        PutU16(e + 4, list[i].first);
        PutU16(e + 6, list[i].last);
    }
    return d;
}

// Sorts by track and drops entries that start at the same sector of a track.
void SortUnique(std::vector<Defect>& v) {
    std::sort(v.begin(), v.end());
    v.erase(std::unique(v.begin(), v.end(),
                        [](const Defect& a, const Defect& b) {
                            return a.cylinder == b.cylinder && a.head == b.head &&
                                   a.first == b.first;
                        }),
            v.end());
}

// Factory defects: scratches (runs of tracks on one head with a slowly moving
// sector range, the widest ones whole tracks) and scattered single defects.
std::vector<Defect> MakePList(Random& rnd, const Zones& zones) {
    std::vector<Defect> found;
    found.reserve(kSamplePListEntries + 64);
    for (int s = 0; s < 60; ++s) {
        const int head = static_cast<int>(rnd.Range(0, kSampleHeads - 1));
        const uint32_t cyls = zones[static_cast<size_t>(head)].back().end;
        const uint32_t length = rnd.Range(40, 300);
        uint32_t cyl = rnd.Range(0, cyls - length - 1);
        const bool wide = rnd.Chance(15);
        double pos = rnd.Range(0, 800);
        for (uint32_t i = 0; i < length; ++i, cyl += 1 + (rnd.Chance(10) ? 1 : 0)) {
            const uint16_t spt = SptAt(zones, head, cyl);
            pos += static_cast<double>(rnd.Range(0, 6)) - 3.0;
            const uint16_t first =
                static_cast<uint16_t>(static_cast<uint32_t>(std::fabs(pos)) % spt);
            if (wide)
                found.push_back({cyl, static_cast<uint8_t>(head), 0, 0xFFFF});
            else
                found.push_back({cyl, static_cast<uint8_t>(head), first,
                                 static_cast<uint16_t>(
                                     std::min<uint32_t>(first + rnd.Range(0, 24), spt - 1u))});
        }
    }
    SortUnique(found);
    while (found.size() < kSamplePListEntries) {
        for (size_t n = kSamplePListEntries - found.size(); n > 0; --n) {
            const int head = static_cast<int>(rnd.Range(0, kSampleHeads - 1));
            const uint32_t cyl = rnd.Range(0, zones[static_cast<size_t>(head)].back().end);
            const uint16_t spt = SptAt(zones, head, cyl);
            if (rnd.Chance(3)) {
                found.push_back({cyl, static_cast<uint8_t>(head), 0, 0xFFFF});
            } else {
                const uint16_t first = static_cast<uint16_t>(rnd.Range(0, spt - 1u));
                found.push_back(
                    {cyl, static_cast<uint8_t>(head), first,
                     static_cast<uint16_t>(std::min<uint32_t>(first + rnd.Range(0, 7), spt - 1u))});
            }
        }
        SortUnique(found);
    }
    found.resize(kSamplePListEntries);
    return found;
}

struct Spot {
    int head;
    uint32_t cylinder;
};

// Grown defects gather round a few spots (a head touching the surface).
std::vector<Defect> MakeGList(Random& rnd, const Zones& zones, std::vector<Spot>& spots) {
    for (int i = 0; i < 6; ++i) {
        const int head = i % kSampleHeads;
        spots.push_back(
            {head, rnd.Range(2000, zones[static_cast<size_t>(head)].back().end - 2000)});
    }
    std::vector<Defect> found;
    while (found.size() < kSampleGListEntries) {
        for (size_t n = kSampleGListEntries - found.size(); n > 0; --n) {
            const Spot& s = spots[rnd.Range(0, static_cast<uint32_t>(spots.size()) - 1)];
            const uint32_t cyl = s.cylinder + rnd.Range(0, 400) - 200;
            const uint16_t spt = SptAt(zones, s.head, cyl);
            const uint16_t first = static_cast<uint16_t>(rnd.Range(0, spt - 1u));
            found.push_back(
                {cyl, static_cast<uint8_t>(s.head), first,
                 static_cast<uint16_t>(std::min<uint32_t>(first + rnd.Range(0, 3), spt - 1u))});
        }
        SortUnique(found);
    }
    return found;
}

// Surface log of one head: 24-byte records from 48, big-endian address first.
SaImage SurfaceLog(Random& rnd, uint16_t id, const std::vector<Defect>& glist, int head) {
    SaImage img = MakeRoylModule(id, SaImage(16 * 512 - kRoylHeaderLength, 0));
    size_t at = kRoylHeaderLength;
    int n = 0, tracks = 0;
    for (const Defect& d : glist) {
        if (d.head != head || n >= 120) continue;
        uint8_t* r = img.data() + at;
        const uint32_t address = d.cylinder & 0xFFFFFF;
        r[0] = 0;
        r[1] = static_cast<uint8_t>(address >> 16);
        r[2] = static_cast<uint8_t>(address >> 8);
        r[3] = static_cast<uint8_t>(address);
        // A track entry is marked by kind word 1 = 0xFFFF, by a high byte of
        // kind word 2 other than 2, or by both; the log holds all three.
        const bool track = rnd.Chance(10);
        const int mark = track ? tracks++ % 3 : 0;
        PutU16(r + 4, track && mark != 1 ? 0xFFFF : 0x0000);
        PutU16(r + 6, track && mark != 2 ? 0x0300 : 0x0200);
        PutU16(r + 18, d.first);
        PutU16(r + 20, d.last);
        at += 24;
        ++n;
    }
    SealImage(img);
    return img;
}

// One 136-byte step of the self-scan script.
struct Step {
    uint16_t id, arg0;
    uint32_t args[4];
};

constexpr Step kScript[] = {
    {0x3307, 1, {0xFFFF, 8, 0x3FF, 0}},
    {0x1010, 1, {0, 0, 0, 0}},
    {0xB1, 0, {0, 0, 0, 0}},
    {0xD8, 1, {0, 0, 0, 0}},
    {0xA1, 1, {0x12, 0, 0, 0}},
    {0xA2, 1, {0x10, 0, 0, 0}},
    {0xA8, 1, {0x20, 1, 0, 0}},
    {0xAA, 1, {0x08, 0, 0, 0}},
    {0xC3, 1, {0x03, 0, 0, 0}},
    {0xC4, 1, {0x04, 2, 0, 0}},
    {0xC8, 1, {0x01, 0, 0, 0}},
    {0x1420, 1, {0x05, 0, 0, 0}},
    {0x2401, 1, {0x00340012, 0, 0, 0}},
    {0x2402, 1, {0x0011, 0, 0, 0}},
    {0x2405, 1, {0x0034, 0, 0, 0}},
    {0x2800, 1, {0x01, 0, 0, 0}},
    {0x2802, 1, {0x02, 0, 0, 0}},
    {0x2900, 1, {0x07, 0, 0, 0}},
    {0x2903, 1, {0x09, 0, 0, 0}},
    {0x290B, 1, {0x0A, 0, 0, 0}},
    {0x2A00, 1, {0x01, 0, 0, 0}},
    {0x2B00, 1, {0x01, 0, 0, 0}},
    {0x3300, 1, {0, 0, 0, 0}},
    {0x3421, 1, {0x2001, 0, 0, 0}},
    {0xD1, 1, {0, 0, 0, 0}},
    {0xD2, 1, {0, 0, 0, 0}},
    {0xD5, 1, {0, 0, 0, 0}},
    {0xB9, 1, {0x1291, 0, 0, 0}},
    {0xDC, 1, {0x0F, 2, 0xCBFFFF, 2}},
    {0xDC, 1, {0x0F, 2, 0xCBFFFF, 4}},
    {0xDC, 1, {0x0F, 2, 0xCBFFFF, 6}},
};
constexpr int kScriptSteps = static_cast<int>(sizeof(kScript) / sizeof(kScript[0]));
constexpr size_t kStepSize = 0x88;
constexpr int kStepsRun = 12;  // steps 1..12 have run; step 11 failed

void PutStep(uint8_t* r, const Step& s, int index, int endStep) {
    PutU16(r, s.id);
    PutU16(r + 2, s.arg0);
    for (int i = 0; i < 4; ++i) PutU32(r + 4 + 4 * i, s.args[i]);
    PutU32(r + 0x44, 2);
    const bool end = s.id == 0xDC;
    PutU16(r + 0x48, end ? 0xFFFF : static_cast<uint16_t>(index + 2));
    PutU16(r + 0x4A, end ? 0xFFFF : static_cast<uint16_t>(endStep));
    PutU16(r + 0x4C, end ? 0xFFFF : static_cast<uint16_t>(endStep));
    uint16_t result = 0xFFFF;
    if (index < kStepsRun) result = index == kStepsRun - 2 ? 0x7611 : 0;
    PutU16(r + 0x68, result);
}

SaImage ScriptModule() {
    SaImage data(12 * 512 - kRoylHeaderLength, 0);
    PutU16(data.data(), kStepsRun + 1);  // current step
    PutU16(data.data() + 2, kStepSize);
    PutU32(data.data() + 4, 5000);  // PTM start time
    for (int i = 0; i < kScriptSteps; ++i)
        PutStep(data.data() + 8 + kStepSize * static_cast<size_t>(i), kScript[i], i,
                kScriptSteps - 2);
    return MakeRoylModule(0x28, data);
}

// Module 0x3B, an alternative script table written the old way: test ids
// since renamed (D2, BB, 8199), two placeholders, a marker, an END step in
// the middle, a D1 step without D8 or 3421 before it, and no END epilogue.
constexpr Step kOldScript[] = {
    {0x3307, 1, {0xFFFF, 8, 0x3FF, 0}},
    {0xD2, 1, {0, 0, 0, 0}},
    {0xBB, 1, {0, 0, 0, 0}},
    {0x8199, 1, {0x10, 0, 0, 0}},
    {0xB000, 0, {0, 0, 0, 0}},
    {0xEEEE, 0, {0, 0, 0, 0}},
    {0x2401, 1, {0x0012, 0, 0, 0}},
    {0xDC, 1, {0x0F, 2, 0xCBFFFF, 2}},
    {0xB000, 0, {0, 0, 0, 0}},
    {0xD1, 1, {0, 0, 0, 0}},
    {0x3402, 1, {0, 5, 7, 0}},
    {0x1420, 1, {0x05, 0, 0, 0}},
};

// An alternative script table: 12 sectors, 136-byte records, none run yet.
template <size_t N>
SaImage AlternativeScript(uint16_t id, const Step (&steps)[N]) {
    SaImage data(12 * 512 - kRoylHeaderLength, 0);
    PutU16(data.data(), 1);
    PutU16(data.data() + 2, kStepSize);
    for (size_t i = 0; i < N; ++i) {
        uint8_t* r = data.data() + 8 + kStepSize * i;
        PutStep(r, steps[i], static_cast<int>(i), static_cast<int>(N) - 1);
        PutU16(r + 0x68, 0xFFFF);
    }
    return MakeRoylModule(id, data);
}

SaImage EmptyScript(uint16_t id) {
    SaImage data(12 * 512 - kRoylHeaderLength, 0);
    PutU16(data.data() + 2, kStepSize);
    return MakeRoylModule(id, data);
}

// Self-scan log: section table at 0x30, blocks after it.
SaImage SelfScanLog() {
    SaImage img = MakeRoylModule(0xE6, SaImage(8 * 512 - kRoylHeaderLength, 0));
    uint8_t* p = img.data();
    constexpr uint32_t kSections = 80;
    PutU32(p + 0x30, kSections);
    auto section = [p](int i, uint32_t offset) { PutU32(p + 0x34 + 4 * i, offset); };
    section(0, 0x180);
    PutU32(p + 0x180, 37);  // tests run
    section(1, 0x184);
    PutU32(p + 0x184, 90061);  // seconds of testing
    section(2, 0x190);
    for (int i = 0; i < kStepsRun; ++i) {
        uint8_t* e = p + 0x190 + 16 * i;
        PutU16(e, kScript[i].id);
        PutU16(e + 2, kScript[i].arg0);
        PutU16(e + 4, static_cast<uint16_t>(i));
        e[6] = static_cast<uint8_t>(i == kStepsRun - 2 ? 1 : 0);
        e[7] = 0;
        PutU32(e + 8, 600u * static_cast<uint32_t>(i));
        PutU32(e + 12, 600u * static_cast<uint32_t>(i) + 420);
    }
    section(5, 0x2A0);
    p[0x2A0] = 0x11;  // test 1: abort code, test id, status
    p[0x2A1] = 0xC8;
    PutU16(p + 0x2A2, 0x0003);
    p[0x2A4] = 0xA8;  // test 2: test id, abort code, status
    p[0x2A5] = 0x0A;
    PutU16(p + 0x2A6, 0x0002);
    section(13, 0x2B0);
    PutU32(p + 0x2B0, 14);
    PutU32(p + 0x2B4, 212);
    // The script body the drive ran, as 68-byte step heads.
    section(71, 0x2C0);
    section(72, 0x2D0);
    constexpr int kBody = 12;
    PutU32(p + 0x2C0, kBody);
    for (int i = 0; i < kBody; ++i) {
        uint8_t* e = p + 0x2D0 + 68 * i;
        const Step& s = kScript[4 + i];
        PutU16(e, s.id);
        PutU16(e + 2, s.arg0);
        for (int a = 0; a < 4; ++a) PutU32(e + 4 + 4 * a, s.args[a]);
    }
    SealImage(img);
    return img;
}

// PTM history: 192-byte entries from header length + 0x22.
SaImage PtmHistory() {
    constexpr Step kRuns[] = {{0xA1, 1, {0x12, 0, 0, 0}},   {0xA8, 1, {0x20, 1, 0, 0}},
                              {0xC4, 1, {0x04, 2, 0, 0}},   {0x2401, 1, {0x340012, 0, 0, 0}},
                              {0x290B, 1, {0x0A, 0, 0, 0}}, {0xD5, 1, {0, 0, 0, 0}}};
    SaImage data(3 * 512 - kRoylHeaderLength, 0);
    for (size_t i = 0; i < std::size(kRuns); ++i) {
        uint8_t* e = data.data() + 0x22 + 192 * i;
        PutU32(e, static_cast<uint32_t>(3600 * (i + 1)));  // when it ran (power-on seconds)
        PutU16(e + 8, kRuns[i].id);
        PutU16(e + 10, kRuns[i].arg0);
        for (int a = 0; a < 4; ++a) PutU32(e + 12 + 4 * a, kRuns[i].args[a]);
        PutU16(e + 28, 0);  // result: passed
    }
    return MakeRoylModule(0x1100, data);
}

// Module 0x21: a directory of 12 sections; 4 and 5 lifetime counters, 9 the
// raw S.M.A.R.T. data sector, 10 the attributes and thresholds the drive
// reports, 11 empty. DRM2: ROYL header, 4-byte directory fields, section 10
// with the 32-byte header (version 0x500). STD: 2-byte directory fields and
// section 10 with the 20-byte header (version 0x042); STD-OLD: the same
// behind the older 24-byte module header with its byte checksum.
SaImage DrmModule(Random& rnd, const DriveContent& c, SampleDrmLayout layout) {
    const bool drm2 = layout == SampleDrmLayout::Drm2;
    const bool royl = layout != SampleDrmLayout::StdOld;
    SaImage img =
        royl ? MakeRoylModule(0x21, SaImage(6 * 512 - kRoylHeaderLength, 0)) : SaImage(6 * 512, 0);
    uint8_t* p = img.data();
    const size_t B = royl ? kRoylHeaderLength : 24;
    if (!royl) p[4] = 0x21;  // the older header's module id byte
    const size_t w = drm2 ? 4 : 2;
    auto putField = [&](size_t at, size_t v) {
        if (drm2)
            PutU32(p + at, static_cast<uint32_t>(v));
        else
            PutU16(p + at, static_cast<uint16_t>(v));
    };
    auto putSection = [&](size_t dirEntry, size_t offset, size_t size) {
        const size_t e = B + (drm2 ? 32 : 30) + 2 * w * dirEntry;
        putField(e, offset);
        putField(e + w, size);
    };
    PutU16(p + B, drm2 ? 0x0500 : 0x0100);
    PutU16(p + B + 4, kSampleFamily);
    putField(B + 28, 12);
    // The sections start where the DRM2 directory ends, in every layout.
    size_t at = kRoylHeaderLength + 32 + 12 * 8;
    auto raw = [&](size_t n, uint16_t version) {
        const size_t start = at;
        PutU16(p + start, version);
        for (size_t i = 8; i < n; ++i) p[start + i] = static_cast<uint8_t>(rnd.Next());
        at += (n + 15) / 16 * 16;
        return start;
    };
    const size_t sizes[] = {64, 32, 48, 0, 0, 32, 32, 48, 0, 0, 0, 64};
    for (size_t s = 0; s < 12; ++s) {
        if (s == 3 || s == 4) {  // lifetime counters: two subsections of u32 counters
            const size_t start = at;
            PutU16(p + start, 0x0100);
            PutU16(p + start + 6, 2);
            PutU16(p + start + 8, 16);
            PutU16(p + start + 10, 16);
            PutU16(p + start + 12, 32);
            PutU16(p + start + 14, 16);
            PutU32(p + start + 16, 10000);  // power-on hours
            PutU32(p + start + 20, 1203);   // power cycles
            PutU32(p + start + 24, 3477);   // head loads
            PutU32(p + start + 28, 1237);   // spin-ups
            PutU32(p + start + 32, s == 3 ? 86 : 87);
            putSection(s, start, 48);
            at += 48;
        } else if (s == 8) {  // raw S.M.A.R.T. data: one subsection, the whole sector
            const size_t start = at;
            PutU16(p + start, 0x0100);
            PutU16(p + start + 6, 1);
            PutU16(p + start + 8, 16);
            PutU16(p + start + 10, 512);
            if (c.smartData.size() == 512) std::memcpy(p + start + 16, c.smartData.data(), 512);
            putSection(s, start, 16 + 512);
            at += 16 + 512;
        } else if (s == 9) {  // S.M.A.R.T. attributes
            const size_t start = at;
            const uint32_t header = drm2 ? 32 : 20;
            const uint32_t kData = header, kConf = header + 362, kConfSize = 30,
                           kThr = header + 362 + 32;
            PutU16(p + start, drm2 ? 0x0500 : 0x0042);
            PutU16(p + start + 6, 3);
            if (drm2) {
                PutU32(p + start + 8, kData);
                PutU32(p + start + 12, 362);
                PutU32(p + start + 16, kConf);
                PutU32(p + start + 20, kConfSize);
                PutU32(p + start + 24, kThr);
                PutU32(p + start + 28, 362);
            } else {
                PutU16(p + start + 8, kData);
                PutU16(p + start + 10, 362);
                PutU16(p + start + 12, kConf);
                PutU16(p + start + 14, kConfSize);
                PutU16(p + start + 16, kThr);
                PutU16(p + start + 18, 362);
            }
            if (c.smartData.size() == 512) std::memcpy(p + start + kData, c.smartData.data(), 362);
            for (uint32_t i = 0; i < kConfSize; ++i)
                p[start + kConf + i] = static_cast<uint8_t>(i + 1);
            if (c.smartThresholds.size() == 512)
                std::memcpy(p + start + kThr, c.smartThresholds.data(), 362);
            putSection(s, start, kThr + 362);
            at += (kThr + 362 + 15) / 16 * 16;
        } else if (s == 10) {
            putSection(s, 0, 0);  // empty
        } else {
            const size_t start = raw(sizes[s], 0x0100);
            putSection(s, start, sizes[s]);
        }
    }
    SealImage(img);
    return img;
}

// Modules of the ARCO parameters: a 64-byte block at 0x93 (this family's place).
SaImage ArcoModule(Random& rnd, uint16_t id, uint8_t op) {
    SaImage img = MakeRoylModule(id, SaImage(512 - kRoylHeaderLength, 0));
    img[0x93] = op;
    for (int i = 1; i < 64; ++i)
        img[0x93 + static_cast<size_t>(i)] = static_cast<uint8_t>(rnd.Range(0, 15));
    SealImage(img);
    return img;
}

}  // namespace

bool ParseSampleDrmLayout(const std::string& text, SampleDrmLayout& layout) {
    if (EqualsNoCase(text, "DRM2"))
        layout = SampleDrmLayout::Drm2;
    else if (EqualsNoCase(text, "STD"))
        layout = SampleDrmLayout::Std;
    else if (EqualsNoCase(text, "STD-OLD"))
        layout = SampleDrmLayout::StdOld;
    else
        return false;
    return true;
}

SaImage MakeRoylModule(uint16_t id, const SaImage& data) {
    SaImage img(kRoylHeaderLength + data.size(), 0);
    PadToSectors(img);
    PutU32(img.data(), kRoylSignature);
    PutU16(img.data() + 4, 0x0002);
    PutU16(img.data() + 6, kRoylHeaderLength);
    PutU16(img.data() + 8, id);
    PutU16(img.data() + 10, static_cast<uint16_t>(img.size() / 512));
    PutU32(img.data() + 16, static_cast<uint32_t>(data.size()));
    std::copy(data.begin(), data.end(), img.begin() + kRoylHeaderLength);
    SealImage(img);
    return img;
}

SaImage BuildModuleDirectory(const ServiceArea& sa) {
    std::vector<uint16_t> ids;
    for (const auto& [id, image] : sa.modules) ids.push_back(id);
    if (!sa.modules.count(0x01)) ids.insert(std::lower_bound(ids.begin(), ids.end(), 0x01), 0x01);
    SaImage data(2 + 16 * ids.size(), 0);
    PutU16(data.data(), static_cast<uint16_t>(ids.size()));
    const uint32_t ownSectors = ImageSectors(SaImage(kRoylHeaderLength + data.size()));
    uint32_t address = 0x100;
    for (size_t i = 0; i < ids.size(); ++i) {
        const SaImage* m = sa.Module(ids[i]);
        const uint32_t bytes = m ? static_cast<uint32_t>(m->size()) : ownSectors * 512;
        uint8_t* e = data.data() + 2 + 16 * i;
        e[0] = 16;
        e[1] = 1;
        PutU16(e + 2, ids[i]);
        PutU32(e + 4, bytes);
        PutU32(e + 8, address);
        PutU32(e + 12, ids[i] < 0x100 ? 1 : 0);
        address += (bytes + 511) / 512 * (ids[i] < 0x100 ? 2 : 1);
    }
    return MakeRoylModule(0x01, data);
}

void BuildSampleServiceArea(DriveContent& c, SampleDrmLayout drmLayout) {
    Random rnd(0x51A7E5EEDULL);
    ServiceArea sa;
    const Zones zones = MakeZones(rnd, c.sectors);
    sa.tables[ServiceArea::TableKey(1, 0)] = ConfigTable(zones, c.sectors);
    for (int h = 0; h < kSampleHeads; ++h)
        sa.tables[ServiceArea::TableKey(0x0D, static_cast<uint16_t>(h))] =
            RoylZoneTable(zones[static_cast<size_t>(h)], h);
    sa.tables[ServiceArea::TableKey(5, 0)] = OldZoneTable(zones[0]);
    sa.tables[ServiceArea::TableKey(5, 1)] = OldZoneTable(zones[1]);

    SaImage heads(16, 0);
    PutU16(heads.data(), 0x0001);
    heads[4] = kSampleHeads;
    for (int h = 0; h < kSampleHeads; ++h)
        heads[5 + static_cast<size_t>(h)] = static_cast<uint8_t>(h);
    sa.modules[0x0A] = MakeRoylModule(0x0A, heads);

    const std::vector<Defect> plist = MakePList(rnd, zones);
    sa.modules[0x33] = MakeRoylModule(0x33, DefectListData(plist));
    std::vector<Spot> spots;
    const std::vector<Defect> glist = MakeGList(rnd, zones, spots);
    sa.modules[0x34] = MakeRoylModule(0x34, DefectListData(glist));
    for (int h = 0; h < kSampleHeads; ++h) {
        const uint16_t id = static_cast<uint16_t>(0xE0 + h);
        sa.modules[id] = SurfaceLog(rnd, id, glist, h);
    }
    sa.modules[0x28] = ScriptModule();
    sa.modules[0x3B] = AlternativeScript(0x3B, kOldScript);
    for (uint16_t id = 0x3C; id <= 0x3F; ++id) sa.modules[id] = EmptyScript(id);
    sa.modules[0xE6] = SelfScanLog();
    sa.modules[0x1100] = PtmHistory();
    sa.modules[0x21] = DrmModule(rnd, c, drmLayout);

    SaImage m47 = MakeRoylModule(0x47, SaImage(512 - kRoylHeaderLength, 0));
    PutU16(m47.data() + 0x2E, 0x0302);  // the ARCO head/zone pair
    for (size_t i = kRoylHeaderLength; i < 256; ++i) m47[i] = static_cast<uint8_t>(rnd.Next());
    SealImage(m47);
    sa.modules[0x47] = m47;

    const uint16_t arco[] = {0x2000, 0x2010, 0x2020, 0x2030, 0x2040,
                             0x2050, 0x2060, 0x2070, 0x20B0, 0x20C0};
    for (size_t i = 0; i < std::size(arco); ++i)
        sa.modules[arco[i]] = ArcoModule(rnd, arco[i], static_cast<uint8_t>(0x60 + i));
    for (uint16_t id = 0x2500; id <= 0x2506; ++id) {
        SaImage d(64, 0);
        for (uint8_t& b : d) b = static_cast<uint8_t>(rnd.Next());
        sa.modules[id] = MakeRoylModule(id, d);
    }
    sa.modules[0x01] = BuildModuleDirectory(sa);
    c.serviceArea = std::move(sa);

    // Tracks round the grown-defect spots need retries; head 3 is weak near the spindle.
    c.timing.slowRegions.clear();
    for (const Spot& s : spots)
        c.timing.slowRegions.push_back(
            {static_cast<uint8_t>(s.head), s.cylinder - 300, s.cylinder + 300, 3 * 8'333'333});
    const uint32_t inner = zones[3].back().end;
    c.timing.slowRegions.push_back({3, inner - inner / 12, inner, 4'000'000});
}

}  // namespace qm
