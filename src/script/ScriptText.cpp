#include "script/ScriptText.h"

#include <algorithm>
#include <cstring>
#include <filesystem>

#include "common/Files.h"
#include "common/Format.h"
#include "defects/Lookups.h"

namespace qm {
namespace {

constexpr size_t kMaxFields = 19;  // TEST_ID, ARG0, ARG1..ARG16, POST_ACTION
constexpr size_t kFieldBytes = 0x44;

bool Blank(char c) {
    return c == ' ' || c == '\t';
}

}  // namespace

std::vector<std::string> SplitScriptLine(std::string_view line) {
    std::vector<std::string> fields;
    size_t pos = 0;
    for (;;) {
        const size_t comma = line.find(',', pos);
        std::string_view f =
            line.substr(pos, comma == std::string_view::npos ? line.npos : comma - pos);
        while (!f.empty() && Blank(f.front())) f.remove_prefix(1);
        const size_t blank = std::find_if(f.begin(), f.end(), Blank) - f.begin();
        fields.emplace_back(f.substr(0, blank));
        if (comma == std::string_view::npos) break;
        pos = comma + 1;
    }
    return fields;
}

uint32_t ScriptFieldValue(std::string_view field) {
    uint64_t v = 0;
    return PlainHexValue(field, v) && v <= 0xFFFFFFFFull ? static_cast<uint32_t>(v) : 0;
}

ImportReport ImportTextScript(ScriptEditor& editor, std::string_view text) {
    ImportReport report;
    if (editor.buffer.empty() || editor.recordSize == 0) return report;
    const TestDescriber describer(editor.Bench());
    size_t pos = 0;
    for (int number = 1; pos < text.size(); ++number) {
        size_t eol = text.find('\n', pos);
        if (eol == std::string_view::npos) eol = text.size();
        std::string_view line = text.substr(pos, eol - pos);
        pos = eol + 1;
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        const std::string trimmed = Trim(line);
        if (trimmed.empty() || trimmed.find('*') != std::string::npos) continue;
        std::vector<std::string> fields = SplitScriptLine(line);
        const uint16_t id = static_cast<uint16_t>(ScriptFieldValue(fields[0]));
        if (id == 0) {
            report.problems.push_back(
                Format("Line %d: test id 0 would end the script; line skipped", number));
            continue;
        }
        if (fields.size() > kMaxFields) {
            report.problems.push_back(
                Format("Line %d: %zu fields; those after the 19th ignored", number, fields.size()));
            fields.resize(kMaxFields);
        }
        const int row = editor.Insert(describer);
        if (row < 0) break;
        ScriptStep& step = editor.steps[static_cast<size_t>(row)];
        StepRecord& r = step.record;
        std::fill_n(r.begin(), std::min(kFieldBytes, r.size()), uint8_t{0});
        SetStepU16(r, kStepTestId, id);
        SetStepU16(r, kStepArg0,
                   static_cast<uint16_t>(ScriptFieldValue(fields.size() > 1 ? fields[1] : "")));
        for (size_t k = 2; k < fields.size(); ++k)
            SetStepU32(r, 4 * (k - 1), ScriptFieldValue(fields[k]));
        step.caption = StepCaption(id);
        step.description = StepDescription(describer, id);
        ++report.added;
    }
    return report;
}

DropOutcome DropScriptFile(ScriptEditor& editor, const std::string& path, const ModuleImage* templ,
                           ImportReport& report, std::string& why) {
    std::error_code ec;
    if (!std::filesystem::exists(path, ec)) return DropOutcome::Nothing;
    std::vector<uint8_t> bytes = ReadFileBytesOrThrow(path);
    if (IsRoylImage(bytes)) {
        editor.buffer = std::move(bytes);
        return editor.Parse(why) == ParseOutcome::Parsed ? DropOutcome::Module
                                                         : DropOutcome::Refused;
    }
    if (std::find(bytes.begin(), bytes.end(), uint8_t{0}) != bytes.end()) {
        why =
            "Not a text script: the file holds binary data. A module file of the older layout is "
            "loaded with Read while SHIFT is held.";
        return DropOutcome::Refused;
    }
    if (!templ || templ->empty()) return DropOutcome::Nothing;
    editor.buffer = *templ;
    if (editor.Parse(why) != ParseOutcome::Parsed) return DropOutcome::Refused;
    editor.Clear();
    report = ImportTextScript(
        editor, std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()));
    return DropOutcome::Text;
}

}  // namespace qm
