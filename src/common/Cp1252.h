#pragma once
// Code page 1252 and Unicode: the program keeps its texts as single-byte
// ANSI (code page 1252) and converts where it meets Unicode (Qt widgets, the
// terminal, JSON, text files written with a byte-order mark).
#include <string>
#include <string_view>

namespace qm {

// Every byte becomes one character; the five bytes code page 1252 leaves
// unassigned (0x81, 0x8D, 0x8F, 0x90, 0x9D) become U+FFFD.
std::string Cp1252ToUtf8(std::string_view text);
// UTF-8 (or UTF-16LE) text to code page 1252. Characters the code page has no
// byte for, and malformed sequences, become '?'.
std::string Utf8ToCp1252(std::string_view text);
std::string Utf16LeToCp1252(std::string_view bytes);

}  // namespace qm
