#pragma once
// printf-style formatting into std::string and small text helpers.
#include <cstdarg>
#include <cstdint>
#include <string>
#include <string_view>

namespace qm {

// mingw-w64 builds use its C99-conforming printf family (%zu, %lld), so the
// format check must follow GNU rules there rather than the msvcrt ones.
#if defined(__MINGW32__)
#define QM_PRINTF_FORMAT(fmt, args) __attribute__((format(gnu_printf, fmt, args)))
#else
#define QM_PRINTF_FORMAT(fmt, args) __attribute__((format(printf, fmt, args)))
#endif

std::string Format(const char* fmt, ...) QM_PRINTF_FORMAT(1, 2);
std::string FormatV(const char* fmt, va_list args);

// Seconds as hh:mm:ss, each part at least two digits. Only when the hours
// exceed 24 do they wrap and a day count (at least two digits) and ":" go in
// front: 86400 -> "24:00:00", 89999 -> "24:59:59", 90061 -> "01:01:01:01".
std::string FormatElapsed(uint64_t seconds);

std::string Trim(std::string_view s);
std::string ToLower(std::string_view s);
std::string ToUpper(std::string_view s);
bool EqualsNoCase(std::string_view a, std::string_view b);

// Parses a number the way the edit fields take it: decimal, or hexadecimal
// after a leading "$". Returns false when the text does not parse.
bool ParseFieldNumber(std::string_view text, long long& value);
// Parses plain hexadecimal (optional "0x" prefix) as the command line takes ids.
bool ParseHex(std::string_view text, unsigned long long& value);

}  // namespace qm
