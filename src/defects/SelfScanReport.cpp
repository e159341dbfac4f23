#include "defects/SelfScanReport.h"

#include <array>

#include "common/Bytes.h"
#include "common/Format.h"
#include "common/Workbench.h"
#include "defects/Lookups.h"
#include "vendor/Modules.h"

namespace qm {
namespace {

// Fixed data offsets of the report images (not the header-length field).
constexpr size_t kRoylStart = 48, kOlderStart = 24;

class Reader {
  public:
    explicit Reader(const std::vector<uint8_t>& image) : image_(image) {}
    // Whether `width` bytes at `at` lie wholly inside the image.
    bool Has(uint64_t at, uint64_t width) const {
        return at <= image_.size() && width <= image_.size() - at;
    }
    uint8_t U8(uint64_t at) const { return image_[static_cast<size_t>(at)]; }
    uint16_t U16(uint64_t at) const { return GetU16(image_.data() + at); }
    uint32_t U32(uint64_t at) const { return GetU32(image_.data() + at); }
    // The lists stop when the read position reaches size - 24.
    bool BeforeTail(uint64_t at) const {
        return static_cast<int64_t>(at) < static_cast<int64_t>(image_.size()) - 24;
    }

  private:
    const std::vector<uint8_t>& image_;
};

}  // namespace

SelfScanLog WriteSelfScanReport(Workbench& wb, const std::vector<uint8_t>& image,
                                const LineSink& log) {
    SelfScanLog out;
    const Reader r(image);
    out.royl = IsRoylImage(image);
    log("");
    log("SelfScan Log:");
    const size_t start = out.royl ? kRoylStart : kOlderStart;
    if (!r.Has(start, 4)) return out;
    out.sectionCount = static_cast<int>(r.U32(start) & 0xFF);
    if (out.sectionCount == 0) return out;

    // Sections that were not read stay 0 (absent).
    std::array<uint32_t, 256> t{};
    std::string dump;
    uint64_t pos = start + 4;
    for (int i = 0; i < out.sectionCount && r.BeforeTail(pos); ++i, pos += 4) {
        t[static_cast<size_t>(i)] = r.U32(pos);
        if (t[static_cast<size_t>(i)] == 0) continue;
        out.sections.push_back({i, t[static_cast<size_t>(i)]});
        dump += Format("%2d: %-6X  ", i, t[static_cast<size_t>(i)]);
    }
    if (wb.host.CtrlDown()) log(dump);
    log("");

    std::string summary;
    if (t[0] != 0 && r.Has(t[0], 4)) {
        out.testCount = r.U32(t[0]);
        summary = Format("Test Count: %u", *out.testCount);
    }
    if (t[1] != 0 && r.Has(t[1], 4)) {
        out.testTime = r.U32(t[1]);
        summary += "  -  Test Time: " + FormatElapsed(*out.testTime);
    }
    log(summary);

    if (t[2] != 0) {
        int number = 1;
        for (uint64_t at = t[2]; r.BeforeTail(at); at += 16, ++number) {
            SelfScanHistory h;
            h.number = number;
            h.id = r.U16(at);
            if (h.id == 0) break;
            h.a = r.U16(at + 2);
            h.b = r.U16(at + 4);
            h.c = r.U8(at + 6);
            h.d = r.U8(at + 7);
            h.time1 = r.U32(at + 8);
            h.time2 = r.U32(at + 12);
            out.history.push_back(h);
            log(Format("%2d  %4X  %4X  %4X  %2X  %2X  %8s  %8s", h.number, h.id, h.a, h.b, h.c, h.d,
                       FormatElapsed(h.time1).c_str(), FormatElapsed(h.time2).c_str()));
        }
    }
    log("");

    if (t[5] != 0) {
        for (int test = 1; test <= 2; ++test) {
            const uint64_t at = static_cast<uint64_t>(t[5]) + 4 * static_cast<uint64_t>(test - 1);
            if (!r.Has(at, 4)) break;
            // Test 1 keeps the abort code first, test 2 the test id first.
            const uint8_t code = test == 1 ? r.U8(at) : r.U8(at + 1);
            if (code == 0) continue;
            SelfScanAbort a;
            a.test = test;
            a.testId = test == 1 ? r.U8(at + 1) : r.U8(at);
            a.status = r.U16(at + 2);
            a.code = static_cast<uint16_t>(0x7600 + code);
            a.description = ErrorText(wb, a.code);
            out.aborts.push_back(a);
            log(Format("Test%d ID: %-2X, Test Status: %-2X, Abort Code: %X - %s", test, a.testId,
                       a.status, a.code, a.description.c_str()));
        }
    }

    if (t[13] != 0 && r.Has(t[13], 8)) {
        out.softErrorCounter = r.U32(t[13]);
        out.softErrorTotal = r.U32(static_cast<uint64_t>(t[13]) + 4);
        log("");
        log(Format("Soft Error Counter:%u, Soft Error Total:%u", *out.softErrorCounter,
                   *out.softErrorTotal));
    }
    return out;
}

}  // namespace qm
