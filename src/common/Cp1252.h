#pragma once
// Code page 1252, the program's single-byte text, and its one table. The
// windows, the hex editor, the terminal and JSON all convert through it.
#include <cstdint>
#include <string>
#include <string_view>

namespace qm {

// The character of a byte. The five bytes code page 1252 leaves unassigned
// (0x81, 0x8D, 0x8F, 0x90, 0x9D) stand for the C1 control of the same value,
// as Windows maps them, so every byte comes back unchanged.
char16_t Cp1252ToUnicode(uint8_t byte);
// The byte of a character, or -1 when code page 1252 has none.
int UnicodeToCp1252(char32_t c);
// False for the five unassigned bytes.
bool Cp1252Assigned(uint8_t byte);

// Text for a terminal or a JSON document. The five unassigned bytes become
// U+FFFD here: as C1 controls, 0x90 and 0x9D would open device-control and
// operating-system commands on a terminal.
std::string Cp1252ToUtf8(std::string_view text);
// UTF-8 (or UTF-16LE) text to code page 1252. Characters the code page has no
// byte for, and malformed sequences, become '?'.
std::string Utf8ToCp1252(std::string_view text);
std::string Utf16LeToCp1252(std::string_view bytes);

}  // namespace qm
