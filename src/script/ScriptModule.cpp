#include "script/ScriptModule.h"

#include <algorithm>
#include <cstring>

#include "common/Bytes.h"
#include "common/Format.h"
#include "common/Workbench.h"
#include "defects/Lookups.h"

namespace qm {
namespace {

constexpr ScriptLayoutInfo kLayouts[] = {
    {0x30, 0x38, 0x88, 0x68, 0x6A, "ROYL"},
    {0x18, 0x20, 0x74, 0x68, 0x6A, "legacy-30"},
    {0x18, 0x1C, 0x74, 0x54, 0x56, "legacy-short"},
};

struct IdRange {
    uint16_t lo, hi;
};

template <size_t N>
bool InRanges(const IdRange (&ranges)[N], uint32_t id) {
    for (const IdRange& r : ranges)
        if (id >= r.lo && id <= r.hi) return true;
    return false;
}

constexpr IdRange kTeal[] = {
    {0xA1, 0xA4},     {0xA8, 0xA8},     {0xAA, 0xAA},     {0xAC, 0xAC},     {0xAE, 0xAE},
    {0xB1, 0xB2},     {0x1000, 0x101F}, {0x240A, 0x240F}, {0x2412, 0x2415}, {0x2417, 0x2417},
    {0x2419, 0x241A}, {0x241D, 0x241F}, {0x2422, 0x2422}, {0x2424, 0x2424}, {0x2427, 0x2427},
    {0x242A, 0x242E}, {0x2432, 0x2433}, {0x2436, 0x2436}, {0x243F, 0x243F}, {0x2441, 0x2441},
    {0x2443, 0x2444}, {0x2446, 0x2446}, {0x244C, 0x244F}, {0x2451, 0x2451}, {0x2454, 0x2454},
    {0x2802, 0x2802}, {0x2820, 0x2820}, {0x2900, 0x2904}, {0x2907, 0x2907}, {0x2921, 0x2921},
    {0x2A02, 0x2A02}, {0x2B00, 0x2B00},
};
constexpr IdRange kRed[] = {
    {0x2401, 0x2409}, {0x2410, 0x2411}, {0x2416, 0x2416}, {0x2418, 0x2418}, {0x241C, 0x241C},
    {0x2420, 0x2421}, {0x2423, 0x2423}, {0x2425, 0x2426}, {0x2428, 0x2429}, {0x242F, 0x2430},
    {0x2435, 0x2435}, {0x2438, 0x2438}, {0x243A, 0x243B}, {0x243D, 0x243E}, {0x2440, 0x2440},
    {0x2448, 0x244A}, {0x2450, 0x2450}, {0x2452, 0x2453}, {0x2455, 0x2455},
};
constexpr IdRange kGreen[] = {
    {0xB9, 0xBA},     {0xBC, 0xBC},     {0xD2, 0xD2},     {0xD4, 0xD4},
    {0x3300, 0x3301}, {0x3400, 0x3401}, {0x3405, 0x3406}, {0x3420, 0x3420},
};
constexpr IdRange kOlive[] = {
    {0xD1, 0xD1}, {0xD3, 0xD3}, {0xD5, 0xD5},     {0xD7, 0xD8},     {0xDA, 0xDB},
    {0xDD, 0xDD}, {0xF7, 0xF7}, {0x3402, 0x3402}, {0x3421, 0x3421}, {0x34D1, 0x34D7},
};
// Red or teal by the operation byte at step offset 4.
constexpr IdRange kByOperation[] = {
    {0xC3, 0xC5},     {0xC8, 0xC8},     {0x2909, 0x290F}, {0x2916, 0x2916},
    {0x2920, 0x2920}, {0x2940, 0x2940}, {0x2F00, 0x2F00},
};
constexpr IdRange kRedOperations[] = {
    {0x44, 0x46}, {0x4A, 0x4F}, {0x58, 0x58}, {0x69, 0x6B}, {0x6F, 0x70}, {0x80, 0x80},
    {0x8D, 0x8E}, {0x90, 0x91}, {0xA6, 0xA7}, {0xE4, 0xE4}, {0xE8, 0xE8},
};

}  // namespace

ScriptLayout DetectScriptLayout(const ModuleImage& image) {
    if (IsRoylImage(image)) return ScriptLayout::Royl;
    if (image.size() >= 8 && image[6] == '3' && image[7] == '0') return ScriptLayout::Legacy30;
    return ScriptLayout::LegacyShort;
}

const ScriptLayoutInfo& LayoutInfo(ScriptLayout layout) {
    return kLayouts[static_cast<int>(layout)];
}

std::string StepCaption(uint16_t testId) {
    return Format("%.2X", testId);
}

std::string StepDescription(const TestDescriber& d, uint16_t testId) {
    return (testId & 0x8000) ? d.HostSequenceName(testId) : d.DescribeTest(testId);
}

std::string StepDescription(Workbench& wb, uint16_t testId) {
    return StepDescription(TestDescriber(wb), testId);
}

int StepIcon(uint16_t errorCode) {
    if (errorCode == 0) return kIconPassed;
    return errorCode == kStepNotRun ? kIconNotRun : kIconFailed;
}

std::string StepStatusText(Workbench& wb, uint16_t errorCode) {
    std::string text = ErrorText(wb, errorCode);
    return text.empty() ? Format("ERROR %04X", errorCode) : text;
}

StepColour ScriptRowColour(const std::string& caption, const StepRecord& record) {
    if (StepU16(record, kStepGotoSuccess) == kGotoStop) return StepColour::Fuchsia;
    unsigned long long value = 0;
    if (!ParseHex(caption, value) || caption.find_first_of("xX") != std::string::npos) value = 0;
    const uint32_t id = value > 0xFFFFFFFFull ? 0xFFFFFFFFu : static_cast<uint32_t>(value);
    if (id == 0) return StepColour::Fuchsia;
    if (InRanges(kTeal, id)) return StepColour::Teal;
    if (InRanges(kRed, id)) return StepColour::Red;
    if (InRanges(kGreen, id)) return StepColour::Green;
    if (id == 0xBB) return StepColour::Maroon;
    if (InRanges(kOlive, id)) return StepColour::Olive;
    if (id == 0xDC) return StepColour::Blue;
    if (id >= 0x8000 && id <= 0xFFFF) return StepColour::Lime;
    if (InRanges(kByOperation, id)) {
        const uint8_t op = record.size() > 4 ? record[4] : 0;
        return InRanges(kRedOperations, op) ? StepColour::Red : StepColour::Teal;
    }
    return StepColour::Default;
}

const char* StepColourName(StepColour c) {
    switch (c) {
        case StepColour::Fuchsia:
            return "fuchsia";
        case StepColour::Teal:
            return "teal";
        case StepColour::Red:
            return "red";
        case StepColour::Green:
            return "green";
        case StepColour::Maroon:
            return "maroon";
        case StepColour::Olive:
            return "olive";
        case StepColour::Blue:
            return "blue";
        case StepColour::Lime:
            return "lime";
        case StepColour::Default:
            break;
    }
    return "default";
}

Rgb StepColourRgb(StepColour c) {
    switch (c) {
        case StepColour::Fuchsia:
            return {255, 0, 255};
        case StepColour::Teal:
            return {0, 128, 128};
        case StepColour::Red:
            return {255, 0, 0};
        case StepColour::Green:
            return {0, 128, 0};
        case StepColour::Maroon:
            return {128, 0, 0};
        case StepColour::Olive:
            return {128, 128, 0};
        case StepColour::Blue:
            return {0, 0, 255};
        case StepColour::Lime:
            return {0, 255, 0};
        case StepColour::Default:
            break;
    }
    return {0, 0, 0};
}

std::string ScriptCaption(const std::string& selector, size_t steps, uint16_t current,
                          uint32_t ptmStartTime) {
    return "Self Scan Script - " + selector + Format(" - All: %zX, Cur: %X", steps, current) +
           ", PTM Start Time:" + FormatElapsed(ptmStartTime);
}

std::string ScriptRowCaption(const std::string& selector, int index) {
    return "Self Scan Script - " + selector + Format(" - Step: %d (%Xh)", index + 1, index + 1);
}

std::string ScriptHexHint(bool royl) {
    return std::string(
               "Offset 00 - TEST_ID\nOffset 48 - GOTO_ON_SUCCES\nOffset 4A - GOTO_ON_ERR\n"
               "Offset 4C - GOTO_ON_ABRT\n") +
           (royl ? "Offset 68 - Error Code" : "Offset 54 - Error Code");
}

bool PlainHexValue(std::string_view text, uint64_t& value) {
    if (text.empty() || text.size() > 16) return false;
    value = 0;
    for (char c : text) {
        int digit;
        if (c >= '0' && c <= '9')
            digit = c - '0';
        else if (c >= 'a' && c <= 'f')
            digit = c - 'a' + 10;
        else if (c >= 'A' && c <= 'F')
            digit = c - 'A' + 10;
        else
            return false;
        value = value << 4 | static_cast<uint64_t>(digit);
    }
    return true;
}

uint64_t SelectorModuleId(const std::string& text) {
    uint64_t value = 0;
    return PlainHexValue(Trim(text), value) ? value : 0x28;
}

bool ModuleIdFits(const ModuleImage& image, uint64_t id, std::string& why) {
    const bool royl = IsRoylImage(image);
    if (id > (royl ? 0xFFFFu : 0xFFu)) {
        why =
            royl ? Format("Module id %llX does not fit the module header (four hex digits at most)",
                          static_cast<unsigned long long>(id))
                 : Format(
                       "Module id %llX does not fit the header of an older-layout module (two "
                       "hex digits at most)",
                       static_cast<unsigned long long>(id));
        return false;
    }
    return true;
}

bool SetModuleId(ModuleImage& image, uint64_t id, std::string& why) {
    if (!ModuleIdFits(image, id, why)) return false;
    const bool royl = IsRoylImage(image);
    if (image.size() < (royl ? 16u : 5u)) {
        why = Format("The module image is too short for its header (%zu bytes)", image.size());
        return false;
    }
    if (royl)
        PutU16(image.data() + 8, static_cast<uint16_t>(id));
    else
        image[4] = static_cast<uint8_t>(id);
    FixModuleChecksum(image);
    return true;
}

ModuleImage ScriptTemplateModule() {
    constexpr size_t kSectors = 12;
    ModuleImage image(kSectors * 512, 0);
    std::memcpy(image.data(), "ROYL", 4);
    PutU16(image.data() + 6, 0x30);  // header length: the script header follows it
    PutU16(image.data() + 8, 0x28);
    PutU16(image.data() + 10, kSectors);
    PutU16(image.data() + 0x32, 0x88);  // record size; current step and PTM time 0
    FixModuleChecksum(image);
    return image;
}

}  // namespace qm
