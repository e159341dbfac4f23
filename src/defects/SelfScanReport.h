#pragma once
// The self-scan log (module 0xE6) decoded into the log's report.
//
// Image offsets are absolute. At 48 (ROYL image) or 24 (older image) a u32
// whose low 8 bits are the number n of sections; then n u32 section offsets
// T[0..n-1] (0 = absent): T[0] u32 test count, T[1] u32 test time in seconds,
// T[2] 16-byte history entries (id u16, a u16, b u16, c u8, d u8, time 1 u32,
// time 2 u32; id 0 ends the list), T[5] two 4-byte abort records (test 1:
// abort code, test id, u16 status; test 2: test id, abort code, u16 status),
// T[13] u32 soft error counter and u32 total. Abort codes are described by
// Errors.ini under 0x7600 + code. The data offset is fixed (48 or 24), not the
// header-length field.
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace qm {

struct Workbench;

using LineSink = std::function<void(const std::string&)>;

struct SelfScanSection {
    int index = 0;
    uint32_t offset = 0;
};
struct SelfScanHistory {
    int number = 0;
    uint16_t id = 0, a = 0, b = 0;
    uint8_t c = 0, d = 0;
    uint32_t time1 = 0, time2 = 0;
};
struct SelfScanAbort {
    int test = 0;  // 1 or 2
    uint8_t testId = 0;
    uint16_t status = 0;
    uint16_t code = 0;  // 0x7600 + abort code
    std::string description;
};
struct SelfScanLog {
    bool royl = false;
    int sectionCount = 0;
    std::vector<SelfScanSection> sections;  // the non-zero offsets read
    std::optional<uint32_t> testCount, testTime;
    std::vector<SelfScanHistory> history;
    std::vector<SelfScanAbort> aborts;
    std::optional<uint32_t> softErrorCounter, softErrorTotal;
};

// Writes the self-scan report of a module 0xE6 image through log and returns
// what it decoded. The dump of the section table is written only while CTRL
// is held (the host's CtrlDown). Every field lying outside the image is
// treated as absent, so a truncated or crafted image gives a shorter report.
SelfScanLog WriteSelfScanReport(Workbench& wb, const std::vector<uint8_t>& image,
                                const LineSink& log);

}  // namespace qm
