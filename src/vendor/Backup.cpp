#include "vendor/Backup.h"

#include <cstring>
#include <filesystem>

#include "common/Bytes.h"
#include "common/Files.h"
#include "common/Format.h"
#include "common/Workbench.h"
#include "drive/Identify.h"
#include "drive/Transport.h"
#include "vendor/Vsc.h"

namespace qm {

namespace fs = std::filesystem;

std::vector<uint16_t> ParseModuleDirectory(const ModuleImage& directory) {
    std::vector<uint16_t> ids;
    const size_t start = ModuleDataOffset(directory);
    if (start + 2 > directory.size()) return ids;
    const uint16_t count = GetU16(directory.data() + start);
    size_t at = start + 2;
    // The first entry's length is the largest allowed; a length of 0 means
    // that length, a larger one ends the list.
    const uint8_t first = at < directory.size() ? directory[at] : 0;
    if (first < 4) return ids;
    for (uint16_t i = 0; i < count && at + 4 <= directory.size(); ++i) {
        uint8_t length = directory[at];
        if (length == 0) length = first;
        if (length > first || length < 4) break;
        ids.push_back(GetU16(directory.data() + at + 2));
        at += length;
    }
    return ids;
}

namespace {

struct Writer {
    BackupReport& report;
    std::string folder;
    bool Save(const std::string& relative, const ModuleImage& bytes, const std::string& what) {
        std::string error;
        if (!WriteFileAtomic((fs::path(folder) / relative).string(), bytes, error)) {
            report.failures.push_back(what + ": " + error);
            return false;
        }
        report.bytes += bytes.size();
        return true;
    }
};

TaskFile SmartCommand(uint8_t features) {
    TaskFile tf;
    tf.command = 0xB0;
    tf.features = features;
    tf.sectorCount = 1;
    tf.lbaMid = 0x4F;
    tf.lbaHigh = 0xC2;
    return tf;
}

// drive.ini, identify.bin and the S.M.A.R.T. sectors.
void BackupIdentity(Workbench& wb, Writer& w) {
    std::memset(wb.link.Sectors(), 0, 512);
    if (!IdentifyDevice(wb)) {
        w.report.failures.push_back("identify: the drive did not answer IDENTIFY DEVICE");
        return;
    }
    const ModuleImage identify(wb.link.Sectors(), wb.link.Sectors() + 512);
    wb.identity = ParseIdentity(identify.data());
    const uint64_t sectors = GetU64(identify.data() + 200) & 0xFFFFFFFFFFFFULL;
    w.Save("identify.bin", identify, "identify");

    std::string smartStatus;
    if (SendNonData(wb, SmartCommand(0xDA), RegisterForm::Lba28)) {
        const ResultRegisters r = ReadResultRegisters(wb);
        if (r.lbaMid == 0xF4 && r.lbaHigh == 0x2C)
            smartStatus = "failing";
        else if (r.lbaMid == 0x4F && r.lbaHigh == 0xC2)
            smartStatus = "good";
    }
    if (SendDataIn(wb, SmartCommand(0xD0), RegisterForm::Lba28, 1))
        w.Save("smart-data.bin", ModuleImage(wb.link.Sectors(), wb.link.Sectors() + 512),
               "S.M.A.R.T. data");
    if (SendDataIn(wb, SmartCommand(0xD1), RegisterForm::Lba28, 1))
        w.Save("smart-thresholds.bin", ModuleImage(wb.link.Sectors(), wb.link.Sectors() + 512),
               "S.M.A.R.T. thresholds");

    const DriveIdentity raw{Trim(IdentifyString(identify.data(), 27, 20)),
                            Trim(IdentifyString(identify.data(), 23, 4)),
                            Trim(IdentifyString(identify.data(), 10, 10))};
    std::string ini = "[Identity]\nModel=" + raw.model + "\nFirmware=" + raw.firmware +
                      "\nSerial=" + raw.serial +
                      Format("\nSectors=%llu\n", static_cast<unsigned long long>(sectors));
    if (!smartStatus.empty()) ini += "[Smart]\nStatus=" + smartStatus + "\n";
    w.Save("drive.ini", ModuleImage(ini.begin(), ini.end()), "drive.ini");
}

}  // namespace

BackupReport BackupDrive(Workbench& wb, const std::string& folder,
                         const std::function<void(const BackupStep&)>& progress) {
    BackupReport report;
    std::error_code ec;
    for (const char* sub : {"", "modules", "tables"}) {
        fs::create_directories(fs::path(folder) / sub, ec);
        if (ec) {
            report.failures.push_back(folder + ": " + ec.message());
            return report;
        }
    }
    Writer w{report, folder};
    BackupIdentity(wb, w);

    ModuleImage directory;
    if (!ReadModule(wb, 0x01, directory)) {
        report.failures.push_back(
            Format("module 0001 (the module directory): read failed, vendor status %04X",
                   VendorStatus(wb)));
        report.stopped = wb.link.Aborted();
        return report;
    }
    std::vector<uint16_t> ids = ParseModuleDirectory(directory);
    bool listsItself = false;
    for (uint16_t id : ids) listsItself = listsItself || id == 0x01;
    if (!listsItself) ids.insert(ids.begin(), 0x01);

    // Tables: the configuration table first; its head count says how many zone tables.
    ModuleImage config;
    const bool haveConfig = ReadDriveTable(wb, 1, 0, config);
    const int heads = haveConfig && config.size() > 30 && config[30] > 0 && config[30] <= 16
                          ? config[30]
                          : ReadHeadCount(wb);
    const size_t total = ids.size() + 1 + static_cast<size_t>(heads);
    size_t done = 0;
    auto step = [&](const std::string& item) {
        if (progress) progress(BackupStep{item, done, total});
    };

    step("table 01/0000");
    if (haveConfig) {
        if (w.Save("tables/01-0000.bin", config, "table 01/0000")) ++report.tables;
    } else {
        report.failures.push_back(
            Format("table 01/0000: read failed, vendor status %04X", VendorStatus(wb)));
    }
    ++done;
    for (int head = 0; head < heads && !wb.link.Aborted(); ++head, ++done) {
        const std::string item = Format("table 0D/%04X", head);
        step(item);
        ModuleImage zones;
        if (!ReadDriveTable(wb, 0x0D, static_cast<uint16_t>(head), zones)) {
            report.failures.push_back(
                Format("%s: read failed, vendor status %04X", item.c_str(), VendorStatus(wb)));
            continue;
        }
        if (w.Save(Format("tables/0D-%04X.bin", head), zones, item)) ++report.tables;
    }
    for (uint16_t id : ids) {
        if (wb.link.Aborted()) break;
        const std::string item = Format("module %04X", id);
        step(item);
        ModuleImage image = id == 0x01 ? directory : ModuleImage{};
        if (id != 0x01 && !ReadModule(wb, id, image)) {
            report.failures.push_back(
                Format("%s: read failed, vendor status %04X", item.c_str(), VendorStatus(wb)));
            ++done;
            continue;
        }
        if (w.Save("modules/" + Format("~id%04X.rpm", id), image, item)) ++report.modules;
        ++done;
    }
    report.stopped = wb.link.Aborted();
    if (progress) progress(BackupStep{"", done, total});
    return report;
}

}  // namespace qm
