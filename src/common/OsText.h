#pragma once
// The operating system's name for the main window's caption: a Windows
// release from the version numbers the system reports, a Linux distribution
// from its os-release file.
#include <cstdint>
#include <string>
#include <string_view>

namespace qm {

// platformId, major, minor and build as the version record gives them;
// workstation is the product type "workstation" (1). Answers "Windows" for a
// combination no release is known by.
std::string WindowsVersionName(uint32_t platformId, uint32_t major, uint32_t minor, uint32_t build,
                               bool workstation);

// The value of `key` in the text of an os-release file, read by that file's
// own rules: KEY=VALUE lines, '#' comments, the value unquoted from double
// quotes (where \\, \", \$ and \` stand for the character) or single quotes
// (taken literally). A later line of the key wins; empty when it is missing.
std::string OsReleaseValue(std::string_view text, std::string_view key);

}  // namespace qm
