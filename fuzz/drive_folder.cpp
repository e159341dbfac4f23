// A virtual drive folder: drive.ini ([Identity], [Smart], [Timing], [Faults],
// [Status], [ServiceArea], [Tests]) and its sector, module and table files,
// loaded and mounted as a drive.
#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "common/Ini.h"
#include "fuzz/FuzzInput.h"
#include "vdrive/DriveBehaviour.h"
#include "vdrive/VirtualDrive.h"

namespace fs = std::filesystem;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    // Parts, in order: drive.ini, identify.bin, smart-data.bin,
    // smart-thresholds.bin, status-frames.bin, then modules and tables.
    static const char* const kFiles[] = {
        "drive.ini",          "identify.bin",        "smart-data.bin",      "smart-thresholds.bin",
        "status-frames.bin",  "modules/~id0001.rpm", "modules/~id0021.rpm", "modules/~id0033.rpm",
        "tables/0D-0000.bin", "tables/01-0000.bin"};
    const auto parts = qm::fuzz::SplitParts(data, size);

    // drive.ini alone, as the parsers see it.
    const qm::IniFile ini = qm::IniFile::Parse(parts[0]);
    qm::DriveTiming timing;
    qm::DriveFaults faults;
    qm::StatusSetup status;
    std::string error;
    (void)qm::ParseDriveBehaviour(ini, timing, faults, error);
    (void)qm::ParseStatusSetup(ini, status, error);

    static const fs::path dir =
        fs::temp_directory_path() / ("qm-fuzz-folder-" + std::to_string(getpid()));
    std::error_code ec;
    fs::remove_all(dir, ec);
    fs::create_directories(dir / "modules", ec);
    fs::create_directories(dir / "tables", ec);
    for (size_t i = 0; i < parts.size() && i < std::size(kFiles); ++i) {
        if (i > 0 && parts[i].empty()) continue;  // an empty part: no such file
        std::ofstream(dir / kFiles[i], std::ios::binary) << parts[i];
    }
    qm::DriveContent content;
    if (qm::VirtualDrive::LoadFolder(dir.string(), content, error)) {
        qm::VirtualDrive drive(std::move(content));
        (void)drive.IdentifySector();
        (void)drive.ServiceAreaNow();
    }
    fs::remove_all(dir, ec);
    return 0;
}
