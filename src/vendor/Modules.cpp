#include "vendor/Modules.h"

#include <algorithm>
#include <cstring>

#include "common/Bytes.h"
#include "common/Files.h"
#include "common/Format.h"
#include "common/Workbench.h"
#include "vendor/ModuleJournal.h"
#include "vendor/Vsc.h"

namespace qm {
namespace {

constexpr uint32_t kChunkSectors = 128;
constexpr uint32_t kRoylSignature = 0x4C594F52;  // "ROYL"

bool StatusLetsModuleGoOn(uint16_t status) {
    return status == 0 || status == kVscGoOn;
}

}  // namespace

bool IsRoylImage(const ModuleImage& image) {
    return image.size() >= 4 && GetU32(image.data()) == kRoylSignature;
}

size_t ModuleDataOffset(const ModuleImage& image) {
    return IsRoylImage(image) && image.size() >= 8 ? GetU16(image.data() + 6) : 24;
}

static void FixChecksum(ModuleImage& image, Host* host) {
    if (IsRoylImage(image)) {
        if (image.size() < 16) return;
        PutU32(image.data() + 12, 0);
        uint32_t sum = 0;
        const size_t words = image.size() / 4;
        for (size_t i = 0; i < words; ++i) {
            sum += GetU32(image.data() + 4 * i);
            if (host && (i & 0x3FFF) == 0x3FFF) host->ProcessMessages();
        }
        PutU32(image.data() + 12, 0u - sum);
    } else {
        if (image.size() < 4) return;
        image[3] = 0;
        uint8_t sum = 0;
        for (size_t i = 0; i < image.size(); ++i) {
            sum = static_cast<uint8_t>(sum + image[i]);
            if (host && (i & 0xFFFF) == 0xFFFF) host->ProcessMessages();
        }
        image[3] = static_cast<uint8_t>(-sum);
    }
}

void FixModuleChecksum(Workbench& wb, ModuleImage& image) {
    FixChecksum(image, &wb.host);
}
void FixModuleChecksum(ModuleImage& image) {
    FixChecksum(image, nullptr);
}

bool ModuleChecksumValid(const ModuleImage& image) {
    if (IsRoylImage(image)) {
        if (image.size() < 16) return false;
        uint32_t sum = 0;
        for (size_t i = 0; i < image.size() / 4; ++i) sum += GetU32(image.data() + 4 * i);
        return sum == 0;
    }
    if (image.size() < 4) return false;
    uint8_t sum = 0;
    for (uint8_t b : image) sum = static_cast<uint8_t>(sum + b);
    return sum == 0;
}

std::string DefaultModuleFileName(const Workbench& wb, uint16_t id) {
    return wb.flags.scriptRoyl ? Format("~id%04X.rpm", id) : Format("~id%02X.rpm", id);
}

bool ReadModule(Workbench& wb, uint16_t id, ModuleImage& image) {
    EnableVsc(wb);
    uint32_t sectors = SendKey8(wb, 0x08, 1, id, 0, 0, 0, 0, 0);
    // A key whose status sector never came back announces nothing.
    if (!wb.link.keyExchanged || !StatusLetsModuleGoOn(VendorStatus(wb)) || wb.link.Aborted()) {
        image.clear();
        return false;
    }
    if (sectors > kMaxModuleSectors) {
        // An absurd count: finish the exchange, keep nothing.
        ReadKeyStatus(wb);
        image.clear();
        return false;
    }
    image.assign(static_cast<size_t>(sectors) * 512, 0);
    size_t offset = 0;
    // The loop runs to the end as the drive expects, but a chunk that failed
    // leaves a hole in the image: such an image is never reported complete.
    bool chunkFailed = false;
    while (sectors > 0 && !wb.link.Aborted()) {
        const uint32_t chunk = std::min(sectors, kChunkSectors);
        sectors -= chunk;
        ReadVscData(wb, static_cast<uint8_t>(chunk));
        chunkFailed = chunkFailed || wb.link.status.ERR;
        std::memcpy(image.data() + offset, wb.link.Sectors(), chunk * 512);
        offset += chunk * 512;
        wb.host.ProcessMessages();
    }
    ReadKeyStatus(wb);
    return VscSucceeded(wb) && !image.empty() && !chunkFailed;
}

bool WriteModule(Workbench& wb, uint16_t id, const ModuleImage& image) {
    EnableVsc(wb);
    uint32_t sectors = SendKey8(wb, 0x08, 2, id, 0, 0, 0, 0, 0);
    // Nothing is sent unless the key's status sector came back (a failed
    // read leaves a count of 0, and the final status alone would then pass
    // an exchange that moved nothing) and the drive takes exactly the
    // image: a shorter image would push stale sector-buffer bytes into the
    // module, a longer one would be cut short with a checksum that no longer
    // sums to zero.
    const bool whole = sectors > 0 && uint64_t{sectors} * 512 == image.size();
    bool sent = false;
    if (wb.link.keyExchanged && StatusLetsModuleGoOn(VendorStatus(wb)) && !wb.link.Aborted() &&
        whole) {
        sent = true;
        size_t offset = 0;
        while (sectors > 0 && !wb.link.Aborted()) {
            const uint32_t chunk = std::min(sectors, kChunkSectors);
            sectors -= chunk;
            std::memcpy(wb.link.Sectors(), image.data() + offset, chunk * 512);
            offset += chunk * 512;
            WriteVscData(wb, static_cast<uint8_t>(chunk));
            sent = sent && !wb.link.status.ERR;
            wb.host.ProcessMessages();
        }
    }
    ReadKeyStatus(wb);
    return VscSucceeded(wb) && sent;
}

bool ReadDriveTable(Workbench& wb, uint16_t tableId, uint16_t parameter, ModuleImage& image) {
    EnableVsc(wb);
    uint32_t count = 0;
    if (!wb.link.status.ERR && !wb.link.Aborted()) {
        count = SendKey8(wb, 0x0D, tableId, parameter, 0, 0, 0, 0, 0);
        // A key whose status sector never came back announces nothing.
        if (!wb.link.keyExchanged) count = 0;
    }
    // An absurd count is read as nothing; the table then counts as failed.
    const bool absurd = count > kMaxTableSectors;
    if (absurd) count = 0;
    uint32_t got = 0;
    if (!wb.link.status.ERR && !wb.link.Aborted()) {
        for (; got < count && !wb.link.status.ERR && !wb.link.Aborted(); ++got) {
            ReadVscData(wb, 1);
            if (wb.link.status.ERR) break;
            const size_t offset = static_cast<size_t>(got) * 512;
            if (image.size() < offset + 512) image.resize(offset + 512);
            std::memcpy(image.data() + offset, wb.link.Sectors(), 512);
        }
    }
    ReadKeyStatus(wb);
    // A table cut short, or one of no sectors at all, is never reported complete.
    return VscSucceeded(wb) && !absurd && count > 0 && got == count;
}

bool ReadModuleOrFile(Workbench& wb, uint16_t id, ModuleImage& image) {
    image.clear();
    if (wb.host.ShiftDown()) {
        if (!wb.host.RunOpenDialog(wb.openDialog)) return false;
        image = ReadFileBytesOrThrow(wb.openDialog.fileName);
        return !image.empty();
    }
    return ReadModule(wb, id, image) && !image.empty();
}

bool WriteModuleToChosenFile(Workbench& wb, uint16_t id, ModuleImage& image) {
    FixModuleChecksum(wb, image);
    wb.saveDialog.fileName = DefaultModuleFileName(wb, id);
    const bool chosen = wb.host.RunSaveDialog(wb.saveDialog) && !wb.saveDialog.fileName.empty();
    const std::string path = wb.saveDialog.fileName;
    wb.saveDialog.filter = "All|*.*";
    wb.saveDialog.fileName.clear();
    if (!chosen) return false;
    WriteFileAtomicOrThrow(path, image);
    return true;
}

bool WriteModuleOrFile(Workbench& wb, uint16_t id, ModuleImage& image, std::string* message) {
    if (wb.host.ShiftDown()) return WriteModuleToChosenFile(wb, id, image);
    FixModuleChecksum(wb, image);
    std::string why;
    const bool ok = WriteModuleSafely(wb, id, image, why);
    // The desktop program's windows reach the drive here: a write that was
    // refused or failed says why in the log.
    if (!ok && !why.empty()) wb.host.Log(why);
    if (message) *message = why;
    return ok;
}

bool WriteModuleSafely(Workbench& wb, uint16_t id, const ModuleImage& image, std::string& message) {
    // The checks of the command line's module write: an image loaded for
    // another module, from another firmware or damaged is never sent.
    const std::string problem = CheckModuleImage(image, id);
    if (!problem.empty()) {
        message = Format("module %04X not written: ", id) + problem;
        return false;
    }
    ModuleImage current;
    const bool haveCurrent = ReadModule(wb, id, current);
    return WriteModuleJournaled(wb, id, image, haveCurrent ? &current : nullptr, message);
}

bool WriteModuleJournaled(Workbench& wb, uint16_t id, const ModuleImage& image,
                          const ModuleImage* current, std::string& message) {
    if (wb.link.Aborted()) {
        message = "stopped before the module was written";
        return false;
    }
    // The drive takes exactly its own count of sectors (WriteModule sends
    // nothing otherwise); said here with the sizes.
    if (current && current->size() != image.size()) {
        message = Format("module %04X not written: the drive holds %zu bytes, the image has %zu",
                         id, current->size(), image.size());
        return false;
    }
    ModuleJournal journal(wb);
    std::string error;
    if (!journal.Keep(id, current, image, error)) {
        message = "module " + Format("%04X", id) +
                  " not written: its journal entry could not be kept (" + error + ")";
        return false;
    }
    if (!WriteModule(wb, id, image)) {
        message =
            wb.link.keyExchanged
                ? Format("module %04X: write failed, vendor status %04X", id, VendorStatus(wb))
                : Format(
                      "module %04X: write failed, the drive's answer to the key could not "
                      "be read",
                      id);
        journal.Settle(false, message);
        return false;
    }
    journal.Settle(true, "vendor status 0000");
    message.clear();
    return true;
}

uint16_t ModuleIdOf(const ModuleImage& image) {
    if (IsRoylImage(image)) return image.size() >= 10 ? GetU16(image.data() + 8) : 0;
    return image.size() >= 5 ? image[4] : 0;
}

std::string CheckModuleImage(const ModuleImage& image, uint16_t id) {
    if (image.empty()) return "the image is empty";
    if (image.size() % 512 != 0)
        return Format("%zu bytes is not a whole number of 512-byte sectors", image.size());
    if (image.size() > static_cast<size_t>(kMaxModuleSectors) * 512)
        return Format("%zu bytes is larger than any module (%u sectors at most)", image.size(),
                      kMaxModuleSectors);
    if (IsRoylImage(image)) {
        const size_t header = GetU16(image.data() + 6);
        if (header < 16 || header > image.size())
            return Format("the ROYL header length %zu does not fit the image", header);
        if (ModuleIdOf(image) != id)
            return Format("the header names module %04X, not %04X", ModuleIdOf(image), id);
    } else if (ModuleIdOf(image) != (id & 0xFF)) {
        return Format("not a ROYL image, and its id byte %02X is not module %04X",
                      ModuleIdOf(image), id);
    }
    if (!ModuleChecksumValid(image)) return "the checksum is wrong (the image may be damaged)";
    return {};
}

uint8_t ReadHeadCount(Workbench& wb) {
    ModuleImage image;
    uint8_t count = 0;
    if (ReadModule(wb, 0x0A, image)) {
        const size_t at = ModuleDataOffset(image) + 4;
        if (at < image.size()) count = image[at];
    }
    if (count == 0 || count > 10) {
        // A module count above 10 that the configuration table cannot
        // confirm is taken as no count (callers then use 10), not as a
        // number of heads to loop over.
        count = 0;
        image.clear();
        if (ReadDriveTable(wb, 1, 0, image) && image.size() > 30) count = image[30];
    }
    return count;
}

}  // namespace qm
