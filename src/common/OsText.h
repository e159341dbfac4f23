#pragma once
// The name of a Windows release from the version numbers the system reports.
#include <cstdint>
#include <string>

namespace qm {

// platformId, major, minor and build as the version record gives them;
// workstation is the product type "workstation" (1). Answers "Windows" for a
// combination no release is known by.
std::string WindowsVersionName(uint32_t platformId, uint32_t major, uint32_t minor, uint32_t build,
                               bool workstation);

}  // namespace qm
