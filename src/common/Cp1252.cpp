#include "common/Cp1252.h"

namespace qm {
namespace {

// Unicode of the bytes 0x80..0x9F; the five unassigned ones keep their value.
constexpr char16_t kHigh[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178,
};

void AppendUtf8(std::string& out, char32_t c) {
    if (c < 0x80) {
        out += static_cast<char>(c);
    } else if (c < 0x800) {
        out += static_cast<char>(0xC0 | (c >> 6));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
        out += static_cast<char>(0xE0 | (c >> 12));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    }
}

}  // namespace

char16_t Cp1252ToUnicode(uint8_t byte) {
    return byte >= 0x80 && byte < 0xA0 ? kHigh[byte - 0x80] : byte;
}

int UnicodeToCp1252(char32_t c) {
    if (c < 0x80 || (c >= 0xA0 && c <= 0xFF)) return static_cast<int>(c);
    for (int i = 0; i < 32; ++i)
        if (kHigh[i] == c) return 0x80 + i;
    return -1;
}

bool Cp1252Assigned(uint8_t byte) {
    return byte < 0x80 || byte >= 0xA0 || kHigh[byte - 0x80] != byte;
}

std::string Cp1252ToUtf8(std::string_view text) {
    std::string out;
    out.reserve(text.size() + text.size() / 4);
    for (char ch : text) {
        const uint8_t b = static_cast<uint8_t>(ch);
        AppendUtf8(out, Cp1252Assigned(b) ? Cp1252ToUnicode(b) : char32_t{0xFFFD});
    }
    return out;
}

std::string Utf8ToCp1252(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    size_t i = 0;
    while (i < text.size()) {
        const uint8_t b = static_cast<uint8_t>(text[i]);
        const int extra = b < 0x80             ? 0
                          : (b & 0xE0) == 0xC0 ? 1
                          : (b & 0xF0) == 0xE0 ? 2
                          : (b & 0xF8) == 0xF0 ? 3
                                               : -1;
        // A stray continuation byte, or a sequence cut off by the end of the text.
        if (extra < 0 || i + static_cast<size_t>(extra) >= text.size()) {
            out += '?';
            ++i;
            continue;
        }
        char32_t c = extra == 0 ? b : (b & (0x3F >> extra));
        bool ok = true;
        for (int k = 1; k <= extra && ok; ++k) {
            const uint8_t t = static_cast<uint8_t>(text[i + static_cast<size_t>(k)]);
            ok = (t & 0xC0) == 0x80;
            c = (c << 6) | (t & 0x3F);
        }
        if (!ok) {
            out += '?';
            ++i;
            continue;
        }
        const int byte = UnicodeToCp1252(c);
        out += byte < 0 ? '?' : static_cast<char>(byte);
        i += static_cast<size_t>(extra) + 1;
    }
    return out;
}

std::string Utf16LeToCp1252(std::string_view bytes) {
    std::string out;
    out.reserve(bytes.size() / 2);
    for (size_t i = 0; i + 1 < bytes.size(); i += 2) {
        const char32_t unit = static_cast<uint8_t>(bytes[i]) |
                              (static_cast<char32_t>(static_cast<uint8_t>(bytes[i + 1])) << 8);
        // A surrogate pair names a character outside the code page anyway.
        if (unit >= 0xD800 && unit <= 0xDBFF && i + 3 < bytes.size()) i += 2;
        const int byte = unit >= 0xD800 && unit <= 0xDFFF ? -1 : UnicodeToCp1252(unit);
        out += byte < 0 ? '?' : static_cast<char>(byte);
    }
    return out;
}

}  // namespace qm
