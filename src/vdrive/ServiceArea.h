#pragma once
// The drive's service area as the virtual drive keeps it: module images by
// id, drive tables by (table id, parameter), and the few settings that live
// outside modules.
//
// Module images are whole 512-byte sectors. A ROYL image starts with "ROYL",
// keeps its header length in the u16 at 6, its module id in the u16 at 8, its
// size in sectors in the u16 at 10 and a u32 checksum at 12 that makes the
// u32 sum of the image 0. An older image has a u8 checksum at 3 that makes the
// byte sum 0, its id at 4 and its data at 24.
#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "common/Files.h"

namespace qm {

using SaImage = std::vector<uint8_t>;

constexpr uint32_t kRoylSignature = 0x4C594F52;  // "ROYL" read as a little-endian u32
constexpr size_t kRoylHeaderLength = 48;

struct ServiceArea {
    std::map<uint16_t, SaImage> modules;
    // The file a module came from (its name inside modules/), so that a
    // persisted write goes back to the same file.
    std::map<uint16_t, std::string> moduleFiles;
    // Drive tables by TableKey(id, parameter).
    std::map<uint32_t, SaImage> tables;
    // Idle timer (the byte the idle-timer action reads and writes); 0 = off,
    // 1..128 tenths of a second, 129..255 (n - 128) x 30 s.
    uint8_t idleTimer = 80;

    static uint32_t TableKey(uint16_t id, uint16_t parameter) {
        return static_cast<uint32_t>(id) << 16 | parameter;
    }
    const SaImage* Module(uint16_t id) const;
    const SaImage* Table(uint16_t id, uint16_t parameter) const;
    bool Empty() const { return modules.empty() && tables.empty(); }
    bool operator==(const ServiceArea&) const = default;
};

bool IsRoylSaImage(const SaImage& image);
// Sets the checksum field (u32 at 12 for ROYL, u8 at 3 otherwise).
void SealImage(SaImage& image);
bool ImageChecksumValid(const SaImage& image);
// Pads an image with zeros to whole sectors.
void PadToSectors(SaImage& image);
uint32_t ImageSectors(const SaImage& image);

// File names inside a drive folder: modules/~id0033.rpm (four hex digits;
// ~id33.rpm is read too), tables/0D-0002.bin.
std::string ModuleFileName(uint16_t id);
std::string TableFileName(uint16_t id, uint16_t parameter);
// Parses "~id33.rpm" / "~id0033.rpm" (any case) into the id.
bool ParseModuleFileName(const std::string& name, uint16_t& id);
bool ParseTableFileName(const std::string& name, uint16_t& id, uint16_t& parameter);

// Reads modules/ and tables/ of a drive folder into sa (found = whether
// either folder exists). False with a message naming the file on a
// malformed name, a duplicate or an unreadable file.
bool LoadServiceAreaFolder(const std::string& dir, ServiceArea& sa, bool& found,
                           std::string& error);
// Writes every module and table into modules/ and tables/ of dir, each
// through the program's one atomic save (common/Files.h).
bool SaveServiceAreaFolder(const std::string& dir, const ServiceArea& sa, std::string& error);

// Section 10 of a module 0x21 image (the S.M.A.R.T. attributes): image
// offsets and sizes of its attribute data and thresholds. False when the
// image has no such section or it points outside the image.
struct SmartSection {
    size_t dataOffset = 0, dataSize = 0, thresholdOffset = 0, thresholdSize = 0;
};
bool FindSmartSection(const SaImage& drm, SmartSection& out);

}  // namespace qm
