#include "drive/Identify.h"

#include "common/Format.h"

namespace qm {

std::string IdentifyString(const uint8_t* sector, int firstWord, int words) {
    std::string s;
    s.reserve(static_cast<size_t>(words) * 2);
    auto put = [&s](uint8_t b) { s.push_back(b < 0x20 || b > 0x7F ? ' ' : static_cast<char>(b)); };
    for (int w = firstWord; w < firstWord + words; ++w) {
        put(sector[2 * w + 1]);  // high byte first
        put(sector[2 * w]);
    }
    return s;
}

std::string FileNameSafe(std::string_view text) {
    std::string s(text);
    for (char& ch : s) {
        const unsigned char c = static_cast<unsigned char>(ch);
        const bool keep = c == ' ' || c == '-' || c == '.' || (c >= '0' && c <= '9') ||
                          (c >= '@' && c <= 'Z') || c == '_' || (c >= '`' && c <= 'y');
        if (!keep) ch = '_';
    }
    return s;
}

DriveIdentity ParseIdentity(const uint8_t* sector) {
    DriveIdentity id;
    id.model = FileNameSafe(Trim(IdentifyString(sector, 27, 20)));
    id.firmware = FileNameSafe(Trim(IdentifyString(sector, 23, 4)));
    id.serial = FileNameSafe(Trim(IdentifyString(sector, 10, 10)));
    return id;
}

std::string IdentityLine(const DriveIdentity& id) {
    return id.model + " FW:" + id.firmware + " SN:" + id.serial;
}

}  // namespace qm
