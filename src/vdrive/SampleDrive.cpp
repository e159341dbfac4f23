// The built-in sample drive and the drive-folder reader.
#include <cstring>
#include <filesystem>

#include "common/Bytes.h"
#include "common/Format.h"
#include "common/Ini.h"
#include "vdrive/SampleServiceArea.h"
#include "vdrive/SampleSmart.h"
#include "vdrive/VirtualDrive.h"

namespace qm {
namespace {

// A WD Caviar Blue desktop drive some 10 000 hours into its life.
constexpr SampleSmartAttribute kSampleAttributes[] = {
    {1, 0x002F, 200, 200, 51, 0},
    {3, 0x0027, 139, 138, 21, 4041},
    {4, 0x0032, 100, 100, 0, 1237},
    {5, 0x0033, 200, 200, 140, 0},
    {7, 0x002E, 200, 200, 0, 0},
    {9, 0x0032, 87, 87, 0, 10000},
    {10, 0x0032, 100, 100, 0, 0},
    {11, 0x0032, 100, 100, 0, 0},
    {12, 0x0032, 100, 100, 0, 1203},
    {192, 0x0032, 200, 200, 0, 86},
    {193, 0x0032, 199, 199, 0, 3477},
    // Current 38 C, lowest 20 C, highest 45 C (raw 26 00 14 00 2D 00).
    {194, 0x0022, 105, 93, 0, 0x002D00140026ULL},
    {196, 0x0032, 200, 200, 0, 0},
    {197, 0x0032, 200, 200, 0, 0},
    {198, 0x0030, 100, 253, 0, 0},
    {199, 0x0032, 200, 200, 0, 0},
    {200, 0x0008, 100, 253, 0, 0},
};

std::vector<uint8_t> SampleSmartData() {
    std::vector<uint8_t> s(512, 0);
    PutU16(s.data(), 0x0010);
    size_t off = 2;
    for (const SampleSmartAttribute& a : SampleSmartAttributes()) {
        uint8_t* e = s.data() + off;
        e[0] = a.id;
        PutU16(e + 1, a.flags);
        e[3] = a.value;
        e[4] = a.worst;
        for (int i = 0; i < 6; ++i) e[5 + i] = static_cast<uint8_t>(a.raw >> (8 * i));
        off += 12;
    }
    s[362] = 0x82;  // off-line data collection completed without error
    s[363] = 0x00;  // last self-test completed without error
    PutU16(s.data() + 364, 8160);
    s[367] = 0x7B;  // off-line capabilities
    PutU16(s.data() + 368, 0x0003);
    s[370] = 0x01;  // error logging supported
    s[372] = 2;     // short self-test: 2 minutes
    s[373] = 96;    // extended self-test: 96 minutes
    s[374] = 5;     // conveyance self-test
    SetSectorChecksum(s.data());
    return s;
}

std::vector<uint8_t> SampleSmartThresholds() {
    std::vector<uint8_t> s(512, 0);
    PutU16(s.data(), 0x0010);
    size_t off = 2;
    for (const SampleSmartAttribute& a : SampleSmartAttributes()) {
        s[off] = a.id;
        s[off + 1] = a.threshold;
        off += 12;
    }
    SetSectorChecksum(s.data());
    return s;
}

// Reads an optional raw sector file; a present file must hold at least 512 bytes.
bool ReadSectorFile(const std::string& dir, const char* name, std::vector<uint8_t>& out,
                    std::string& error) {
    const std::string path = dir + "/" + name;
    std::error_code ec;
    if (!std::filesystem::exists(path, ec)) return true;  // optional: the built value stays
    std::string text, why;
    if (!ReadWholeFile(path, text, &why)) {
        error = Format("%s: %s", path.c_str(), why.c_str());
        return false;
    }
    if (text.size() < 512) {
        error = Format("%s: short file (%zu bytes, a sector is 512)", path.c_str(), text.size());
        return false;
    }
    out.assign(text.begin(), text.begin() + 512);
    return true;
}

}  // namespace

std::span<const SampleSmartAttribute> SampleSmartAttributes() {
    return kSampleAttributes;
}

namespace {

DriveContent BuildSampleContent() {
    DriveContent c;
    c.model = "WDC WD5000AAKS-00V1A0";
    c.firmware = "05.01D05";
    c.serial = "WD-WCAWF1939879";
    c.sectors = 976773168;  // 500 GB
    c.smartData = SampleSmartData();
    c.smartThresholds = SampleSmartThresholds();
    BuildSampleServiceArea(c);
    return c;
}

}  // namespace

// The sample is the same bytes every time: built once (its defect lists take
// a while to sort), handed out as copies.
DriveContent VirtualDrive::SampleContent() {
    static const DriveContent sample = BuildSampleContent();
    return sample;
}

bool VirtualDrive::LoadFolder(const std::string& dir, DriveContent& content, std::string& error) {
    DriveContent c = SampleContent();
    c.timing.slowRegions.clear();  // the sample's media bands belong to the sample's service area
    const std::string iniPath = dir + "/drive.ini";
    std::string iniText, why;
    const bool haveIni = ReadWholeFile(iniPath, iniText, &why);
    std::vector<uint8_t> identify;
    if (!ReadSectorFile(dir, "identify.bin", identify, error)) return false;
    if (!haveIni && identify.empty()) {
        error = Format("%s: %s (a drive folder needs drive.ini or identify.bin)", iniPath.c_str(),
                       why.c_str());
        return false;
    }
    const IniFile ini = IniFile::Parse(haveIni ? iniText : std::string());
    if (haveIni) {
        if (ini.Has("Identity", "Model")) c.model = ini.Get("Identity", "Model");
        if (ini.Has("Identity", "Firmware")) c.firmware = ini.Get("Identity", "Firmware");
        if (ini.Has("Identity", "Serial")) c.serial = ini.Get("Identity", "Serial");
        if (ini.Has("Identity", "Sectors")) {
            long long n = 0;
            if (!ParseFieldNumber(ini.Get("Identity", "Sectors"), n) || n <= 0 ||
                n > 0xFFFFFFFFFFFFLL) {
                error = iniPath + ": [Identity] Sectors is not a sector count: " +
                        ini.Get("Identity", "Sectors");
                return false;
            }
            c.sectors = static_cast<uint64_t>(n);
        }
        const std::string status = ToLower(ini.Get("Smart", "Status"));
        if (!status.empty() && status != "good" && status != "failing") {
            error = iniPath + ": [Smart] Status must be good or failing, not " + status;
            return false;
        }
        c.smartFailing = status == "failing";
        const std::string hidden = ToLower(ini.Get("Smart", "HiddenAttributes"));
        if (!hidden.empty() && hidden != "omit" && hidden != "report") {
            error = iniPath + ": [Smart] HiddenAttributes must be omit or report, not " + hidden;
            return false;
        }
        c.reportHidden = hidden == "report";
        std::string why2;
        if (!ParseDriveBehaviour(ini, c.timing, c.faults, why2) ||
            !ParseStatusSetup(ini, c.status, why2)) {
            error = iniPath + ": " + why2;
            return false;
        }
    }
    if (!identify.empty()) {
        c.identify = identify;
        // Capacity from the identify words so that reads agree with what it announces.
        const uint8_t* p = identify.data();
        const uint64_t n48 = GetU64(p + 200) & 0xFFFFFFFFFFFFULL;
        const uint64_t n28 = GetU32(p + 120);
        if (n48 || n28) c.sectors = n48 ? n48 : n28;
    }
    if (!ReadSectorFile(dir, "smart-data.bin", c.smartData, error)) return false;
    if (!ReadSectorFile(dir, "smart-thresholds.bin", c.smartThresholds, error)) return false;
    const std::string framesPath = dir + "/status-frames.bin";
    std::error_code ec;
    if (std::filesystem::exists(framesPath, ec)) {
        std::string frames;
        if (!ReadWholeFile(framesPath, frames, &why)) {
            error = framesPath + ": " + why;
            return false;
        }
        if (frames.empty() || frames.size() % 512 != 0) {
            error = Format("%s: %zu bytes is not a whole number of 512-byte status sectors",
                           framesPath.c_str(), frames.size());
            return false;
        }
        c.statusFrames.assign(frames.begin(), frames.end());
    }
    // Service area: modules/ and tables/ when the folder has them, else the
    // sample's, built again so that module 0x21 agrees with these sectors.
    ServiceArea sa;
    bool haveServiceArea = false;
    if (!LoadServiceAreaFolder(dir, sa, haveServiceArea, error)) return false;
    SampleDrmLayout drmLayout = SampleDrmLayout::Drm2;
    if (haveIni && ini.Has("ServiceArea", "Module21")) {
        const std::string v = ini.Get("ServiceArea", "Module21");
        if (!ParseSampleDrmLayout(v, drmLayout)) {
            error = iniPath + ": [ServiceArea] Module21 must be DRM2, STD or STD-OLD, not " + v;
            return false;
        }
        if (haveServiceArea) {
            error = iniPath +
                    ": [ServiceArea] Module21 shapes the sample's service area, but this folder "
                    "has its own modules/ or tables/";
            return false;
        }
    }
    if (haveServiceArea) {
        if (!sa.Module(0x01) && !sa.modules.empty()) sa.modules[0x01] = BuildModuleDirectory(sa);
        c.serviceArea = std::move(sa);
    } else {
        std::vector<SlowRegion> iniRegions = c.timing.slowRegions;
        BuildSampleServiceArea(c, drmLayout);
        c.timing.slowRegions.insert(c.timing.slowRegions.end(), iniRegions.begin(),
                                    iniRegions.end());
    }
    if (haveIni && ini.Has("ServiceArea", "IdleTimer")) {
        long long t = 0;
        if (!ParseFieldNumber(ini.Get("ServiceArea", "IdleTimer"), t) || t < 0 || t > 255) {
            error = iniPath + ": [ServiceArea] IdleTimer must be 0 to 255, not " +
                    ini.Get("ServiceArea", "IdleTimer");
            return false;
        }
        c.serviceArea.idleTimer = static_cast<uint8_t>(t);
    }
    content = std::move(c);
    return true;
}

}  // namespace qm
