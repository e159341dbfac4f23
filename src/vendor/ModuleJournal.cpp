#include "vendor/ModuleJournal.h"

#include <chrono>
#include <ctime>
#include <filesystem>

#include "common/Files.h"
#include "common/Format.h"
#include "common/Workbench.h"
#include "drive/Identify.h"

namespace qm {

namespace fs = std::filesystem;

ModuleJournal::ModuleJournal(const Workbench& wb)
    : model_(wb.identity.model), serial_(wb.identity.serial) {
    std::string drive = FileNameSafe(model_ + "_" + serial_);
    for (char& c : drive)
        if (c == ' ') c = '_';
    if (model_.empty() && serial_.empty()) drive = "unidentified-drive";
    const std::string base = wb.dataFolder.empty() ? std::string("quillmark-data") : wb.dataFolder;
    folder_ = (fs::path(base) / "journal" / drive).string();
}

bool ModuleJournal::Keep(uint16_t id, const std::vector<uint8_t>* before,
                         const std::vector<uint8_t>& written, std::string& error) {
    std::error_code ec;
    fs::create_directories(folder_, ec);
    if (ec) {
        error = folder_ + ": " + ec.message();
        return false;
    }
    const auto now = std::chrono::system_clock::now();
    const std::time_t t = std::chrono::system_clock::to_time_t(now);
    const int ms = static_cast<int>(
        std::chrono::duration_cast<std::chrono::milliseconds>(now.time_since_epoch()).count() %
        1000);
    std::tm utc{};
#if defined(_WIN32)
    gmtime_s(&utc, &t);
#else
    gmtime_r(&t, &utc);
#endif
    const std::string stem =
        (fs::path(folder_) / Format("~id%04X-%04d%02d%02dT%02d%02d%02dZ-%03d", id,
                                    utc.tm_year + 1900, utc.tm_mon + 1, utc.tm_mday, utc.tm_hour,
                                    utc.tm_min, utc.tm_sec, ms))
            .string();
    if (before && !WriteFileAtomic(stem + ".before.rpm", *before, error)) return false;
    if (!WriteFileAtomic(stem + ".sending.rpm", written, error)) return false;
    std::string note = Format("module %04X of %s SN:%s\n", id, model_.c_str(), serial_.c_str());
    note += before
                ? Format("drive's copy before the write: %zu bytes (.before.rpm)\n", before->size())
                : std::string("drive's copy before the write: could not be read\n");
    note += Format("image to send: %zu bytes\n", written.size());
    if (!WriteFileAtomic(stem + ".txt", std::vector<uint8_t>(note.begin(), note.end()), error))
        return false;
    lastEntry_ = stem;
    note_ = note;
    return true;
}

void ModuleJournal::Settle(bool written, const std::string& outcome) {
    if (lastEntry_.empty()) return;
    std::error_code ec;
    const char* suffix = written ? ".written.rpm" : ".not-written.rpm";
    fs::rename(lastEntry_ + ".sending.rpm", lastEntry_ + suffix, ec);
    // The note is a record, not the data: a note that cannot be updated
    // leaves the .sending.rpm name (or the renamed one) to tell the story.
    const std::string note =
        note_ + (written ? "outcome: written (" : "outcome: not written (") + outcome +
        (ec ? "; the image file could not be renamed: " + ec.message() : std::string()) + ")\n";
    std::string error;
    WriteFileAtomic(lastEntry_ + ".txt", std::vector<uint8_t>(note.begin(), note.end()), error);
}

}  // namespace qm
