#include "script/StepRun.h"

#include <algorithm>
#include <cstring>

#include "common/Bytes.h"
#include "common/Format.h"
#include "common/Workbench.h"
#include "vendor/Vsc.h"

namespace qm {
namespace {

struct IdRange {
    uint16_t lo, hi;
};

// Tests whose log line carries ARG1 rather than ARG0.
constexpr IdRange kArg1Tests[] = {
    {0xA1, 0xA4},     {0xA8, 0xA8},     {0xAA, 0xAA},     {0xAC, 0xAC},     {0xAE, 0xAE},
    {0xC3, 0xC4},     {0xC8, 0xC8},     {0x1420, 0x1420}, {0x1430, 0x1430}, {0x2401, 0x24FF},
    {0x2800, 0x2800}, {0x2802, 0x2802}, {0x2820, 0x2820}, {0x2900, 0x2904}, {0x2906, 0x290B},
    {0x290D, 0x290F}, {0x2916, 0x2916}, {0x2920, 0x2921}, {0x2A00, 0x2A02}, {0x2B00, 0x2B00},
    {0x2F00, 0x2F00},
};

std::string Numbers(const StepRecord& record) {
    return Format("Test %.2X_%.2X", StepU16(record, kStepTestId), StepRunSecondNumber(record));
}

}  // namespace

uint16_t StepRunSecondNumber(const StepRecord& record) {
    const uint16_t id = StepU16(record, kStepTestId);
    for (const IdRange& r : kArg1Tests)
        if (id >= r.lo && id <= r.hi)
            return static_cast<uint16_t>(StepU32(record, StepArgOffset(1)) & 0xFFFF);
    return StepU16(record, kStepArg0);
}

std::string StepRunStartLine(const StepRecord& record) {
    return Numbers(record) + " - Start";
}

std::string StepRunEndLine(const StepRecord& record) {
    return Numbers(record) + " End - ";
}

void SendStepRunKey(Workbench& wb, const StepRecord& record) {
    uint8_t* key = wb.link.keySector.data();
    PutU16(key, kStepRunAction);
    PutU16(key + 2, kStepRunFunction);
    std::memcpy(key + 4, record.data(), std::min(record.size(), kStepRunRecordMax));
    EnableVsc(wb);
    WriteKeySectorOnly(wb);
}

}  // namespace qm
