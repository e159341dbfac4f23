#pragma once
// Module 0x21: the drive's S.M.A.R.T. bookkeeping. This unit finds its way
// through a module 0x21 image (section directory, subsections, the attribute
// section) and makes the texts and edits of the module 0x21 editor.
//
// Layout, all numbers little-endian:
// - body offset B: the u16 at 6 of a ROYL image, 24 otherwise;
// - directory at B: format version V (u16); V >= 0x500 is "DRM2" (4-byte
//   fields: count u32 at B+28, entries of offset+size u32 from B+32), any
//   smaller value "STD" (2-byte fields: count u16 at B+28, entries from B+30);
//   section offsets count from the image start, size 0 marks an empty section;
// - section header: version Vs (u16 at 0), subsection count M (u16 at 6),
//   M entries from 8 of offset+size, each 4 bytes wide when Vs >= 0x500 and 2
//   otherwise (the width is decided per section); offsets from the section;
// - section 10 holds the attributes: data (subsection 0) and thresholds
//   (subsection 2) in the layout of the S.M.A.R.T. data and threshold sectors.
//
// Every count, offset and size read from the image is checked: at most 100
// sections and 100 subsections are used, a range that leaves the image (or
// its section) is listed but never opened or written, the attribute areas are
// cut to their section and to 514 bytes. What was cut or refused is said in
// `problems`.
#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace qm {

struct Workbench;

constexpr uint16_t kDrmModuleId = 0x21;
constexpr uint16_t kDrmWideVersion = 0x500;
// Entries of the section and subsection tables.
constexpr int kDrmMaxEntries = 100;
// The section that holds the S.M.A.R.T. attributes (1-based).
constexpr int kDrmAttributeSection = 10;
// Attribute data and thresholds are copied into buffers of this size.
constexpr size_t kDrmAttrBufferSize = 514;
constexpr int kDrmSlots = 42;
constexpr size_t kDrmSlotSize = 12;

struct DrmSection {
    int number = 0;       // 1-based directory position
    uint32_t offset = 0;  // from the start of the image
    uint32_t size = 0;
    std::string name;  // "Lifetime Counters", "RAW SMART Data", "SMART Attributes" or empty
    std::string item;  // "Section " + number + " " + name (ends in a blank when unnamed)
    // The range lies wholly inside the image; a section outside is listed
    // but never opened or written.
    bool inImage = false;
    bool empty() const { return size == 0; }
    bool usable() const { return size != 0 && inImage; }
};

struct DrmDirectory {
    bool royl = false;
    size_t bodyOffset = 0;
    // The directory's fixed fields (version, count) lie inside the image.
    bool headerInImage = false;
    uint16_t version = 0;
    bool drm2 = false;
    uint32_t declaredCount = 0;
    std::vector<DrmSection> sections;  // at most kDrmMaxEntries
    std::vector<std::string> problems;

    const char* label() const { return drm2 ? "DRM2" : "STD"; }
    // Null when the directory has no such section.
    const DrmSection* Section(int number) const;
};

DrmDirectory ParseDrmDirectory(const uint8_t* image, size_t size);
inline DrmDirectory ParseDrmDirectory(const std::vector<uint8_t>& image) {
    return ParseDrmDirectory(image.data(), image.size());
}

// Name of a section by its number (empty for unnamed ones).
const char* DrmSectionName(int number);

struct DrmSubsection {
    int index = 0;        // 0-based
    uint32_t offset = 0;  // from the start of the section
    uint32_t size = 0;
    bool inSection = false;  // the range lies wholly inside the section
};

struct DrmSectionInfo {
    // The header's fixed fields (version, count) lie inside the section.
    bool readable = false;
    uint16_t version = 0;
    int width = 2;  // of the subsection fields
    uint16_t declaredCount = 0;
    std::vector<DrmSubsection> subsections;  // at most kDrmMaxEntries
    std::vector<std::string> problems;
    // "Section n Ver:%X, Cnt:%d"
    std::string label;
};

// The header of a usable section; `readable` false otherwise.
DrmSectionInfo ParseDrmSection(const uint8_t* image, size_t size, const DrmSection& section);

// What the hex pane shows: a whole section or one of its subsections.
struct DrmView {
    int section = 0;      // 1-based
    int subsection = -1;  // -1: the whole section
    uint32_t offset = 0;  // from the start of the image
    uint32_t size = 0;
};

// The view of section `number` and subsection `sub` (-1 for none): the
// subsection when it has a size, otherwise the whole section. False with the
// reason when the section does not exist, is empty, or the range leaves the
// image or its section.
bool ResolveDrmView(const uint8_t* image, size_t size, const DrmDirectory& dir, int number, int sub,
                    DrmView& view, std::string& why);

// Section 10, the S.M.A.R.T. attribute table.
struct DrmAttributeTable {
    bool present = false;
    bool drm2Layout = false;  // decided by section 10's own version
    uint16_t sectionVersion = 0;
    uint32_t sectionOffset = 0, sectionSize = 0;
    // As read from the section header (offsets from the start of section 10).
    uint32_t dataOffset = 0, dataSize = 0;
    uint32_t thresholdOffset = 0, thresholdSize = 0;
    // Bytes actually copied into the buffers (cut to the section and to 514).
    uint32_t dataUsable = 0, thresholdUsable = 0;
    std::array<uint8_t, kDrmAttrBufferSize> data{};
    std::array<uint8_t, kDrmAttrBufferSize> thresholds{};
    std::vector<std::string> problems;
    // "STD: Section Ver:%.3X" or "DRM2: Section Ver:%.3X"
    std::string label;

    // Image offset of slot k (its flags word is one byte further on).
    size_t SlotOffset(int slot) const;
    // Slot k lies wholly inside the copied attribute data.
    bool SlotInData(int slot) const;
};

DrmAttributeTable LocateDrmAttributes(const uint8_t* image, size_t size, const DrmDirectory& dir);

// One decoded attribute slot.
struct DrmAttribute {
    int slot = 0;
    size_t slotOffset = 0;  // image offset of the slot
    uint8_t id = 0;
    uint16_t flagsWord = 0;
    uint8_t value = 0, worst = 0, threshold = 0;
    uint64_t raw = 0;  // 56 bits
    bool hidden() const { return (flagsWord & 0x80) != 0; }
};

// Every used slot (id != 0) of 0..41 that lies wholly in the attribute data;
// empty slots between used ones are skipped, not an end.
std::vector<DrmAttribute> DecodeDrmAttributes(const DrmAttributeTable& table);

// --- Texts of the attribute list (code page 1252) --------------------------

// The editor's name table: the S.M.A.R.T. list's names with the editor's own
// entries for 30 ids.
std::string DrmAttributeName(uint8_t id);
// Codes of all eight bits of the low flags byte in ascending order.
std::string DrmFlagCodes(uint8_t flags);
// The legend of the eight codes (the list's hint).
std::string DrmFlagsLegend();
// Decimal raw text: the S.M.A.R.T. list's rules, with ids 1 and 218 read as
// counters too.
std::string DrmRawText(uint8_t id, uint64_t raw);

struct DrmRowText {
    std::string id, name, value, worst, threshold, raw, health, flags;
};
// The cells of a row, in hexadecimal or decimal mode.
DrmRowText MakeDrmRowText(const DrmAttribute& a, bool hex);
// The Flags cell after a check-box change: the whole word, "%.4X", in either mode.
std::string DrmFlagsWordText(uint16_t word);
// One line of the list's "Copy": "%4s %-40s %4s %4s %4s %14s %-10s %s\n",
// every 0xB0 replaced by 0x60.
std::string DrmCopyLine(const DrmRowText& row);

// --- Edits on the image ---------------------------------------------------

// Hides (sets bit 7 of the low flags byte) or shows (clears it) the attribute
// in slot `slot`, addressed through the offsets the decode used. Nothing else
// changes. False when the slot is not a decoded slot inside the image.
bool SetDrmAttributeHidden(std::vector<uint8_t>& image, const DrmAttributeTable& table, int slot,
                           bool hidden, uint16_t* before = nullptr, uint16_t* after = nullptr);
// Writes the 12 bytes of an attribute entry over slot `slot`.
bool WriteDrmAttributeEntry(std::vector<uint8_t>& image, const DrmAttributeTable& table, int slot,
                            const uint8_t* entry);

// Copies the pane's bytes over the view. A pane shorter than the view is
// written over the view's start and the rest keeps its old bytes; a pane
// longer than the view is refused unless `cut`, when only the view's size is
// copied. Nothing is ever written outside the view. False (with the reason,
// image unchanged) when refused or the view leaves the image.
bool CopyPaneToDrmView(std::vector<uint8_t>& image, const DrmView& view, const uint8_t* pane,
                       size_t paneSize, bool cut, std::string& why);

// Why an image may not go to the drive as module 0x21 (empty when it may):
// the checks of every module write and the size of the drive's copy
// (driveSize 0: unknown).
std::string CheckDrmImageForDrive(const std::vector<uint8_t>& image, size_t driveSize);

// "Write" of the editor and the command line: with SHIFT held the image goes
// to a file chosen in the save dialog; otherwise the checksum is fixed, the
// image is checked against module 0x21 and the drive's copy, and written
// through the module journal. `message` says why nothing was written.
bool WriteDrmModule(Workbench& wb, std::vector<uint8_t>& image, std::string& message);
// The drive branch of WriteDrmModule: checksum, checks, journaled write.
bool WriteDrmToDrive(Workbench& wb, std::vector<uint8_t>& image, std::string& message);

}  // namespace qm
