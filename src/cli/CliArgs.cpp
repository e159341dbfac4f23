#include "cli/CliArgs.h"

#include <sstream>

#include "common/Format.h"

namespace qm {
namespace {

bool HasHexPrefix(std::string_view v) {
    return v.size() > 2 && v[0] == '0' && (v[1] == 'x' || v[1] == 'X');
}

}  // namespace

bool ParseCliNumber(std::string_view text, long long& value) {
    const std::string t = Trim(text);
    std::string_view v(t);
    const bool negative = !v.empty() && v[0] == '-';
    if (negative) v.remove_prefix(1);
    if (!HasHexPrefix(v)) return ParseFieldNumber(t, value);  // decimal or "$" hex
    unsigned long long u = 0;
    if (!ParseHex(v, u) || u > 0x7FFFFFFFFFFFFFFFULL) return false;
    value = negative ? -static_cast<long long>(u) : static_cast<long long>(u);
    return true;
}

bool ParseCliHex(std::string_view text, unsigned long long& value) {
    const std::string t = Trim(text);
    std::string_view v(t);
    if (!v.empty() && v[0] == '$') {
        v.remove_prefix(1);
        if (HasHexPrefix(v)) return false;  // "$0x10" is neither form
    }
    return ParseHex(v, value);
}

bool ParseCliNumberList(const std::string& text, long long min, long long max,
                        std::vector<long long>& out) {
    std::stringstream in(text);
    std::string item;
    while (std::getline(in, item, ',')) {
        long long v = 0;
        if (!ParseCliNumber(item, v) || v < min || v > max) return false;
        out.push_back(v);
    }
    return !out.empty();
}

bool ParseCliSize(const std::string& text, int& width, int& height) {
    const size_t x = text.find_first_of("xX");
    long long a = 0, b = 0;
    if (x == std::string::npos || !ParseCliNumber(text.substr(0, x), a) ||
        !ParseCliNumber(text.substr(x + 1), b))
        return false;
    if (a < 16 || a > 8192 || b < 16 || b > 8192) return false;
    width = static_cast<int>(a);
    height = static_cast<int>(b);
    return true;
}

std::string CliNumberError(const std::string& name, const std::string& text, long long min,
                           long long max) {
    return Format("%s wants %lld..%lld (decimal, or hex after $ or 0x), not '%s'", name.c_str(),
                  min, max, text.c_str());
}

std::string CliHexError(const std::string& what, const std::string& text, unsigned long long max) {
    return Format("%s '%s' is not a hexadecimal number up to %llX", what.c_str(), text.c_str(),
                  max);
}

}  // namespace qm
