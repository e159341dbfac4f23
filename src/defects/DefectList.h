#pragma once
// Defect lists (P-List in module 0x33, G-List in module 0x34), the per-head
// zone tables, the head and wedge counts: read from the drive, or with SHIFT
// held from files the user picks, into the Workbench's defect tables.
//
// Defect list, at the module's data area (the u16 at 6 of a ROYL image, 24
// in an older one): u32 entry count N, then N entries of 8 bytes: u32
// location (bits 0-23 cylinder, 24-31 head), u16 first sector, u16 last
// sector (0xFFFF: the whole track).
//
// Zone table: zone count Z in byte 2, then Z entries. ROYL layout: 18 bytes
// from byte 50 (u32 start cylinder, u32 end cylinder, 8 bytes, u16 sectors
// per track). Older layout: 32 bytes from byte 20 (u32 start, u32 end, 12
// bytes, u16 sectors per track, 10 bytes).
#include <array>
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "defects/DefectTables.h"

namespace qm {

struct Workbench;

enum class DefectListKind { PList, GList };

constexpr size_t kRoylZoneTableFirst = 50, kRoylZoneTableEntry = 18, kRoylZoneSpt = 16;
constexpr size_t kOlderZoneTableFirst = 20, kOlderZoneTableEntry = 32, kOlderZoneSpt = 20;
constexpr uint16_t kPListModule = 0x33, kGListModule = 0x34;

// What a decoded list image says about itself.
struct DefectListHeader {
    bool read = false;  // an image was there to decode (from the drive or a file)
    bool royl = false;
    size_t dataOffset = 0;
    uint32_t count = 0;  // N as the list header gives it
};

// Decodes a defect-list module image into `entries`. The array holds at most
// the entries the image has room for (never an allocation sized from the
// header alone); entries the loop did not reach (abort) stay zero. An image
// whose data area lies outside it gives N = 0 and an empty list.
DefectListHeader DecodeDefectList(const uint8_t* image, size_t size,
                                  std::vector<TDefectEntry>& entries,
                                  const std::atomic<bool>* abort = nullptr);

// Parses a zone table in the given layout into zones[0..Z-1] (the rest kept)
// and returns Z: the count in byte 2, cut to the entries wholly present; 0
// for data shorter than 3 bytes.
int ParseZoneTable(const uint8_t* data, size_t size, bool royl, std::array<TZoneEntry, kMaxZones>&);

// "~id0033.rpm", "~id33.rpm", "~id0034.rpm" or "~id34.rpm" by kind and ROYL-format flag.
std::string DefectListFileName(DefectListKind kind, bool royl);
// "Module |*33.rpm|All|*.*" or "Module |*34.rpm|All|*.*".
std::string DefectListFilter(DefectListKind kind);
// "Zone Map for Head " + head + "|*.bin|All|*.*".
std::string ZoneMapFilter(int head);

// Loads the P-List or G-List into wb.defects and sets the ROYL-format flag
// from the image. Returns the header's entry count N (0 when nothing was
// read; a failed module read logs "Error Read Module: 33" or "... 34").
// `info`, when given, receives what the image's header said.
uint32_t LoadDefectList(Workbench& wb, DefectListKind kind, DefectListHeader* info = nullptr);
// The same with an image already at hand (a file): an empty image is no list
// and leaves the format flag as it was.
uint32_t LoadDefectListImage(Workbench& wb, const std::vector<uint8_t>& image,
                             DefectListHeader* info = nullptr);
// Loads the zone table of one head (drive table (0x0D, head) for ROYL lists,
// (5, 1) for older ones) and returns its zone count (0 when nothing was read).
int LoadZoneTable(Workbench& wb, uint8_t head);
// The same with the table's bytes at hand (a file), in the layout the
// ROYL-format flag chooses.
int LoadZoneTableImage(Workbench& wb, const std::vector<uint8_t>& table);
// Sectors per track of the zone holding the cylinder: the first entry from 1
// on whose end is at or past it; entry 0 is never chosen. No match, or a
// match of 0 sectors, answers with the last entry's value; no zones, 0.
uint16_t ZoneSectorsPerTrack(const DefectTables& t, uint32_t cylinder);

struct ZoneMatch {
    bool found = false;
    int zone = -1;
    int sectorsPerTrack = -1;
};
// The first zone from 1 on whose end is at or past the value.
ZoneMatch FindZone(const DefectTables& t, uint32_t value);
// Servo wedges per revolution: the u16 at 34 of drive table (1, 0); 0 when
// the table cannot be read or is empty.
uint16_t ReadWedgeCount(Workbench& wb);

}  // namespace qm
