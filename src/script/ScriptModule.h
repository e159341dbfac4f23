#pragma once
// The self-scan script module (the PST sequence table, module 0x28 or one of
// the alternative tables 0x3B..0x3F): its three layouts, the step records and
// what the editor shows of each step.
//
// The layout is decided from the image every time it is parsed or written:
//
//   layout        recognised by               header  first step  record  ERROR_CODE
//   ROYL          "ROYL" in bytes 0-3          0x30    0x38        0x88    0x68
//   legacy-30     bytes 6-7 are "30"           0x18    0x20        0x74    0x68
//   legacy-short  anything else                0x18    0x1C        0x74    0x54
//
// Script header: u16 current step (1-based), u16 record size (0: the layout's
// default), u32 PTM start time in seconds. The legacy-short steps start at
// header + 4, so the "PTM start time" read there is the first four bytes of
// step 1.
//
// Step record (all little-endian): u16 TEST_ID at 0 (0 ends the script),
// u16 ARG0 at 2, u32 ARG1..ARG16 at 0x04..0x40, u32 POST_ACTION at 0x44,
// u16 gotos on success, error and abort at 0x48, 0x4A, 0x4C (1-based step
// numbers; 0xFFFF stops, 0 is no jump), then the result area from 0x4E that
// the drive writes while the script runs, holding the u16 ERROR_CODE (0
// passed, 0xFFFF not run, else the drive's error code).
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "common/Bytes.h"
#include "vendor/Modules.h"

namespace qm {

struct Workbench;
class TestDescriber;

using StepRecord = std::vector<uint8_t>;

enum class ScriptLayout { Royl, Legacy30, LegacyShort };

struct ScriptLayoutInfo {
    size_t headerOffset;
    size_t firstStepOffset;
    uint16_t defaultRecordSize;
    size_t errorCodeOffset;
    // The smallest record that holds every field the editor touches (the
    // gotos, the result area and ERROR_CODE).
    uint16_t minRecordSize;
    const char* name;  // "ROYL", "legacy-30", "legacy-short"
};

ScriptLayout DetectScriptLayout(const ModuleImage& image);
const ScriptLayoutInfo& LayoutInfo(ScriptLayout layout);

// Step record offsets.
constexpr size_t kStepTestId = 0x00;
constexpr size_t kStepArg0 = 0x02;
constexpr size_t kStepPostAction = 0x44;
constexpr size_t kStepGotoSuccess = 0x48;
constexpr size_t kStepGotoError = 0x4A;
constexpr size_t kStepGotoAbort = 0x4C;
constexpr size_t kStepResultArea = 0x4E;
// ARG1..ARG16.
constexpr size_t StepArgOffset(int n) {
    return 4 + 4 * static_cast<size_t>(n - 1);
}

constexpr uint16_t kEndStepId = 0x00DC;
constexpr uint16_t kMarkerStepId = 0xEEEE;
constexpr uint16_t kPlaceholderStepId = 0xB000;
constexpr uint16_t kGotoStop = 0xFFFF;
constexpr uint16_t kStepNotRun = 0xFFFF;

// Status icons (indexes into the window's image list).
constexpr int kNoIcon = -1;
constexpr int kIconPassed = 1;
constexpr int kIconFailed = 2;
constexpr int kIconNotRun = 3;

// Field access that never leaves the record: reads past its end give 0,
// writes past its end are dropped.
inline uint16_t StepU16(const StepRecord& r, size_t offset) {
    if (offset + 2 <= r.size()) return GetU16(r.data() + offset);
    return offset < r.size() ? r[offset] : 0;
}
inline uint32_t StepU32(const StepRecord& r, size_t offset) {
    if (offset + 4 <= r.size()) return GetU32(r.data() + offset);
    uint32_t v = 0;
    for (size_t i = 0; offset + i < r.size(); ++i)
        v |= static_cast<uint32_t>(r[offset + i]) << (8 * i);
    return v;
}
inline void SetStepU16(StepRecord& r, size_t offset, uint16_t value) {
    if (offset + 2 <= r.size()) PutU16(r.data() + offset, value);
}
inline void SetStepU32(StepRecord& r, size_t offset, uint32_t value) {
    if (offset + 4 <= r.size()) PutU32(r.data() + offset, value);
}

// One row of the step list: the record as held (edits included), the caption
// and description shown (not refreshed by every edit) and the status icon.
struct ScriptStep {
    StepRecord record;
    std::string caption;
    std::string description;
    int icon = kNoIcon;

    uint16_t TestId() const { return StepU16(record, kStepTestId); }
};

// TEST_ID as the list shows it: upper-case hex, at least two digits.
std::string StepCaption(uint16_t testId);
// [HOST_SEQ] name for ids with bit 15 set, else the [Desc] text.
std::string StepDescription(Workbench& wb, uint16_t testId);
std::string StepDescription(const TestDescriber& d, uint16_t testId);
int StepIcon(uint16_t errorCode);
// The Errors.ini text of ERROR_CODE, else "ERROR " + four hex digits.
std::string StepStatusText(Workbench& wb, uint16_t errorCode);

enum class StepColour { Default, Fuchsia, Teal, Red, Green, Maroon, Olive, Blue, Lime };
// The text colour of a row: by its caption read as a hex test id (0 when it
// is not one), fuchsia whenever its success goto is 0xFFFF.
StepColour ScriptRowColour(const std::string& caption, const StepRecord& record);
const char* StepColourName(StepColour c);  // "fuchsia", ..., "default"
struct Rgb {
    uint8_t r, g, b;
};
Rgb StepColourRgb(StepColour c);  // Default has no colour of its own: (0, 0, 0)

// "Self Scan Script - " + selector + " - All: %X, Cur: %X, PTM Start Time:" +
// elapsed text; and the caption while a row is selected.
std::string ScriptCaption(const std::string& selector, size_t steps, uint16_t current,
                          uint32_t ptmStartTime);
std::string ScriptRowCaption(const std::string& selector, int index);

// The hex pane's hint; its last line names the ERROR_CODE offset by the
// script ROYL flag (0x68 when set, 0x54 when not).
std::string ScriptHexHint(bool royl);

// Hexadecimal digits only (no prefix, no blanks), at most 16 of them.
bool PlainHexValue(std::string_view text, uint64_t& value);

// The module id the selector's text names: hexadecimal; text that is not a
// hex number names 0x28. Values above 0xFFFF are returned as they are (they
// fit no module header; the caller refuses them).
uint64_t SelectorModuleId(const std::string& text);
// Whether the id fits the module header's id field (ROYL: u16; otherwise a
// byte); why says it when not.
bool ModuleIdFits(const ModuleImage& image, uint64_t id, std::string& why);
// Stores the module id in the header (ROYL: u16 at 8; otherwise u8 at 4) and
// recomputes the checksum. False, with the reason, when the id does not fit
// the header's field or the image is too short; the image is then unchanged.
bool SetModuleId(ModuleImage& image, uint64_t id, std::string& why);

// The built-in template module "ID0028" for text scripts: a ROYL module 0x28
// of 12 sectors, record size 0x88, no steps, checksum valid.
ModuleImage ScriptTemplateModule();
constexpr const char* kScriptTemplateName = "ID0028";

}  // namespace qm
