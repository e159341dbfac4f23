#include "module21/Drm21.h"

#include <algorithm>
#include <cstring>

#include "common/Bytes.h"
#include "common/Format.h"
#include "common/Workbench.h"
#include "smart/SmartData.h"
#include "vendor/Modules.h"

namespace qm {
namespace {

// Whether [offset, offset + size) lies inside [0, limit); never overflows.
bool Inside(uint64_t offset, uint64_t size, uint64_t limit) {
    return offset <= limit && size <= limit - offset;
}

uint32_t Field(const uint8_t* p, int width) {
    return width == 4 ? GetU32(p) : GetU16(p);
}

struct EditorName {
    uint8_t id;
    const char* name;
};

// The editor's own names; every other id takes the S.M.A.R.T. list's name.
constexpr EditorName kEditorNames[] = {
    {0, "Invalid attribute identifier"},
    {1, "Raw Read Error Count"},
    {12, "Start/stop count"},
    {16, "Gas Gauge"},
    {100, "Erase/program cycles Count"},
    {101, "Maximum Positive FHC"},
    {183, "Runtime Bad Block (Total)"},
    {184, "End-to-end Error Detection"},
    {190, "AirFlow Temperature (WDC)"},
    {192, "Power-off Retract Count"},
    {195, "Hardware ECC Recovered / ECC OFT Correct"},
    {200, "Write Error Rate/Count / Multi Zone Error Rate (WD)"},
    {201, "Soft Read Error Rate / Thermal Asperity Counter Detected"},
    {202, "Erase Fail Count"},
    {203, "ECC Errors / Wear Leveling Count"},
    {204, "Soft ECC Correction"},
    {205, "Thermal Asperity Rate (TAR)"},
    {206, "Calibration Time"},
    {209, "Offline Seek Performance"},
    {211, "Vibration During Read"},
    {212, "Shock During Write"},
    {213, "Ground Seek Errors Count"},
    {221, "G-SENSOR Shock Counter"},
    {240, "Head Flying Hours/Write Head (Hitachi)"},
    {243, "Total LBA Write Expanded"},
    {244, "Total LBA Read Expanded"},
    {245, "Timed Workload Media Wear"},
    {246, "Timed Workload Host Read/Write Ratio"},
    {247, "Timed Workload Timer"},
    {253, "PZT Failure Detect"},
};

constexpr const char* kFlagCodes[8] = {"L  ", "Pf ", "Pr ", "Er ", "C  ", "S  ", "U  ", "H  "};

}  // namespace

// ------------------------------------------------------------------ directory

const char* DrmSectionName(int number) {
    switch (number) {
        case 4:
        case 5:
            return "Lifetime Counters";
        case 9:
            return "RAW SMART Data";
        case 10:
            return "SMART Attributes";
        default:
            return "";
    }
}

const DrmSection* DrmDirectory::Section(int number) const {
    if (number < 1 || static_cast<size_t>(number) > sections.size()) return nullptr;
    return &sections[static_cast<size_t>(number - 1)];
}

DrmDirectory ParseDrmDirectory(const uint8_t* image, size_t size) {
    DrmDirectory d;
    d.royl = size >= 4 && std::memcmp(image, "ROYL", 4) == 0;
    d.bodyOffset = d.royl ? (size >= 8 ? GetU16(image + 6) : size) : 24;
    const size_t b = d.bodyOffset;
    if (!Inside(b, 2, size)) {
        d.problems.push_back(
            Format("the directory at %zu lies past the end of the image (%zu bytes)", b, size));
        return d;
    }
    d.version = GetU16(image + b);
    d.drm2 = d.version >= kDrmWideVersion;
    const int width = d.drm2 ? 4 : 2;
    if (!Inside(b + 28, static_cast<uint64_t>(width), size)) {
        d.problems.push_back(
            Format("the section count at %zu lies past the end of the image", b + 28));
        return d;
    }
    d.headerInImage = true;
    d.declaredCount = Field(image + b + 28, width);
    uint32_t count = d.declaredCount;
    if (count > static_cast<uint32_t>(kDrmMaxEntries)) {
        d.problems.push_back(
            Format("%u sections announced; the first %d are used", count, kDrmMaxEntries));
        count = kDrmMaxEntries;
    }
    const size_t first = b + (d.drm2 ? 32 : 30);
    for (uint32_t i = 0; i < count; ++i) {
        const size_t at = first + static_cast<size_t>(i) * 2 * static_cast<size_t>(width);
        if (!Inside(at, 2 * static_cast<uint64_t>(width), size)) {
            d.problems.push_back(
                Format("the section directory runs past the end of the image: %u of %u "
                       "entries read",
                       i, d.declaredCount));
            break;
        }
        DrmSection s;
        s.number = static_cast<int>(i) + 1;
        s.offset = Field(image + at, width);
        s.size = Field(image + at + width, width);
        s.name = DrmSectionName(s.number);
        s.item = "Section " + std::to_string(s.number) + " " + s.name;
        s.inImage = Inside(s.offset, s.size, size);
        if (s.size != 0 && !s.inImage)
            d.problems.push_back(
                Format("section %d (offset %u, %u bytes) leaves the image; it is not opened",
                       s.number, s.offset, s.size));
        d.sections.push_back(std::move(s));
    }
    return d;
}

DrmSectionInfo ParseDrmSection(const uint8_t* image, size_t size, const DrmSection& section) {
    DrmSectionInfo info;
    if (!section.usable() || !Inside(section.offset, section.size, size)) return info;
    if (section.size < 8) {
        info.problems.push_back(Format("section %d is %u bytes, shorter than its 8-byte header",
                                       section.number, section.size));
        return info;
    }
    const uint8_t* s = image + section.offset;
    info.readable = true;
    info.version = GetU16(s);
    info.width = info.version >= kDrmWideVersion ? 4 : 2;
    info.declaredCount = GetU16(s + 6);
    info.label = Format("Section %d Ver:%X, Cnt:%u", section.number, info.version,
                        static_cast<unsigned>(info.declaredCount));
    int count = info.declaredCount;
    if (count > kDrmMaxEntries) {
        info.problems.push_back(Format("section %d announces %d subsections; the first %d are used",
                                       section.number, count, kDrmMaxEntries));
        count = kDrmMaxEntries;
    }
    for (int i = 0; i < count; ++i) {
        const size_t at = 8 + static_cast<size_t>(i) * 2 * static_cast<size_t>(info.width);
        if (!Inside(at, 2 * static_cast<uint64_t>(info.width), section.size)) {
            info.problems.push_back(Format(
                "the subsection table of section %d runs past the section: %d of %u entries read",
                section.number, i, static_cast<unsigned>(info.declaredCount)));
            break;
        }
        DrmSubsection sub;
        sub.index = i;
        sub.offset = Field(s + at, info.width);
        sub.size = Field(s + at + info.width, info.width);
        sub.inSection = Inside(sub.offset, sub.size, section.size);
        if (sub.size != 0 && !sub.inSection)
            info.problems.push_back(Format(
                "subsection %d of section %d (offset %u, %u bytes) leaves the section; it is not "
                "opened",
                i, section.number, sub.offset, sub.size));
        info.subsections.push_back(sub);
    }
    return info;
}

bool ResolveDrmView(const uint8_t* image, size_t size, const DrmDirectory& dir, int number, int sub,
                    DrmView& view, std::string& why) {
    const DrmSection* s = dir.Section(number);
    if (!s) {
        why =
            Format("there is no section %d (the directory lists %zu)", number, dir.sections.size());
        return false;
    }
    if (s->empty()) {
        why = Format("section %d is empty", number);
        return false;
    }
    if (!s->inImage) {
        why =
            Format("section %d (offset %u, %u bytes) leaves the image", number, s->offset, s->size);
        return false;
    }
    view = DrmView{number, -1, s->offset, s->size};
    if (sub < 0) return true;
    const DrmSectionInfo info = ParseDrmSection(image, size, *s);
    if (!info.readable || static_cast<size_t>(sub) >= info.subsections.size()) {
        why = Format("section %d has no subsection %d", number, sub);
        return false;
    }
    const DrmSubsection& ss = info.subsections[static_cast<size_t>(sub)];
    if (ss.size == 0) return true;  // a subsection without size shows the whole section
    if (!ss.inSection) {
        why = Format("subsection %d of section %d (offset %u, %u bytes) leaves the section", sub,
                     number, ss.offset, ss.size);
        return false;
    }
    view = DrmView{number, sub, s->offset + ss.offset, ss.size};
    return true;
}

// ------------------------------------------------------------------ attributes

size_t DrmAttributeTable::SlotOffset(int slot) const {
    return static_cast<size_t>(sectionOffset) + dataOffset + 2 +
           kDrmSlotSize * static_cast<size_t>(slot);
}

bool DrmAttributeTable::SlotInData(int slot) const {
    return present && slot >= 0 && slot < kDrmSlots &&
           2 + kDrmSlotSize * static_cast<size_t>(slot + 1) <= dataUsable;
}

DrmAttributeTable LocateDrmAttributes(const uint8_t* image, size_t size, const DrmDirectory& dir) {
    DrmAttributeTable t;
    const DrmSection* s = dir.Section(kDrmAttributeSection);
    if (!s || !s->usable() || !Inside(s->offset, s->size, size)) return t;
    const uint8_t* p = image + s->offset;
    if (s->size < 2) {
        t.problems.push_back("section 10 is too short for its header");
        return t;
    }
    t.sectionVersion = GetU16(p);
    t.drm2Layout = t.sectionVersion >= kDrmWideVersion;
    const uint32_t header = t.drm2Layout ? 32 : 20;
    if (s->size < header) {
        t.problems.push_back(
            Format("section 10 is %u bytes, shorter than its %u-byte header", s->size, header));
        return t;
    }
    t.sectionOffset = s->offset;
    t.sectionSize = s->size;
    if (t.drm2Layout) {
        t.dataOffset = GetU32(p + 8);
        t.dataSize = GetU32(p + 12);
        t.thresholdOffset = GetU32(p + 24);
        t.thresholdSize = GetU32(p + 28);
    } else {
        t.dataOffset = GetU16(p + 8);
        t.dataSize = GetU16(p + 10);
        t.thresholdOffset = GetU16(p + 16);
        t.thresholdSize = GetU16(p + 18);
    }
    t.label = Format("%s: Section Ver:%.3X", t.drm2Layout ? "DRM2" : "STD", t.sectionVersion);
    // Each area is cut to what lies inside section 10 and to the buffer.
    auto usable = [&](uint32_t offset, uint32_t bytes, const char* what) -> uint32_t {
        uint64_t n = bytes;
        if (offset >= s->size) {
            if (bytes)
                t.problems.push_back(Format("the %s of section 10 start past the section", what));
            return 0;
        }
        if (n > s->size - offset) {
            t.problems.push_back(
                Format("the %s of section 10 run past the section; cut to %u bytes", what,
                       s->size - offset));
            n = s->size - offset;
        }
        if (n > kDrmAttrBufferSize) {
            t.problems.push_back(
                Format("the %s of section 10 are %llu bytes; the first %zu are used", what,
                       static_cast<unsigned long long>(n), kDrmAttrBufferSize));
            n = kDrmAttrBufferSize;
        }
        return static_cast<uint32_t>(n);
    };
    t.dataUsable = usable(t.dataOffset, t.dataSize, "attribute data");
    t.thresholdUsable = usable(t.thresholdOffset, t.thresholdSize, "thresholds");
    if (t.dataUsable) std::memcpy(t.data.data(), p + t.dataOffset, t.dataUsable);
    if (t.thresholdUsable)
        std::memcpy(t.thresholds.data(), p + t.thresholdOffset, t.thresholdUsable);
    t.present = true;
    return t;
}

std::vector<DrmAttribute> DecodeDrmAttributes(const DrmAttributeTable& table) {
    std::vector<DrmAttribute> rows;
    for (int k = 0; k < kDrmSlots; ++k) {
        if (!table.SlotInData(k)) break;
        const size_t at = 2 + kDrmSlotSize * static_cast<size_t>(k);
        const uint8_t* e = table.data.data() + at;
        if (e[0] == 0) continue;
        DrmAttribute a;
        a.slot = k;
        a.slotOffset = table.SlotOffset(k);
        a.id = e[0];
        a.flagsWord = GetU16(e + 1);
        a.value = e[3];
        a.worst = e[4];
        for (int i = 0; i < 7; ++i) a.raw |= static_cast<uint64_t>(e[5 + i]) << (8 * i);
        a.threshold = table.thresholds[at + 1];
        rows.push_back(a);
    }
    return rows;
}

// ------------------------------------------------------------------ texts

std::string DrmAttributeName(uint8_t id) {
    for (const EditorName& n : kEditorNames)
        if (n.id == id) return n.name;
    return SmartAttrName(id);
}

std::string DrmFlagCodes(uint8_t flags) {
    std::string s;
    for (int bit = 0; bit < 8; ++bit)
        if (flags & (1u << bit)) s += kFlagCodes[bit];
    return s;
}

std::string DrmFlagsLegend() {
    static constexpr const char* kMeaning[8] = {
        "Life critical",   "Pre-failure", "Performance related", "Error rate", "Event counter",
        "Self-preserving", "Unknown",     "Hidden attribute"};
    std::string s;
    for (int bit = 0; bit < 8; ++bit) {
        if (bit) s += '\n';
        s += std::string(kFlagCodes[bit]) + "- " + kMeaning[bit];
    }
    return s;
}

std::string DrmRawText(uint8_t id, uint64_t raw) {
    // Ids 1 and 218 are counters in this list: their text is that of any
    // counter id of the S.M.A.R.T. list (9 is one, and no temperature).
    constexpr uint8_t kCounterId = 9;
    return SmartRawText(id == 1 || id == 218 ? kCounterId : id, raw);
}

DrmRowText MakeDrmRowText(const DrmAttribute& a, bool hex) {
    DrmRowText r;
    const uint8_t flags = static_cast<uint8_t>(a.flagsWord & 0xFF);
    r.name = DrmAttributeName(a.id);
    r.health = HealthBar(a.value, a.threshold, a.worst);
    if (hex) {
        r.id = Format("%3x", a.id);
        r.value = Format("%.2X", a.value);
        r.worst = Format("%.2X", a.worst);
        r.threshold = Format("%.2X", a.threshold);
        r.raw = Format("%.14llX", static_cast<unsigned long long>(a.raw & 0x00FFFFFFFFFFFFFFULL));
        r.flags = Format("%.4x", flags);
    } else {
        r.id = Format("%3d", a.id);
        r.value = Format("%u", a.value);
        r.worst = Format("%u", a.worst);
        r.threshold = Format("%u", a.threshold);
        r.raw = DrmRawText(a.id, a.raw);
        r.flags = DrmFlagCodes(flags);
    }
    return r;
}

std::string DrmFlagsWordText(uint16_t word) {
    return Format("%.4X", word);
}

std::string DrmCopyLine(const DrmRowText& row) {
    std::string line =
        Format("%4s %-40s %4s %4s %4s %14s %-10s %s\n", row.id.c_str(),
               row.name.substr(0, 40).c_str(), row.value.c_str(), row.worst.c_str(),
               row.threshold.c_str(), row.raw.c_str(), row.health.c_str(), row.flags.c_str());
    std::replace(line.begin(), line.end(), '\xB0', '`');
    return line;
}

// ------------------------------------------------------------------ edits

bool SetDrmAttributeHidden(std::vector<uint8_t>& image, const DrmAttributeTable& table, int slot,
                           bool hidden, uint16_t* before, uint16_t* after) {
    if (!table.SlotInData(slot) || !Inside(table.SlotOffset(slot), kDrmSlotSize, image.size()))
        return false;
    uint8_t* flags = image.data() + table.SlotOffset(slot) + 1;
    const uint16_t old = GetU16(flags);
    const uint16_t now =
        hidden ? static_cast<uint16_t>(old | 0x80) : static_cast<uint16_t>(old & ~0x80u);
    PutU16(flags, now);
    if (before) *before = old;
    if (after) *after = now;
    return true;
}

bool WriteDrmAttributeEntry(std::vector<uint8_t>& image, const DrmAttributeTable& table, int slot,
                            const uint8_t* entry) {
    if (!table.SlotInData(slot) || !Inside(table.SlotOffset(slot), kDrmSlotSize, image.size()))
        return false;
    std::memcpy(image.data() + table.SlotOffset(slot), entry, kDrmSlotSize);
    return true;
}

bool CopyPaneToDrmView(std::vector<uint8_t>& image, const DrmView& view, const uint8_t* pane,
                       size_t paneSize, bool cut, std::string& why) {
    if (!Inside(view.offset, view.size, image.size())) {
        why = Format("the view (offset %u, %u bytes) leaves the image of %zu bytes", view.offset,
                     view.size, image.size());
        return false;
    }
    size_t n = paneSize;
    if (n > view.size) {
        if (!cut) {
            why = Format(
                "the pane holds %zu bytes, more than the %u bytes of the section it came from; "
                "nothing was written",
                paneSize, view.size);
            return false;
        }
        n = view.size;
    }
    if (n) std::memcpy(image.data() + view.offset, pane, n);
    why.clear();
    return true;
}

std::string CheckDrmImageForDrive(const std::vector<uint8_t>& image, size_t driveSize) {
    std::string problem = CheckModuleImage(image, kDrmModuleId);
    if (!problem.empty()) return problem;
    if (driveSize != 0 && driveSize != image.size())
        return Format("the drive holds %zu bytes of module 0021, the image %zu", driveSize,
                      image.size());
    return {};
}

bool WriteDrmModule(Workbench& wb, std::vector<uint8_t>& image, std::string& message) {
    message.clear();
    if (image.empty()) {
        message = "no module 0021 has been read; nothing was written";
        return false;
    }
    if (wb.host.ShiftDown()) return WriteModuleToChosenFile(wb, kDrmModuleId, image);
    return WriteDrmToDrive(wb, image, message);
}

bool WriteDrmToDrive(Workbench& wb, std::vector<uint8_t>& image, std::string& message) {
    message.clear();
    FixModuleChecksum(wb, image);
    ModuleImage current;
    const bool haveCurrent = ReadModule(wb, kDrmModuleId, current);
    const std::string problem = CheckDrmImageForDrive(image, haveCurrent ? current.size() : 0);
    if (!problem.empty()) {
        message = "module 0021 not written: " + problem;
        return false;
    }
    return WriteModuleJournaled(wb, kDrmModuleId, image, haveCurrent ? &current : nullptr, message);
}

}  // namespace qm
