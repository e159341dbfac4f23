#include "script/ScriptEditor.h"

#include <algorithm>
#include <cstring>

#include "common/Bytes.h"
#include "common/Format.h"
#include "common/Workbench.h"
#include "defects/Lookups.h"
#include "vendor/Modules.h"

namespace qm {
namespace {

constexpr size_t kGotos[] = {kStepGotoSuccess, kStepGotoError, kStepGotoAbort};

void SetGotos(StepRecord& r, uint16_t success, uint16_t error, uint16_t abort) {
    SetStepU16(r, kStepGotoSuccess, success);
    SetStepU16(r, kStepGotoError, error);
    SetStepU16(r, kStepGotoAbort, abort);
}

bool Renumbered(uint16_t v) {
    return v != 0 && v != kGotoStop;
}

// Upgrade Script: old test ids and what they became, applied in this order.
struct IdChange {
    uint16_t from, to;
};
constexpr IdChange kUpgradeIds[] = {
    {0x00D2, 0x3300}, {0x00BB, 0x3301}, {0x8199, 0x2408}, {0x8128, 0x3429},
    {0x8119, 0x3312}, {0x87D4, 0x3311}, {0x80CA, 0x3304}, {0x80EA, 0x00C4},
    {0x81FA, 0x3421}, {0x83EB, 0x3424}, {0x9002, 0x00C4}, {0x9003, 0x00C4},
};

// Upgrade Script's n-th placeholder step (0xB000), rebuilt on a zeroed record:
// the first saves the self-scan results, the second sets the time limit,
// every later one is an END step.
void RebuildPlaceholder(StepRecord& r, int n) {
    std::fill(r.begin(), r.end(), uint8_t{0});
    if (n == 1) {
        SetStepU16(r, kStepTestId, 0xB9);
        SetStepU16(r, kStepArg0, 1);
        SetStepU32(r, StepArgOffset(1), 0x1291);
        SetStepU32(r, 0x20, 1);
        SetStepU32(r, 0x28, 1);
        SetStepU32(r, 0x34, 1);
    } else if (n == 2) {
        SetStepU16(r, kStepTestId, 0xBC);
        SetStepU16(r, kStepArg0, 1);
        SetStepU32(r, StepArgOffset(1), 0x3F);
        SetStepU32(r, 0x20, 5000);
        SetStepU32(r, 0x24, 7);
        SetStepU32(r, 0x28, 0x10);
    } else {
        SetStepU16(r, kStepTestId, kEndStepId);
        SetStepU16(r, kStepArg0, 2);
        SetStepU32(r, StepArgOffset(1), 0x0F);
        SetStepU32(r, StepArgOffset(2), 2);
        SetStepU32(r, StepArgOffset(3), 0xCBFFFF);
        SetStepU32(r, StepArgOffset(4), 2);
        SetGotos(r, kGotoStop, kGotoStop, kGotoStop);
    }
}

}  // namespace

const char* const kNoModuleMessage = "No script module loaded: Read first";

std::string OverflowMessage(int64_t maxSteps) {
    return Format("Test Count Overflow! Max Count: %lld", static_cast<long long>(maxSteps));
}

void ScriptEditor::ResetForShow() {
    recordSize = 0;
    maxSteps = 0;
    legacy30 = false;
}

ParseOutcome ScriptEditor::Parse(std::string& why) {
    if (buffer.empty()) return ParseOutcome::Empty;
    const ScriptLayout l = DetectScriptLayout(buffer);
    const ScriptLayoutInfo& info = LayoutInfo(l);
    const size_t size = buffer.size();
    if (size < std::max(info.firstStepOffset, info.headerOffset + 8)) {
        why = Format("Not a script module: %zu bytes is too short for a %s script header", size,
                     info.name);
        buffer.clear();
        return ParseOutcome::Refused;
    }
    const uint8_t* header = buffer.data() + info.headerOffset;
    uint16_t rs = GetU16(header + 2);
    if (rs == 0) rs = info.defaultRecordSize;
    if (rs < info.minRecordSize) {
        why = Format(
            "Not a script module: its record size %u (0x%X) is too small for a %s step record "
            "(0x%X bytes at least)",
            rs, rs, info.name, info.minRecordSize);
        buffer.clear();
        return ParseOutcome::Refused;
    }
    layout = l;
    legacy30 = l == ScriptLayout::Legacy30;
    wb_.flags.scriptRoyl = l == ScriptLayout::Royl;
    storedCurrentStep = GetU16(header);
    ptmStartTime = GetU32(header + 4);
    recordSize = rs;
    maxSteps = static_cast<int64_t>((size - info.firstStepOffset) / rs);

    steps.clear();
    selected = -1;
    size_t count = 0;
    for (size_t pos = info.firstStepOffset; pos + rs <= size && GetU16(buffer.data() + pos) != 0;
         pos += rs)
        ++count;
    steps.reserve(count + 8);  // room for Upgrade's steps without moving every row
    // Caption and description once per test id, not once per row.
    const TestDescriber describer(wb_);
    std::vector<int32_t> known(0x10000, -1);
    std::vector<std::pair<std::string, std::string>> texts;
    for (size_t pos = info.firstStepOffset; pos + rs <= size; pos += rs) {
        const uint8_t* r = buffer.data() + pos;
        const uint16_t id = GetU16(r);
        if (id == 0) break;
        if (known[id] < 0) {
            known[id] = static_cast<int32_t>(texts.size());
            texts.emplace_back(StepCaption(id), StepDescription(describer, id));
        }
        ScriptStep step;
        step.record.assign(r, r + rs);
        step.caption = texts[static_cast<size_t>(known[id])].first;
        step.description = texts[static_cast<size_t>(known[id])].second;
        step.icon = StepIcon(GetU16(r + info.errorCodeOffset));
        steps.push_back(std::move(step));
    }
    uint16_t current = storedCurrentStep;
    if (current == 0 || current > steps.size()) current = 1;
    currentStep = current;
    if (current <= steps.size()) selected = current - 1;
    return ParseOutcome::Parsed;
}

void ScriptEditor::Serialize() {
    if (steps.empty()) return;
    const ScriptLayoutInfo& info = LayoutInfo(DetectScriptLayout(buffer));
    if (buffer.size() < std::max(info.firstStepOffset, info.headerOffset + 8)) return;
    uint8_t* header = buffer.data() + info.headerOffset;
    PutU16(header, static_cast<uint16_t>(selected + 1));
    PutU16(header + 2, recordSize);
    PutU32(header + 4, 0);
    size_t pos = info.firstStepOffset;
    // The module keeps its length: steps that do not fit are not stored (Write
    // refuses such a list before it gets here).
    for (const ScriptStep& s : steps) {
        if (pos + recordSize > buffer.size()) break;
        const size_t n = std::min<size_t>(s.record.size(), recordSize);
        std::memcpy(buffer.data() + pos, s.record.data(), n);
        std::memset(buffer.data() + pos + n, 0, recordSize - n);
        pos += recordSize;
    }
    std::memset(buffer.data() + pos, 0, buffer.size() - pos);
}

std::string ScriptEditor::Caption() const {
    return ScriptCaption(selector, steps.size(), currentStep, ptmStartTime);
}

std::string ScriptEditor::RowCaption() const {
    return ScriptRowCaption(selector, selected);
}

void ScriptEditor::Describe(ScriptStep& step) const {
    step.caption = StepCaption(step.TestId());
    step.description = StepDescription(wb_, step.TestId());
}

ScriptStep ScriptEditor::NewStep(const StepRecord& record) const {
    ScriptStep s;
    s.record = record;
    s.record.resize(recordSize, 0);
    Describe(s);
    return s;
}

void ScriptEditor::Select(int index) {
    selected = index >= 0 && index < static_cast<int>(steps.size()) ? index : -1;
}

int ScriptEditor::Insert() {
    return Insert(TestDescriber(wb_));
}

int ScriptEditor::Insert(const TestDescriber& describer) {
    if (recordSize == 0) return -1;
    return static_cast<int>(InsertAt(selected + 1, describer));
}

int64_t ScriptEditor::InsertAt(int p, const TestDescriber& describer) {
    StepRecord r(recordSize, 0);
    SetStepU16(r, kStepTestId, kEndStepId);
    SetStepU16(r, kStepArg0, 1);
    SetStepU32(r, StepArgOffset(1), 0x0F);
    SetStepU32(r, StepArgOffset(2), 1);
    SetStepU32(r, StepArgOffset(3), 0x0A);
    const uint16_t next = static_cast<uint16_t>(p + 2);
    SetGotos(r, next, next, next);
    SetStepU16(r, LayoutInfo(layout).errorCodeOffset, kStepNotRun);
    ScriptStep step;
    step.record = std::move(r);
    step.caption = StepCaption(kEndStepId);
    step.description = describer.DescribeTest(kEndStepId);
    steps.insert(steps.begin() + p, std::move(step));
    selected = p;
    const int64_t n = static_cast<int64_t>(steps.size());
    for (size_t i = static_cast<size_t>(p) + 1; i < steps.size(); ++i)
        for (size_t at : kGotos) {
            const uint16_t v = StepU16(steps[i].record, at);
            if (Renumbered(v) && v < n - 1) SetStepU16(steps[i].record, at, v + 1);
        }
    return p;
}

void ScriptEditor::Delete() {
    if (selected < 0 || selected >= static_cast<int>(steps.size())) return;
    const size_t i = static_cast<size_t>(selected);
    const bool marker = steps[i].caption == "EEEE";
    steps.erase(steps.begin() + static_cast<ptrdiff_t>(i));
    selected = steps.empty() ? -1 : static_cast<int>(std::min(i, steps.size() - 1));
    const size_t from = marker && i >= 1 ? i - 1 : i;
    for (size_t j = from; j < steps.size(); ++j)
        for (size_t at : {kStepGotoSuccess, kStepGotoError}) {
            const uint16_t v = StepU16(steps[j].record, at);
            if (Renumbered(v)) SetStepU16(steps[j].record, at, v - 1);
        }
}

void ScriptEditor::MoveDown() {
    if (selected < 0 || selected + 1 >= static_cast<int>(steps.size())) return;
    const size_t i = static_cast<size_t>(selected);
    std::swap(steps[i], steps[i + 1]);
    selected = static_cast<int>(i + 1);
    StepRecord& up = steps[i].record;
    const uint16_t v = StepU16(up, kStepGotoSuccess);
    if (v != kGotoStop) SetStepU16(up, kStepGotoSuccess, static_cast<uint16_t>(v - 1));
}

void ScriptEditor::MoveUp() {
    if (selected < 1 || selected >= static_cast<int>(steps.size())) return;
    const size_t i = static_cast<size_t>(selected);
    std::swap(steps[i], steps[i - 1]);
    selected = static_cast<int>(i - 1);
    StepRecord& down = steps[i].record;
    const uint16_t v = StepU16(down, kStepGotoSuccess);
    if (v != kGotoStop) SetStepU16(down, kStepGotoSuccess, static_cast<uint16_t>(v + 1));
}

void ScriptEditor::Clear() {
    steps.clear();
    selected = -1;
}

void ScriptEditor::ClearStepLog(int index) {
    if (index < 0 || index >= static_cast<int>(steps.size())) return;
    ScriptStep& s = steps[static_cast<size_t>(index)];
    if (s.record.size() > kStepResultArea)
        std::fill(s.record.begin() + kStepResultArea, s.record.end(), uint8_t{0});
    SetStepU16(s.record, LayoutInfo(layout).errorCodeOffset, kStepNotRun);
    s.icon = kNoIcon;
}

void ScriptEditor::ClearScriptLog() {
    for (size_t i = 0; i < steps.size(); ++i) ClearStepLog(static_cast<int>(i));
}

void ScriptEditor::SetGotosToEnd() {
    const int64_t n = static_cast<int64_t>(steps.size());
    for (int64_t i = 0; i < n; ++i) {
        StepRecord& r = steps[static_cast<size_t>(i)].record;
        if (i < n - 3)
            SetGotos(r, static_cast<uint16_t>(i + 2), static_cast<uint16_t>(n - 1),
                     static_cast<uint16_t>(n));
        else
            SetGotos(r, kGotoStop, kGotoStop, kGotoStop);
    }
}

void ScriptEditor::SetGotosToStop() {
    const int64_t n = static_cast<int64_t>(steps.size());
    for (int64_t i = 0; i < n; ++i) {
        StepRecord& r = steps[static_cast<size_t>(i)].record;
        if (i == n - 1)
            SetGotos(r, kGotoStop, kGotoStop, kGotoStop);
        else
            SetGotos(r, static_cast<uint16_t>(i + 2), kGotoStop, kGotoStop);
    }
}

void ScriptEditor::SetGotosStepByStep() {
    const int64_t n = static_cast<int64_t>(steps.size());
    for (int64_t i = 0; i < n; ++i) {
        ScriptStep& s = steps[static_cast<size_t>(i)];
        if (i == n - 1)
            SetGotos(s.record, kGotoStop, kGotoStop, kGotoStop);
        else if (!(i == n - 2 && s.TestId() == kEndStepId))
            SetStepU16(s.record, kStepGotoSuccess, static_cast<uint16_t>(i + 2));
    }
}

void ScriptEditor::PatchRecord(int index, const StepRecord& bytes) {
    if (index < 0 || index >= static_cast<int>(steps.size())) return;
    StepRecord& r = steps[static_cast<size_t>(index)].record;
    std::copy_n(bytes.begin(), std::min(bytes.size(), r.size()), r.begin());
}

void ScriptEditor::Upgrade() {
    if (recordSize == 0) return;
    const bool royl = layout == ScriptLayout::Royl;

    // 1. The END epilogue: three END steps at the end. A row index below 0
    //    (fewer rows than looked at) means no row is selected: the END step
    //    then goes to the top, as Insert puts it.
    for (int k = 1; k <= 3; ++k) {
        const int64_t at = static_cast<int64_t>(steps.size()) - k;
        selected = at < 0 ? -1 : static_cast<int>(at);
        if (at >= 0 && steps[static_cast<size_t>(at)].TestId() == kEndStepId) continue;
        const int p = Insert();
        StepRecord& r = steps[static_cast<size_t>(p)].record;
        SetStepU16(r, kStepArg0, 1);
        SetStepU32(r, StepArgOffset(1), 0x0F);
        SetStepU32(r, StepArgOffset(2), 2);
        SetStepU32(r, StepArgOffset(3), 0xCBFFFF);
        SetStepU32(r, StepArgOffset(4), static_cast<uint32_t>(2 * k));
        SetStepU32(r, StepArgOffset(5), 0);
        SetGotos(r, kGotoStop, kGotoStop, kGotoStop);
    }

    // 2. (ROYL) current test ids, placeholders rebuilt; captions stay as they
    //    were. 5. No limits left in the logging steps (every layout; neither
    //    the END steps of 1 nor the steps 3 and 4 add are such steps). One
    //    pass over the records does both and finds what 3 and 4 look for.
    int placeholders = 0;
    bool hasD8 = false, has3421 = false;
    size_t firstD1 = steps.size();
    for (size_t i = 0; i < steps.size(); ++i) {
        StepRecord& r = steps[i].record;
        uint16_t id = StepU16(r, kStepTestId);
        if (royl) {
            for (const IdChange& c : kUpgradeIds)
                if (id == c.from) id = c.to;
            if (id == kPlaceholderStepId) {
                RebuildPlaceholder(r, ++placeholders);
                id = StepU16(r, kStepTestId);
            } else {
                SetStepU16(r, kStepTestId, id);
            }
        }
        if (id == 0xB9 || id == 0xBA || id == 0xBC || id == 0x3402 || id == 0x3406 ||
            id == 0x3501) {
            SetStepU32(r, StepArgOffset(2), 0);
            SetStepU32(r, StepArgOffset(3), 0);
        }
        hasD8 = hasD8 || id == 0xD8;
        has3421 = has3421 || id == 0x3421;
        if (id == 0xD1 && firstD1 == steps.size()) firstD1 = i;
    }

    // 3, 4. A D8 step and (ROYL) a 3421 step right before the first D1 step;
    //    without a D1 step, right before the END epilogue.
    const bool noD1 = firstD1 == steps.size();
    auto insertBeforeD1 = [&](const StepRecord& record) {
        const size_t at = noD1 ? (steps.size() >= 3 ? steps.size() - 3 : 0) : firstD1;
        steps.insert(steps.begin() + static_cast<ptrdiff_t>(at), NewStep(record));
        if (selected >= static_cast<int>(at)) ++selected;
        ++firstD1;
    };
    if (!hasD8) {
        StepRecord r(recordSize, 0);
        SetStepU16(r, kStepTestId, 0xD8);
        SetStepU16(r, kStepArg0, 1);
        insertBeforeD1(r);
    }
    if (royl && !has3421) {
        StepRecord r(recordSize, 0);
        SetStepU16(r, kStepTestId, 0x3421);
        SetStepU16(r, kStepArg0, 1);
        SetStepU32(r, StepArgOffset(1), 0x2007);
        SetStepU32(r, StepArgOffset(2), 1);
        SetStepU32(r, StepArgOffset(3), 0x0A);
        SetStepU16(r, 0x38, 0x10);
        insertBeforeD1(r);
    }

    // 6.
    DeleteEndAndMarkerSteps();
}

void ScriptEditor::DeleteEndAndMarkerSteps() {
    // Each deletion as Delete does it: every later row's success and error
    // gotos go down by one (and the row before a deleted "EEEE" row's too).
    // Done in one pass, in place: a kept row goes down once for every
    // deletion before it, and once more for each "EEEE" row deleted right
    // after it. Going down stops at 0, so the order of the steps does not
    // matter.
    const size_t n = steps.size();
    if (n <= 3) return;
    const size_t examined = n - 3;
    auto down = [](StepRecord& r, uint32_t by) {
        for (size_t at : {kStepGotoSuccess, kStepGotoError}) {
            const uint16_t v = StepU16(r, at);
            if (Renumbered(v)) SetStepU16(r, at, static_cast<uint16_t>(v > by ? v - by : 0));
        }
    };
    size_t kept = 0;
    uint32_t deleted = 0;
    for (size_t k = 0; k < n; ++k) {
        const uint16_t id = steps[k].TestId();
        if (k < examined && (id == kEndStepId || id == kMarkerStepId)) {
            if (steps[k].caption == "EEEE" && kept >= 1) down(steps[kept - 1].record, 1);
            ++deleted;
            selected = static_cast<int>(std::min(kept, n - deleted - 1));
            continue;
        }
        if (k < examined) selected = static_cast<int>(kept);
        if (kept != k) steps[kept] = std::move(steps[k]);
        down(steps[kept].record, deleted);
        ++kept;
    }
    steps.erase(steps.begin() + static_cast<ptrdiff_t>(kept), steps.end());
}

WriteOutcome ScriptEditor::Write(bool correctGotos, std::string& message) {
    if (steps.empty()) return WriteOutcome::Nothing;
    if (buffer.empty() || recordSize == 0) {
        message = kNoModuleMessage;
        return WriteOutcome::Refused;
    }
    const uint64_t id = SelectorModuleId(selector);
    if (!ModuleIdFits(buffer, id, message)) return WriteOutcome::Refused;
    if (static_cast<int64_t>(steps.size()) > maxSteps) {
        message = OverflowMessage(maxSteps);
        Select(static_cast<int>(maxSteps - 1));
        return WriteOutcome::Refused;
    }
    if (selected < 0) selected = 0;
    if (correctGotos) SetGotosToEnd();
    Serialize();
    SetModuleId(buffer, id, message);
    return WriteScriptModule(wb_, static_cast<uint16_t>(id), buffer, message);
}

WriteOutcome WriteScriptModule(Workbench& wb, uint16_t id, ModuleImage& image,
                               std::string& message) {
    FixModuleChecksum(wb, image);
    if (wb.host.ShiftDown())
        return WriteModuleOrFile(wb, id, image, &message) ? WriteOutcome::Written
                                                          : WriteOutcome::Cancelled;
    const std::string problem = CheckModuleImage(image, id);
    if (!problem.empty()) {
        message = Format("Module %04X not written: ", id) + problem;
        return WriteOutcome::Refused;
    }
    ModuleImage current;
    const bool haveCurrent = ReadModule(wb, id, current);
    if (haveCurrent && current.size() != image.size()) {
        message = Format(
            "Module %04X not written: the drive's module is %zu bytes, the script module %zu", id,
            current.size(), image.size());
        return WriteOutcome::Refused;
    }
    if (!WriteModuleJournaled(wb, id, image, haveCurrent ? &current : nullptr, message))
        return WriteOutcome::Failed;
    return WriteOutcome::Written;
}

}  // namespace qm
