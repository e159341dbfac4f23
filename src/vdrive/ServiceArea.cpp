#include "vdrive/ServiceArea.h"

#include <cctype>
#include <filesystem>
#include <system_error>

#include "common/Bytes.h"
#include "common/Format.h"
#include "common/Ini.h"

namespace qm {
namespace fs = std::filesystem;

const SaImage* ServiceArea::Module(uint16_t id) const {
    const auto it = modules.find(id);
    return it == modules.end() ? nullptr : &it->second;
}

const SaImage* ServiceArea::Table(uint16_t id, uint16_t parameter) const {
    const auto it = tables.find(TableKey(id, parameter));
    return it == tables.end() ? nullptr : &it->second;
}

bool IsRoylSaImage(const SaImage& image) {
    return image.size() >= 16 && GetU32(image.data()) == kRoylSignature;
}

namespace {

uint32_t WordSum(const SaImage& image) {
    uint32_t sum = 0;
    for (size_t i = 0; i + 4 <= image.size(); i += 4) sum += GetU32(image.data() + i);
    return sum;
}

uint8_t ByteSum(const SaImage& image) {
    uint8_t sum = 0;
    for (uint8_t b : image) sum = static_cast<uint8_t>(sum + b);
    return sum;
}

bool HexDigits(const std::string& s, size_t minDigits, size_t maxDigits, unsigned long long& v) {
    if (s.size() < minDigits || s.size() > maxDigits) return false;
    for (char c : s)
        if (!std::isxdigit(static_cast<unsigned char>(c))) return false;
    return ParseHex(s, v);
}

bool ReadBytes(const fs::path& path, SaImage& out, std::string& error) {
    std::string text, why;
    if (!ReadWholeFile(path.string(), text, &why)) {
        error = path.string() + ": " + why;
        return false;
    }
    out.assign(text.begin(), text.end());
    return true;
}

}  // namespace

void SealImage(SaImage& image) {
    if (IsRoylSaImage(image)) {
        PutU32(image.data() + 12, 0);
        PutU32(image.data() + 12, 0u - WordSum(image));
    } else if (image.size() > 3) {
        image[3] = 0;
        image[3] = static_cast<uint8_t>(0u - ByteSum(image));
    }
}

bool ImageChecksumValid(const SaImage& image) {
    if (IsRoylSaImage(image)) return WordSum(image) == 0;
    return image.size() > 3 && ByteSum(image) == 0;
}

void PadToSectors(SaImage& image) {
    image.resize((image.size() + 511) / 512 * 512, 0);
}

uint32_t ImageSectors(const SaImage& image) {
    return static_cast<uint32_t>((image.size() + 511) / 512);
}

std::string ModuleFileName(uint16_t id) {
    return Format("~id%04X.rpm", id);
}

std::string TableFileName(uint16_t id, uint16_t parameter) {
    return Format("%02X-%04X.bin", id, parameter);
}

bool ParseModuleFileName(const std::string& name, uint16_t& id) {
    const std::string lower = ToLower(name);
    if (lower.size() < 8 || lower.rfind("~id", 0) != 0 ||
        lower.compare(lower.size() - 4, 4, ".rpm") != 0)
        return false;
    unsigned long long v = 0;
    if (!HexDigits(lower.substr(3, lower.size() - 7), 2, 4, v)) return false;
    id = static_cast<uint16_t>(v);
    return true;
}

bool ParseTableFileName(const std::string& name, uint16_t& id, uint16_t& parameter) {
    const std::string lower = ToLower(name);
    const size_t dash = lower.find('-');
    if (dash == std::string::npos || lower.size() < 5 ||
        lower.compare(lower.size() - 4, 4, ".bin") != 0)
        return false;
    unsigned long long a = 0, b = 0;
    if (!HexDigits(lower.substr(0, dash), 1, 4, a) ||
        !HexDigits(lower.substr(dash + 1, lower.size() - 4 - dash - 1), 1, 4, b))
        return false;
    id = static_cast<uint16_t>(a);
    parameter = static_cast<uint16_t>(b);
    return true;
}

bool LoadServiceAreaFolder(const std::string& dir, ServiceArea& sa, bool& found,
                           std::string& error) {
    found = false;
    std::error_code ec;
    const fs::path modules = fs::path(dir) / "modules";
    const fs::path tables = fs::path(dir) / "tables";
    if (fs::is_directory(modules, ec)) {
        found = true;
        for (const fs::directory_entry& e : fs::directory_iterator(modules, ec)) {
            if (!e.is_regular_file(ec)) continue;
            const std::string name = e.path().filename().string();
            uint16_t id = 0;
            if (!ParseModuleFileName(name, id)) {
                error = e.path().string() + ": not a module file name (~id0033.rpm or ~id33.rpm)";
                return false;
            }
            if (sa.modules.count(id)) {
                error = e.path().string() + ": a second file for module " + Format("%04X", id);
                return false;
            }
            SaImage image;
            if (!ReadBytes(e.path(), image, error)) return false;
            if (image.empty()) {
                error = e.path().string() + ": empty module file";
                return false;
            }
            PadToSectors(image);
            sa.modules[id] = std::move(image);
            sa.moduleFiles[id] = name;
        }
        if (ec) {
            error = modules.string() + ": " + ec.message();
            return false;
        }
    }
    if (fs::is_directory(tables, ec)) {
        found = true;
        for (const fs::directory_entry& e : fs::directory_iterator(tables, ec)) {
            if (!e.is_regular_file(ec)) continue;
            uint16_t id = 0, parameter = 0;
            if (!ParseTableFileName(e.path().filename().string(), id, parameter)) {
                error = e.path().string() + ": not a table file name (0D-0002.bin)";
                return false;
            }
            const uint32_t key = ServiceArea::TableKey(id, parameter);
            if (sa.tables.count(key)) {
                error =
                    e.path().string() + ": a second file for table " + TableFileName(id, parameter);
                return false;
            }
            SaImage image;
            if (!ReadBytes(e.path(), image, error)) return false;
            PadToSectors(image);
            sa.tables[key] = std::move(image);
        }
        if (ec) {
            error = tables.string() + ": " + ec.message();
            return false;
        }
    }
    return true;
}

bool SaveServiceAreaFolder(const std::string& dir, const ServiceArea& sa, std::string& error) {
    std::error_code ec;
    const fs::path modules = fs::path(dir) / "modules";
    const fs::path tables = fs::path(dir) / "tables";
    fs::create_directories(modules, ec);
    fs::create_directories(tables, ec);
    if (ec) {
        error = dir + ": " + ec.message();
        return false;
    }
    for (const auto& [id, image] : sa.modules) {
        const auto name = sa.moduleFiles.find(id);
        const std::string file = name != sa.moduleFiles.end() ? name->second : ModuleFileName(id);
        if (!WriteFileAtomic((modules / file).string(), image, error)) return false;
    }
    for (const auto& [key, image] : sa.tables) {
        const std::string file =
            TableFileName(static_cast<uint16_t>(key >> 16), static_cast<uint16_t>(key));
        if (!WriteFileAtomic((tables / file).string(), image, error)) return false;
    }
    return true;
}

bool FindSmartSection(const SaImage& drm, SmartSection& out) {
    const size_t b = IsRoylSaImage(drm) ? GetU16(drm.data() + 6) : 24;
    if (b + 32 > drm.size()) return false;
    const bool wide = GetU16(drm.data() + b) >= 0x500;
    const uint8_t* d = drm.data() + b;
    const uint32_t count = wide ? GetU32(d + 28) : GetU16(d + 28);
    if (count < 10) return false;
    const size_t entry = b + (wide ? 32 : 30) + 9 * (wide ? 8 : 4);
    if (entry + (wide ? 8 : 4) > drm.size()) return false;
    const size_t section = wide ? GetU32(drm.data() + entry) : GetU16(drm.data() + entry);
    const size_t size = wide ? GetU32(drm.data() + entry + 4) : GetU16(drm.data() + entry + 2);
    if (size == 0 || section + size > drm.size() || size < 20) return false;
    const uint8_t* s = drm.data() + section;
    const bool wideSection = GetU16(s) >= 0x500;
    if (wideSection && size < 32) return false;
    out.dataOffset = section + (wideSection ? GetU32(s + 8) : GetU16(s + 8));
    out.dataSize = wideSection ? GetU32(s + 12) : GetU16(s + 10);
    out.thresholdOffset = section + (wideSection ? GetU32(s + 24) : GetU16(s + 16));
    out.thresholdSize = wideSection ? GetU32(s + 28) : GetU16(s + 18);
    return out.dataOffset + out.dataSize <= section + size &&
           out.thresholdOffset + out.thresholdSize <= section + size;
}

}  // namespace qm
