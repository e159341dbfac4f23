#include "defects/DefectList.h"

#include <algorithm>
#include <filesystem>

#include "common/Bytes.h"
#include "common/Files.h"
#include "common/Format.h"
#include "common/ScopeExit.h"
#include "common/Workbench.h"
#include "vendor/Modules.h"

namespace qm {
namespace {

// The file the user picked, when it exists; a missing file reads as nothing,
// one that exists but cannot be read is a file error.
ModuleImage ReadPickedFile(const std::string& path) {
    std::error_code ec;
    if (path.empty() || !std::filesystem::exists(path, ec)) return {};
    return ReadFileBytesOrThrow(path);
}

}  // namespace

DefectListHeader DecodeDefectList(const uint8_t* image, size_t size,
                                  std::vector<TDefectEntry>& entries,
                                  const std::atomic<bool>* abort) {
    DefectListHeader h;
    entries.clear();
    h.royl = size >= 4 && GetU32(image) == 0x4C594F52;  // "ROYL"
    h.dataOffset = h.royl ? (size >= 8 ? GetU16(image + 6) : size) : 24;
    // A data area at or past the end (or without room for the count): no list.
    if (h.dataOffset >= size || size - h.dataOffset < 4) return h;
    h.count = GetU32(image + h.dataOffset);
    const size_t room = (size - h.dataOffset - 4) / 8;
    const size_t held = std::min<size_t>(h.count, room);
    entries.reserve(held);
    const uint8_t* p = image + h.dataOffset + 4;
    for (size_t i = 0; i < held; ++i, p += 8) {
        if (abort && abort->load(std::memory_order_relaxed)) break;
        const uint32_t location = GetU32(p);
        entries.push_back({location & 0xFFFFFF, static_cast<uint8_t>(location >> 24), GetU16(p + 4),
                           GetU16(p + 6)});
    }
    entries.resize(held);  // entries the loop did not reach stay zero
    return h;
}

int ParseZoneTable(const uint8_t* data, size_t size, bool royl,
                   std::array<TZoneEntry, kMaxZones>& zones) {
    if (size < 3) return 0;
    const size_t first = royl ? kRoylZoneTableFirst : kOlderZoneTableFirst;
    const size_t stride = royl ? kRoylZoneTableEntry : kOlderZoneTableEntry;
    const size_t sptAt = royl ? kRoylZoneSpt : kOlderZoneSpt;
    const size_t present = size >= first ? (size - first) / stride : 0;
    const int count = static_cast<int>(std::min<size_t>(data[2], present));
    for (int i = 0; i < count; ++i) {
        const uint8_t* e = data + first + stride * static_cast<size_t>(i);
        zones[static_cast<size_t>(i)] = {GetU32(e), GetU32(e + 4), GetU16(e + sptAt)};
    }
    return count;
}

std::string DefectListFileName(DefectListKind kind, bool royl) {
    const unsigned id = kind == DefectListKind::PList ? kPListModule : kGListModule;
    return royl ? Format("~id%04X.rpm", id) : Format("~id%02X.rpm", id);
}

std::string DefectListFilter(DefectListKind kind) {
    return kind == DefectListKind::PList ? "Module |*33.rpm|All|*.*" : "Module |*34.rpm|All|*.*";
}

std::string ZoneMapFilter(int head) {
    return Format("Zone Map for Head %d|*.bin|All|*.*", head);
}

uint32_t LoadDefectListImage(Workbench& wb, const std::vector<uint8_t>& image,
                             DefectListHeader* info) {
    if (info) *info = DefectListHeader{};
    // An empty image (nothing picked, an empty file) is no list, and the
    // format flag stays as it was: an empty image says nothing about it.
    if (image.empty()) {
        wb.defects.defects.clear();
        return 0;
    }
    DefectListHeader h =
        DecodeDefectList(image.data(), image.size(), wb.defects.defects, &wb.link.abort);
    h.read = true;
    wb.defects.roylFormat = h.royl;
    if (info) *info = h;
    return h.count;
}

uint32_t LoadDefectList(Workbench& wb, DefectListKind kind, DefectListHeader* info) {
    const uint16_t id = kind == DefectListKind::PList ? kPListModule : kGListModule;
    ModuleImage image;
    if (wb.host.ShiftDown()) {
        DialogState& d = wb.openDialog;
        const ScopeExit clearTitle([&d] { d.title.clear(); });
        d.title = "Select Defect List";
        d.folder.clear();
        d.fileName = DefectListFileName(kind, wb.defects.roylFormat);
        d.filter = DefectListFilter(kind);
        if (wb.host.RunOpenDialog(d)) image = ReadPickedFile(d.fileName);
    } else if (!ReadModule(wb, id, image) || image.empty()) {
        wb.host.Log(Format("Error Read Module: %x", id));
        image.clear();
    }
    return LoadDefectListImage(wb, image, info);
}

int LoadZoneTableImage(Workbench& wb, const std::vector<uint8_t>& table) {
    const int count =
        ParseZoneTable(table.data(), table.size(), wb.defects.roylFormat, wb.defects.zones);
    wb.defects.zoneCount = count;
    return count;
}

int LoadZoneTable(Workbench& wb, uint8_t head) {
    wb.link.abort = false;
    DialogState& d = wb.openDialog;
    const ScopeExit resetDialog([&d] {
        d.filter = "All|*.*";
        d.title.clear();
    });
    ModuleImage data;
    bool ok = false;
    if (wb.host.ShiftDown()) {
        d.title = "Select Zone Map";
        d.folder.clear();
        d.fileName.clear();
        d.filter = ZoneMapFilter(head);
        if (wb.host.RunOpenDialog(d)) data = ReadPickedFile(d.fileName);
        ok = !data.empty();
    } else if (wb.defects.roylFormat) {
        // ROYL drives keep one table per head; older ones one table (5, 1).
        ok = ReadDriveTable(wb, 0x0D, head, data);
    } else {
        ok = ReadDriveTable(wb, 5, 1, data);
    }
    if (!ok) data.clear();
    return LoadZoneTableImage(wb, data);
}

uint16_t ZoneSectorsPerTrack(const DefectTables& t, uint32_t cylinder) {
    const int z = std::clamp(t.zoneCount, 0, static_cast<int>(kMaxZones));
    if (z == 0) return 0;
    for (int i = 1; i < z; ++i) {
        const TZoneEntry& e = t.zones[static_cast<size_t>(i)];
        if (e.end >= cylinder) {
            if (e.sectorsPerTrack != 0) return e.sectorsPerTrack;
            break;
        }
    }
    return t.zones[static_cast<size_t>(z - 1)].sectorsPerTrack;
}

ZoneMatch FindZone(const DefectTables& t, uint32_t value) {
    const int z = std::clamp(t.zoneCount, 0, static_cast<int>(kMaxZones));
    for (int i = 1; i < z; ++i) {
        const TZoneEntry& e = t.zones[static_cast<size_t>(i)];
        if (e.end >= value) return {true, i, e.sectorsPerTrack};
    }
    return {};
}

uint16_t ReadWedgeCount(Workbench& wb) {
    ModuleImage table;
    if (!ReadDriveTable(wb, 1, 0, table) || table.size() < 36) return 0;
    return GetU16(table.data() + 34);
}

}  // namespace qm
