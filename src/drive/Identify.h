#pragma once
// The drive identity taken from an IDENTIFY DEVICE sector.
#include <cstdint>
#include <string>
#include <string_view>

#include "common/Workbench.h"

namespace qm {

// Characters of identify words [firstWord, firstWord + words): high byte first,
// bytes below 0x20 or above 0x7F as blanks.
std::string IdentifyString(const uint8_t* sector, int firstWord, int words);
// Keeps blank, '-', '.', digits, '@', 'A'-'Z', '_', '`' and 'a'-'y'; every
// other character becomes '_' so the text can be part of a file name.
std::string FileNameSafe(std::string_view text);
// Model (words 27-46), firmware (23-26) and serial (10-19), trimmed and made
// safe for file names.
DriveIdentity ParseIdentity(const uint8_t* sector);
// model + " FW:" + firmware + " SN:" + serial, the line the main window logs.
std::string IdentityLine(const DriveIdentity& id);

}  // namespace qm
