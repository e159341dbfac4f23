#pragma once
// Crafted module 0x21 images for the tests, the fixtures and the benchmarks:
// either directory variant, either module header, sections placed where a
// case needs them, attribute sections in either layout.
#include <algorithm>
#include <cstdint>
#include <optional>
#include <vector>

#include "common/Bytes.h"
#include "vendor/Modules.h"

namespace qm::testing {

struct SlotSpec {
    uint8_t id = 0;  // 0: an empty slot
    uint16_t flags = 0;
    uint8_t value = 0, worst = 0, threshold = 0;
    uint64_t raw = 0;
};

// Section 10 bytes: the STD (20-byte) or DRM2 (32-byte) header, the attribute
// data (revision + 12-byte specs) at dataOffset and the thresholds after it.
// dataSize 0: room for `specs` specs.
inline std::vector<uint8_t> AttrSection(bool drm2, const std::vector<SlotSpec>& specs,
                                        uint32_t dataOffset = 0, uint32_t dataSize = 0,
                                        uint16_t version = 0) {
    if (!version) version = drm2 ? 0x0500 : 0x0042;
    const uint32_t header = drm2 ? 32 : 20;
    if (!dataOffset) dataOffset = header;
    if (!dataSize) dataSize = static_cast<uint32_t>(2 + 12 * specs.size());
    const uint32_t thr = dataOffset + dataSize;
    std::vector<uint8_t> s(thr + dataSize, 0);
    PutU16(s.data(), version);
    PutU16(s.data() + 6, 3);
    if (drm2) {
        PutU32(s.data() + 8, dataOffset);
        PutU32(s.data() + 12, dataSize);
        PutU32(s.data() + 24, thr);
        PutU32(s.data() + 28, dataSize);
    } else {
        PutU16(s.data() + 8, static_cast<uint16_t>(dataOffset));
        PutU16(s.data() + 10, static_cast<uint16_t>(dataSize));
        PutU16(s.data() + 16, static_cast<uint16_t>(thr));
        PutU16(s.data() + 18, static_cast<uint16_t>(dataSize));
    }
    PutU16(s.data() + dataOffset, 0x0010);
    PutU16(s.data() + thr, 0x0010);
    for (size_t k = 0; k < specs.size() && 2 + 12 * (k + 1) <= dataSize; ++k) {
        uint8_t* e = s.data() + dataOffset + 2 + 12 * k;
        e[0] = specs[k].id;
        PutU16(e + 1, specs[k].flags);
        e[3] = specs[k].value;
        e[4] = specs[k].worst;
        for (int i = 0; i < 7; ++i) e[5 + i] = static_cast<uint8_t>(specs[k].raw >> (8 * i));
        s[thr + 2 + 12 * k] = specs[k].id;
        s[thr + 3 + 12 * k] = specs[k].threshold;
    }
    return s;
}

// A plain section: version, subsection entries of the version's width, then
// a filler pattern up to `size`.
inline std::vector<uint8_t> PlainSection(
    uint16_t version, size_t size, const std::vector<std::pair<uint32_t, uint32_t>>& subs = {}) {
    std::vector<uint8_t> s(size, 0);
    const int w = version >= 0x500 ? 4 : 2;
    PutU16(s.data(), version);
    PutU16(s.data() + 6, static_cast<uint16_t>(subs.size()));
    size_t at = 8;
    for (auto [off, len] : subs) {
        if (w == 4) {
            PutU32(s.data() + at, off);
            PutU32(s.data() + at + 4, len);
        } else {
            PutU16(s.data() + at, static_cast<uint16_t>(off));
            PutU16(s.data() + at + 2, static_cast<uint16_t>(len));
        }
        at += 2 * static_cast<size_t>(w);
    }
    for (size_t i = at; i < size; ++i) s[i] = static_cast<uint8_t>(i * 7 + 1);
    return s;
}

class DrmImage {
  public:
    // royl: a ROYL header of 48 bytes; otherwise the older 24-byte header.
    DrmImage(bool royl, uint16_t version) : royl_(royl), version_(version) {}

    // Adds the next section; empty bytes make an empty section. `at` places
    // it at an image offset of the caller's choice.
    DrmImage& Add(std::vector<uint8_t> bytes, std::optional<uint32_t> at = {}) {
        sections_.push_back({std::move(bytes), at, 0, 0, false});
        return *this;
    }
    // A directory entry with any offset and size and no bytes behind it.
    DrmImage& AddEntry(uint32_t offset, uint32_t size) {
        sections_.push_back({{}, {}, offset, size, true});
        return *this;
    }
    // The count written into the directory (default: the sections added).
    DrmImage& Count(uint32_t n) {
        count_ = n;
        return *this;
    }

    size_t Body() const { return royl_ ? 48 : 24; }
    bool Drm2() const { return version_ >= 0x500; }

    std::vector<uint8_t> Build(size_t minSize = 0) const {
        const size_t b = Body();
        const size_t w = Drm2() ? 4 : 2;
        size_t at = b + (Drm2() ? 32 : 30) + 2 * w * sections_.size();
        at = (at + 15) / 16 * 16;
        std::vector<std::pair<uint32_t, uint32_t>> entries;
        size_t end = at;
        for (const Sec& s : sections_) {
            if (s.raw) {
                entries.push_back({s.offset, s.size});
            } else if (s.bytes.empty()) {
                entries.push_back({0, 0});
            } else {
                const size_t where = s.at ? *s.at : at;
                entries.push_back(
                    {static_cast<uint32_t>(where), static_cast<uint32_t>(s.bytes.size())});
                if (!s.at) at = (where + s.bytes.size() + 15) / 16 * 16;
                end = std::max(end, where + s.bytes.size());
            }
        }
        size_t total = std::max(end, minSize);
        total = (total + 511) / 512 * 512;
        std::vector<uint8_t> img(total, 0);
        if (royl_) {
            PutU32(img.data(), 0x4C594F52);
            PutU16(img.data() + 4, 0x0002);
            PutU16(img.data() + 6, 48);
            PutU16(img.data() + 8, 0x21);
            PutU16(img.data() + 10, static_cast<uint16_t>(total / 512));
        } else {
            img[4] = 0x21;
        }
        PutU16(img.data() + b, version_);
        PutU16(img.data() + b + 4, 0x6E);  // family code
        const uint32_t count = count_ ? *count_ : static_cast<uint32_t>(sections_.size());
        if (w == 4)
            PutU32(img.data() + b + 28, count);
        else
            PutU16(img.data() + b + 28, static_cast<uint16_t>(count));
        size_t e = b + (Drm2() ? 32 : 30);
        for (auto [off, len] : entries) {
            if (w == 4) {
                PutU32(img.data() + e, off);
                PutU32(img.data() + e + 4, len);
            } else {
                PutU16(img.data() + e, static_cast<uint16_t>(off));
                PutU16(img.data() + e + 2, static_cast<uint16_t>(len));
            }
            e += 2 * w;
        }
        for (size_t i = 0; i < sections_.size(); ++i) {
            const Sec& s = sections_[i];
            if (s.raw || s.bytes.empty()) continue;
            std::copy(s.bytes.begin(), s.bytes.end(), img.begin() + entries[i].first);
        }
        FixModuleChecksum(img);
        return img;
    }

  private:
    struct Sec {
        std::vector<uint8_t> bytes;
        std::optional<uint32_t> at;
        uint32_t offset, size;
        bool raw;
    };
    bool royl_;
    uint16_t version_;
    std::optional<uint32_t> count_;
    std::vector<Sec> sections_;
};

// The attribute rows most cases use: an empty slot between used ones, and a
// hidden attribute.
inline std::vector<SlotSpec> GappedSlots() {
    return {
        {1, 0x002F, 200, 200, 51, 0},  {0, 0, 0, 0, 0, 0},  // empty slot before a used one
        {9, 0x0032, 87, 87, 0, 10000}, {194, 0x0022, 100, 93, 0, 0x002D00140026ULL},
        {197, 0x00B2, 200, 200, 0, 0},  // hidden
    };
}

// Ten sections: 1-3 plain, 4 with two subsections, 5-8 plain, 9 empty, 10
// the attributes.
inline DrmImage TenSections(bool royl, uint16_t version, bool drm2Attributes,
                            const std::vector<SlotSpec>& specs = GappedSlots()) {
    DrmImage d(royl, version);
    for (int n = 1; n <= 10; ++n) {
        if (n == 4)
            d.Add(PlainSection(0x0100, 48, {{16, 16}, {32, 16}}));
        else if (n == 9)
            d.Add({});
        else if (n == 10)
            d.Add(AttrSection(drm2Attributes, specs));
        else
            d.Add(PlainSection(0x0100, 32 + 16 * static_cast<size_t>(n)));
    }
    return d;
}

}  // namespace qm::testing
