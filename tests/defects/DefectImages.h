#pragma once
// Crafted defect-list images and zone tables of both layouts.
#include <cstdint>
#include <vector>

#include "common/Bytes.h"
#include "defects/DefectTables.h"

namespace qm::test {

// A list image: ROYL with its data area at `dataOffset`, or an older image
// (data at 24). `count` is the header's N, which may differ from the entries.
inline std::vector<uint8_t> ListImage(const std::vector<TDefectEntry>& entries, bool royl,
                                      uint16_t dataOffset = 48, int64_t count = -1) {
    const size_t data = royl ? dataOffset : 24;
    std::vector<uint8_t> img(data + 4 + 8 * entries.size(), 0);
    img.resize((img.size() + 511) / 512 * 512, 0);
    if (royl) {
        PutU32(img.data(), 0x4C594F52);
        PutU16(img.data() + 6, dataOffset);
    } else {
        img[0] = 0x33;
    }
    PutU32(img.data() + data,
           count < 0 ? static_cast<uint32_t>(entries.size()) : static_cast<uint32_t>(count));
    for (size_t i = 0; i < entries.size(); ++i) {
        uint8_t* e = img.data() + data + 4 + 8 * i;
        PutU32(e, entries[i].cylinder | static_cast<uint32_t>(entries[i].head) << 24);
        PutU16(e + 4, entries[i].first);
        PutU16(e + 6, entries[i].last);
    }
    return img;
}

// A zone table; `count` (byte 2) may claim more zones than are written.
inline std::vector<uint8_t> ZoneTable(const std::vector<TZoneEntry>& zones, bool royl,
                                      int count = -1) {
    const size_t first = royl ? 50 : 20, stride = royl ? 18 : 32, spt = royl ? 16 : 20;
    std::vector<uint8_t> t(first + stride * zones.size(), 0);
    t[2] = static_cast<uint8_t>(count < 0 ? zones.size() : static_cast<size_t>(count));
    for (size_t i = 0; i < zones.size(); ++i) {
        uint8_t* e = t.data() + first + stride * i;
        PutU32(e, zones[i].start);
        PutU32(e + 4, zones[i].end);
        PutU16(e + spt, zones[i].sectorsPerTrack);
    }
    return t;
}

}  // namespace qm::test
