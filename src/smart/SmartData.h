#pragma once
// The standard S.M.A.R.T. attribute sectors and the texts of the attribute
// list: names, raw values, health bars, flag letters and the export lines.
// Texts are single-byte code page 1252 ("\xB0" is the degree sign).
#include <array>
#include <cstdint>
#include <string>
#include <vector>

namespace qm {

constexpr size_t kSmartSectorSize = 512;
// Slots examined in the data sector: 42 × 12 bytes from offset 2 end at
// byte 506, inside the sector.
constexpr int kSmartSlots = 42;
constexpr size_t kSmartSlotSize = 12;
constexpr size_t kSmartFirstSlot = 2;

using SmartSector = std::array<uint8_t, kSmartSectorSize>;

// One attribute slot of the data sector with the threshold of the same slot.
struct SmartAttribute {
    int slot = 0;
    uint8_t id = 0;
    uint8_t flags = 0;  // low byte of the flags word; the high byte is not decoded
    uint8_t value = 0;
    uint8_t worst = 0;
    uint8_t threshold = 0;
    uint64_t raw = 0;  // 56 bits: the six raw bytes and the byte after them
};

// The slots from 0 up to the first empty one (id 0), at most kSmartSlots.
// Thresholds are matched by slot position, not by id.
std::vector<SmartAttribute> DecodeSmartAttributes(const SmartSector& data,
                                                  const SmartSector& thresholds);

// Name from the attribute name table; "Unknown Attributes" for ids not in it.
std::string SmartAttrName(uint8_t id);
// Three-character codes of flag bits 0..5 in ascending order ("L  Pf C  S  ").
std::string SmartFlagsText(uint8_t flags);
// The six legend lines of the flag codes joined by line feeds (the list's hint).
std::string SmartFlagsLegend();
// Star bar of 1 to 11 stars from value, threshold and worst.
std::string HealthBar(uint8_t value, uint8_t threshold, uint8_t worst);
// Decoded raw value: words joined by "/" for counters, with "\xB0" "C" for
// temperatures, the whole number in decimal otherwise.
std::string SmartRawText(uint8_t id, uint64_t raw);

// The texts of one list row, in column order.
struct SmartRow {
    std::string id, name, value, worst, threshold, raw, health, flags;
};
SmartRow MakeSmartRow(const SmartAttribute& a);

// "%4s %-40s %4s %4s %4s %10s %-10s %s\n" with the name cut to 40 characters.
std::string SmartExportLine(const SmartRow& row);
// "%4s %-40s %-10s\n" from ID, name (cut to 40) and RAW.
std::string SmartExportRawLine(const SmartRow& row);
// The log shows no degree sign: every 0xB0 becomes a backquote.
std::string SmartLogText(std::string text);

// The status line written to the log and used as the window caption.
std::string SmartStatusText(bool good);

// Colours of the list cells (RGB), chosen by the rules of the attribute view.
struct SmartColor {
    uint8_t r = 0, g = 0, b = 0;
    bool operator==(const SmartColor&) const = default;
};
constexpr SmartColor kSmartBlack{0, 0, 0};
constexpr SmartColor kSmartGreen{0, 128, 0};
constexpr SmartColor kSmartRed{255, 0, 0};
constexpr SmartColor kSmartPurple{128, 0, 128};
constexpr SmartColor kSmartBlue{0, 0, 255};
constexpr SmartColor kSmartTeal{0, 128, 128};
constexpr SmartColor kSmartOlive{128, 128, 0};

enum class SmartColumn { Id, Name, Value, Worst, Threshold, Raw, Health, Flags };
constexpr int kSmartColumnCount = 8;

struct SmartCellStyle {
    SmartColor color = kSmartBlack;
    bool bold = false;  // drawn bold on top of the list's own font
};
SmartCellStyle SmartCellStyleFor(const SmartRow& row, SmartColumn column);

}  // namespace qm
