#include "common/Format.h"

#include <cctype>
#include <cstdio>
#include <vector>

namespace qm {

std::string FormatV(const char* fmt, va_list args) {
    va_list copy;
    va_copy(copy, args);
    char small[256];
    int n = std::vsnprintf(small, sizeof small, fmt, copy);
    va_end(copy);
    if (n < 0) return {};
    if (static_cast<size_t>(n) < sizeof small) return std::string(small, static_cast<size_t>(n));
    std::vector<char> big(static_cast<size_t>(n) + 1);
    std::vsnprintf(big.data(), big.size(), fmt, args);
    return std::string(big.data(), static_cast<size_t>(n));
}

std::string Format(const char* fmt, ...) {
    va_list args;
    va_start(args, fmt);
    std::string s = FormatV(fmt, args);
    va_end(args);
    return s;
}

std::string FormatElapsed(uint64_t seconds) {
    uint64_t hours = seconds / 3600;
    const uint64_t minutes = (seconds % 3600) / 60, secs = seconds % 60;
    std::string prefix;
    if (hours > 24) {
        hours %= 24;
        prefix = Format("%02llu:", static_cast<unsigned long long>(seconds / 86400));
    }
    return prefix + Format("%02llu:%02llu:%02llu", static_cast<unsigned long long>(hours),
                           static_cast<unsigned long long>(minutes),
                           static_cast<unsigned long long>(secs));
}

std::string Trim(std::string_view s) {
    size_t b = 0, e = s.size();
    while (b < e && (s[b] == ' ' || s[b] == '\t' || s[b] == '\r' || s[b] == '\n')) ++b;
    while (e > b && (s[e - 1] == ' ' || s[e - 1] == '\t' || s[e - 1] == '\r' || s[e - 1] == '\n'))
        --e;
    return std::string(s.substr(b, e - b));
}

std::string ToLower(std::string_view s) {
    std::string r(s);
    for (char& c : r)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return r;
}

std::string ToUpper(std::string_view s) {
    std::string r(s);
    for (char& c : r)
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    return r;
}

bool EqualsNoCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i) {
        char x = a[i], y = b[i];
        if (x >= 'A' && x <= 'Z') x = static_cast<char>(x - 'A' + 'a');
        if (y >= 'A' && y <= 'Z') y = static_cast<char>(y - 'A' + 'a');
        if (x != y) return false;
    }
    return true;
}

static bool ParseDigits(std::string_view t, int base, unsigned long long& out) {
    if (t.empty()) return false;
    unsigned long long v = 0;
    for (char c : t) {
        int d;
        if (c >= '0' && c <= '9')
            d = c - '0';
        else if (base == 16 && c >= 'a' && c <= 'f')
            d = c - 'a' + 10;
        else if (base == 16 && c >= 'A' && c <= 'F')
            d = c - 'A' + 10;
        else
            return false;
        if (v > (~0ULL - static_cast<unsigned>(d)) / static_cast<unsigned>(base)) return false;
        v = v * static_cast<unsigned>(base) + static_cast<unsigned>(d);
    }
    out = v;
    return true;
}

bool ParseFieldNumber(std::string_view text, long long& value) {
    std::string t = Trim(text);
    std::string_view v(t);
    bool neg = false;
    if (!v.empty() && v[0] == '-') {
        neg = true;
        v.remove_prefix(1);
    }
    unsigned long long u;
    bool ok = (!v.empty() && v[0] == '$') ? ParseDigits(v.substr(1), 16, u) : ParseDigits(v, 10, u);
    if (!ok || u > 0x7FFFFFFFFFFFFFFFULL) return false;
    value = neg ? -static_cast<long long>(u) : static_cast<long long>(u);
    return true;
}

bool ParseHex(std::string_view text, unsigned long long& value) {
    std::string t = Trim(text);
    std::string_view v(t);
    if (v.size() > 2 && v[0] == '0' && (v[1] == 'x' || v[1] == 'X')) v.remove_prefix(2);
    return ParseDigits(v, 16, value);
}

}  // namespace qm
