#pragma once
// The "Self Scan Log" reports: the self-scan log of module 0xE6 and the
// surface-log error counts, head by head and as a table of errors per zone.
//
// Surface-log module of head 0..9: E0 E1 E2 E3 E4 E5 F0 F1 3D08 3D09. The
// head an image belongs to is taken from its own header (u16 at 8 of a ROYL
// image, the byte at 4 of an older one). Records of 24 bytes start at the
// fixed offset 48 (ROYL) or 24 (older): u32 big-endian address (low 24 bits
// used), u16 kind word 1 (0xFFFF: a track entry), u16 kind word 2 (a high
// byte other than 2: a track entry), 10 bytes, u16 begin sector, u16 end
// sector, 2 bytes. A record with kind words and address all 0 ends the list.
// Capacity Max = (size - start) div 24 - 1.
#include <array>
#include <cstdint>
#include <functional>
#include <optional>
#include <vector>

#include "defects/SelfScanReport.h"

namespace qm {

struct Workbench;

constexpr int kSurfaceLogHeads = 10;
constexpr uint16_t kSurfaceLogModules[kSurfaceLogHeads] = {0xE0, 0xE1, 0xE2, 0xE3,   0xE4,
                                                           0xE5, 0xF0, 0xF1, 0x3D08, 0x3D09};
constexpr uint16_t kSelfScanLogModule = 0xE6;

// How the reports get a module: ReadModuleOrFile in the program (the drive,
// or a file picked with SHIFT held); success means a non-empty image.
using ModuleFetch = std::function<bool(uint16_t id, std::vector<uint8_t>& image)>;

struct SurfaceEntry {
    int n = 0;
    uint32_t address = 0;
    bool track = false;
    uint16_t begin = 0, end = 0;
    int zone = -1;  // -1: in no zone of the table
};

struct SurfaceHead {
    int loopHead = 0;
    uint16_t tableId = 0, tableParameter = 0;
    std::optional<int> zones;  // Z of the head's table; empty when it could not be read
    uint16_t moduleId = 0;
    bool read = false;  // the module was fetched and decoded
    int head = 0;       // the head the image names (the loop's head for an unknown id)
    bool royl = false;
    int64_t max = 0, tracks = 0, sectors = 0, percent = 0;
    std::vector<SurfaceEntry> entries;  // only when asked for
};

struct SurfaceLog {
    int heads = 0;
    std::vector<SurfaceHead> perHead;
    int tableZones = 0;  // Z of the last zone table parsed
    // Errors by zone and head.
    std::vector<std::array<uint32_t, kSurfaceLogHeads>> counts =
        std::vector<std::array<uint32_t, kSurfaceLogHeads>>(256);
};

// Writes the surface-log report through log. For each head the zone table is
// read from the drive ((0x0D, head) while the script ROYL flag is set or the
// family code is 0x6E, else (5, 0)) and parsed in the layout of the defect
// ROYL-format flag into the Workbench's zone table; then the head's module is
// fetched and counted against it. CTRL (the host's CtrlDown) adds a listing of
// every record. keepEntries fills SurfaceHead::entries.
SurfaceLog WriteSurfaceLogReport(Workbench& wb, const ModuleFetch& fetch, const LineSink& log,
                                 bool keepEntries = false);

// Decodes one surface-log image of the loop's head `loopHead` into head
// (lines included). Exposed for the reports' tests.
void DecodeSurfaceLog(Workbench& wb, const std::vector<uint8_t>& image, int loopHead,
                      SurfaceHead& head, SurfaceLog& counts, const LineSink& log, bool keepEntries);

struct SelfScanLogReports {
    std::optional<SelfScanLog> selfScan;  // empty when module 0xE6 was not read
    SurfaceLog surface;
};

// What the main window's "Self Scan Log" does: module 0xE6 through fetch and
// its report when it was read, then the surface-log report in every case.
SelfScanLogReports WriteSelfScanLogReports(Workbench& wb, const ModuleFetch& fetch,
                                           const LineSink& log, bool keepEntries = false);

}  // namespace qm
