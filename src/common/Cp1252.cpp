#include "common/Cp1252.h"

#include <cstdint>

namespace qm {
namespace {

// Unicode of the bytes 0x80..0x9F; 0 marks the unassigned ones.
constexpr char16_t kHigh[32] = {
    0x20AC, 0,      0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0,      0x017D, 0,      0,      0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0,      0x017E, 0x0178,
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

// The byte of a Unicode character in code page 1252, '?' when it has none.
char ToByte(char32_t c) {
    if (c < 0x80 || (c >= 0xA0 && c <= 0xFF)) return static_cast<char>(c);
    for (int i = 0; i < 32; ++i)
        if (kHigh[i] && kHigh[i] == c) return static_cast<char>(0x80 + i);
    return '?';
}

}  // namespace

std::string Cp1252ToUtf8(std::string_view text) {
    // Most text is plain ASCII, which is UTF-8 already.
    bool ascii = true;
    for (char ch : text) ascii = ascii && static_cast<uint8_t>(ch) < 0x80;
    if (ascii) return std::string(text);
    std::string out;
    out.reserve(text.size() + text.size() / 4);
    for (char ch : text) {
        const uint8_t b = static_cast<uint8_t>(ch);
        char32_t c = b;
        if (b >= 0x80 && b < 0xA0) c = kHigh[b - 0x80] ? kHigh[b - 0x80] : 0xFFFD;
        AppendUtf8(out, c);
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
        out += ToByte(c);
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
        out += ToByte(unit >= 0xD800 && unit <= 0xDFFF ? 0xFFFD : unit);
    }
    return out;
}

}  // namespace qm
