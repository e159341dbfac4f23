#pragma once
// Code page 1252 to UTF-8, for showing the program's single-byte texts in
// places that speak Unicode (Qt widgets, the terminal, JSON).
#include <string>
#include <string_view>

namespace qm {

// Every byte becomes one character; the five bytes code page 1252 leaves
// unassigned (0x81, 0x8D, 0x8F, 0x90, 0x9D) become U+FFFD.
std::string Cp1252ToUtf8(std::string_view text);

}  // namespace qm
