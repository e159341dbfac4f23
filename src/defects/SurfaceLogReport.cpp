#include "defects/SurfaceLogReport.h"

#include <algorithm>
#include <charconv>

#include "common/Bytes.h"
#include "common/Format.h"
#include "common/Workbench.h"
#include "defects/DefectList.h"
#include "defects/DefectMap.h"
#include "vendor/Modules.h"

namespace qm {
namespace {

constexpr size_t kRoylStart = 48, kOlderStart = 24, kRecord = 24;

// The head of a surface-log module id; -1 for an id that is none.
int HeadOfModule(uint16_t id) {
    for (int h = 0; h < kSurfaceLogHeads; ++h)
        if (kSurfaceLogModules[h] == id) return h;
    return -1;
}

// Appends a number as printf's "%Nd" / "%-NX" would, without the format
// parser: the detail listing writes one line per record, hundreds of
// thousands of them on a large drive.
void AppendField(std::string& out, uint32_t value, int base, int width, bool left) {
    char digits[16];
    const auto r = std::to_chars(digits, digits + sizeof digits, value, base);
    const size_t n = static_cast<size_t>(r.ptr - digits);
    for (size_t i = 0; i < n; ++i)
        if (digits[i] >= 'a') digits[i] = static_cast<char>(digits[i] - 'a' + 'A');
    const size_t pad = static_cast<size_t>(width) > n ? static_cast<size_t>(width) - n : 0;
    if (!left) out.append(pad, ' ');
    out.append(digits, n);
    if (left) out.append(pad, ' ');
}

// "%4d  %-8X  Track" or "%4d  %-8X  %-4X  %-4X".
std::string DetailLine(int e, const SurfaceEntry& entry) {
    std::string line;
    line.reserve(32);
    AppendField(line, static_cast<uint32_t>(e), 10, 4, false);
    line += "  ";
    AppendField(line, entry.address, 16, 8, true);
    line += "  ";
    if (entry.track) {
        line += "Track";
    } else {
        AppendField(line, entry.begin, 16, 4, true);
        line += "  ";
        AppendField(line, entry.end, 16, 4, true);
    }
    return line;
}

}  // namespace

void DecodeSurfaceLog(Workbench& wb, const std::vector<uint8_t>& image, int loopHead,
                      SurfaceHead& head, SurfaceLog& counts, const LineSink& log,
                      bool keepEntries) {
    const bool detail = wb.host.CtrlDown();
    head.read = true;
    head.royl = IsRoylImage(image);
    // An image that names no surface-log module counts for the head being read.
    const int named = HeadOfModule(ModuleIdOf(image));
    head.head = named >= 0 ? named : loopHead;
    const size_t start = head.royl ? kRoylStart : kOlderStart;
    const int64_t size = static_cast<int64_t>(image.size());
    // A file too small for two records has no capacity (and no percentage).
    head.max = std::max<int64_t>(0, (size - static_cast<int64_t>(start)) / 24 - 1);
    if (detail && head.royl) {
        log("     #   ABA      Begin  End");
        log("----------------------------");
    }
    int e = 0;
    for (size_t pos = start; pos + kRecord < image.size(); pos += kRecord) {
        const uint8_t* r = image.data() + pos;
        const uint32_t address =
            (static_cast<uint32_t>(r[1]) << 16) | (static_cast<uint32_t>(r[2]) << 8) | r[3];
        const uint16_t kind1 = GetU16(r + 4), kind2 = GetU16(r + 6);
        if (kind1 == 0 && address == 0 && kind2 == 0) break;
        SurfaceEntry entry;
        entry.n = e;
        entry.address = address;
        entry.track = kind1 == 0xFFFF || (kind2 >> 8) != 2;
        entry.begin = GetU16(r + 18);
        entry.end = GetU16(r + 20);
        if (detail) log(DetailLine(e, entry));
        ++(entry.track ? head.tracks : head.sectors);
        const ZoneMatch zone = FindZone(wb.defects, address);
        if (zone.found) {
            entry.zone = zone.zone;
            ++counts.counts[static_cast<size_t>(zone.zone)][static_cast<size_t>(head.head)];
        }
        if (keepEntries) head.entries.push_back(entry);
        ++e;
    }
    const int64_t total = head.tracks + head.sectors;
    head.percent = head.max > 0 ? total * 100 / head.max : 0;
    const std::string summary =
        Format("Head %-1d = %-7lld (%3lld%%), Tracks: %-7lld, Sectors: %-7lld, Max: %-7lld",
               head.head, static_cast<long long>(total), static_cast<long long>(head.percent),
               static_cast<long long>(head.tracks), static_cast<long long>(head.sectors),
               static_cast<long long>(head.max));
    log(summary);
    if (detail) {
        log(summary);
        log("");
    }
}

SurfaceLog WriteSurfaceLogReport(Workbench& wb, const ModuleFetch& fetch, const LineSink& log,
                                 bool keepEntries) {
    SurfaceLog out;
    // Never more heads than there are surface-log modules; 0 means "not known": all ten.
    out.heads = MapHeadCount(ReadHeadCount(wb));
    log("");
    log("Surface Log Errors");
    const bool perHeadTables = wb.flags.scriptRoyl || wb.flags.familyCode == 0x6E;
    for (int h = 0; h < out.heads; ++h) {
        SurfaceHead head;
        head.loopHead = h;
        head.head = h;
        head.tableId = perHeadTables ? 0x0D : 5;
        head.tableParameter = perHeadTables ? static_cast<uint16_t>(h) : 0;
        head.moduleId = kSurfaceLogModules[h];
        wb.defects.zones.fill(TZoneEntry{});
        std::vector<uint8_t> table;
        if (ReadDriveTable(wb, head.tableId, head.tableParameter, table)) {
            const int z =
                ParseZoneTable(table.data(), table.size(), wb.defects.roylFormat, wb.defects.zones);
            wb.defects.zoneCount = z;
            out.tableZones = z;
            head.zones = z;
            std::vector<uint8_t> image;
            if (fetch(head.moduleId, image) && !image.empty())
                DecodeSurfaceLog(wb, image, h, head, out, log, keepEntries);
        }
        out.perHead.push_back(std::move(head));
    }

    std::string rule = "--------", header = "  Zn   ";
    for (int c = 0; c < out.heads; ++c) {
        rule += "-----------";
        header += Format("       H%d  ", c);
    }
    log("");
    log("Surface Log Errors by Head by Zone");
    log(rule);
    log(header);
    log(rule);
    for (int z = 1; z < out.tableZones; ++z) {
        std::string cells;
        for (int c = 0; c < out.heads; ++c)
            cells += Format(" %8u |", out.counts[static_cast<size_t>(z)][static_cast<size_t>(c)]);
        log(Format(" %-3d   |%s ", z, cells.c_str()));
    }
    log(rule);
    return out;
}

SelfScanLogReports WriteSelfScanLogReports(Workbench& wb, const ModuleFetch& fetch,
                                           const LineSink& log, bool keepEntries) {
    SelfScanLogReports out;
    std::vector<uint8_t> image;
    if (fetch(kSelfScanLogModule, image) && !image.empty())
        out.selfScan = WriteSelfScanReport(wb, image, log);
    out.surface = WriteSurfaceLogReport(wb, fetch, log, keepEntries);
    return out;
}

}  // namespace qm
