#include "module21/FindReplace.h"

#include <cstring>

#include "common/Format.h"

namespace qm {
namespace {

int HexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

bool CheckedOf(TextCheck c, const std::string& text) {
    if (c == TextCheck::Undecided) return !IsHexText(text);
    return c == TextCheck::Checked;
}

TextCheck CheckFor(const std::string& storedText, bool storedFlag) {
    if (storedText.empty()) return TextCheck::Undecided;
    return storedFlag ? TextCheck::Checked : TextCheck::Unchecked;
}

// Search bytes of stored find data: text goes through the pane's conversion
// (lower case when ignoring case, character translation, Unicode widening);
// hex data is searched as it is.
ByteBlock SearchBytes(const HexModel& pane, const ByteBlock& data, bool isText, bool ignoreCase) {
    if (!isText) return data;
    return pane.textToBytes(
        std::string_view(reinterpret_cast<const char*>(data.data()), data.size()), ignoreCase);
}

bool MultipleOfUnit(const HexModel& pane, size_t n) {
    return n % static_cast<size_t>(pane.bytesPerUnit()) == 0;
}

}  // namespace

bool IsHexText(std::string_view text) {
    const std::string t = Trim(text);
    if (t.empty()) return false;
    for (char c : t)
        if (c != ' ' && HexValue(c) < 0) return false;
    return true;
}

ByteBlock HexTextToBytes(std::string_view text, bool swapNibbles) {
    ByteBlock out;
    out.reserve(text.size() / 2);
    int high = -1;
    for (char c : text) {
        const int d = HexValue(c);
        if (d < 0) continue;
        if (high < 0) {
            high = d;
            continue;
        }
        out.push_back(static_cast<uint8_t>(swapNibbles ? (d << 4) | high : (high << 4) | d));
        high = -1;
    }
    return out;
}

FindDialogFields FindDialogIn(const FindRecord& r) {
    FindDialogFields f;
    f.findText = r.text;
    f.findIsText = CheckFor(r.text, r.isText);
    f.ignoreCase = r.ignoreCase;
    return f;
}

void FindDialogOut(FindRecord& r, const FindDialogFields& f) {
    r.text = f.findText;
    r.isText = CheckedOf(f.findIsText, f.findText);
    r.data.assign(f.findText.begin(), f.findText.end());
    r.ignoreCase = f.ignoreCase;
}

ReplaceDialogFields ReplaceDialogIn(const ReplaceRecord& r) {
    ReplaceDialogFields f;
    f.findText = r.findText;
    f.replaceText = r.replaceText;
    f.findIsText = CheckFor(r.findText, r.findIsText);
    f.replaceIsText = CheckFor(r.replaceText, r.replaceIsText);
    f.ignoreCase = r.ignoreCase;
    return f;
}

void ReplaceDialogOut(ReplaceRecord& r, const ReplaceDialogFields& f) {
    r.findText = f.findText;
    r.findIsText = CheckedOf(f.findIsText, f.findText);
    r.findData.assign(f.findText.begin(), f.findText.end());
    r.ignoreCase = f.ignoreCase;
    r.replaceText = f.replaceText;
    r.replaceIsText = CheckedOf(f.replaceIsText, f.replaceText);
    r.replaceData.assign(f.replaceText.begin(), f.replaceText.end());
    r.replaceAll = f.replaceAll;
}

bool PrepareFind(FindRecord& r, const HexModel& pane) {
    if (!r.isText)
        r.data = HexTextToBytes(
            std::string_view(reinterpret_cast<const char*>(r.data.data()), r.data.size()),
            pane.swapNibbles());
    return !r.data.empty();
}

SearchResult FindNext(HexModel& pane, const FindRecord& r) {
    SearchResult res;
    if (r.data.empty()) return res;
    int64_t start = pane.cursorPosition();
    // A one-byte search whose match is selected goes on past it.
    if (r.data.size() == 1 && pane.selectionLength() == 1) ++start;
    res.outcome = SearchOutcome::NoMatch;
    if (start >= pane.size()) return res;
    const ByteBlock needle = SearchBytes(pane, r.data, r.isText, r.ignoreCase);
    if (!MultipleOfUnit(pane, needle.size())) {
        res.outcome = SearchOutcome::UnitError;
        return res;
    }
    const int64_t at = pane.find(needle, start, pane.size(), r.ignoreCase);
    if (at < 0) return res;
    const int64_t n = static_cast<int64_t>(needle.size());
    // The match is selected with the caret on its last byte, so the next
    // search starts there and finds overlapping matches.
    pane.setSelectionStart(at);
    pane.setSelectionEnd(at + n - 1);
    res.outcome = SearchOutcome::Found;
    res.position = at;
    res.length = n;
    return res;
}

bool PrepareReplace(const HexModel& pane, ReplaceRecord& r, ByteBlock& needle,
                    ByteBlock& replacement, ReplaceResult& refusal) {
    refusal = {};
    const bool swap = pane.swapNibbles();
    auto view = [](const ByteBlock& b) {
        return std::string_view(reinterpret_cast<const char*>(b.data()), b.size());
    };
    if (!r.findIsText) r.findData = HexTextToBytes(view(r.findData), swap);
    if (!r.replaceIsText && !r.replaceText.empty())
        r.replaceData = HexTextToBytes(view(r.replaceData), swap);
    needle = SearchBytes(pane, r.findData, r.findIsText, r.ignoreCase);
    replacement = r.replaceIsText ? pane.textToBytes(view(r.replaceData), false) : r.replaceData;
    if (!MultipleOfUnit(pane, needle.size())) {
        refusal.outcome = ReplaceOutcome::UnitError;
        refusal.message = kSearchUnitText;
        return false;
    }
    if (!MultipleOfUnit(pane, replacement.size())) {
        refusal.outcome = ReplaceOutcome::UnitError;
        refusal.message = kReplaceUnitText;
        return false;
    }
    // Nothing to search for can match nothing (and must never loop).
    if (needle.empty()) {
        refusal.outcome = ReplaceOutcome::NoMatch;
        refusal.message = kNoMatchText;
        return false;
    }
    // A replacement that was typed but converts to no bytes would delete
    // every match: refused.
    if (!r.replaceText.empty() && replacement.empty()) {
        refusal.outcome = ReplaceOutcome::Refused;
        refusal.message = r.replaceIsText
                              ? "The replacement text has a character the pane cannot show as a "
                                "byte; nothing was replaced."
                              : "The replacement holds no hex digits; nothing was replaced.";
        return false;
    }
    return true;
}

int64_t ReplaceAllInPlace(uint8_t* data, size_t size, const ByteBlock& needle,
                          const ByteBlock& replacement, bool ignoreCase, size_t& newSize) {
    newSize = size;
    if (needle.empty() || replacement.size() > needle.size()) return 0;
    const int64_t n = static_cast<int64_t>(needle.size());
    const int64_t end = static_cast<int64_t>(size);
    int64_t read = 0, write = 0, count = 0;
    for (int64_t at = HexModel::findIn(data, end, needle, 0, end, ignoreCase); at >= 0;
         at = HexModel::findIn(data, end, needle, read, end, ignoreCase)) {
        // Matches are found in the bytes not yet moved (read >= write).
        if (at > read && write != read)
            std::memmove(data + write, data + read, static_cast<size_t>(at - read));
        write += at - read;
        if (!replacement.empty()) std::memcpy(data + write, replacement.data(), replacement.size());
        write += static_cast<int64_t>(replacement.size());
        read = at + n;
        ++count;
    }
    if (count == 0) return 0;
    if (end > read && write != read)
        std::memmove(data + write, data + read, static_cast<size_t>(end - read));
    write += end - read;
    newSize = static_cast<size_t>(write);
    return count;
}

ReplaceResult RunReplace(HexModel& pane, ReplaceRecord& r) {
    ReplaceResult res;
    ByteBlock needle, replacement;
    if (!PrepareReplace(pane, r, needle, replacement, res)) return res;
    if (r.replaceAll) {
        // One pass over the data gives the same bytes as replacing the
        // matches one by one from the start.
        const int64_t count = pane.replaceAll(needle, replacement, r.ignoreCase);
        if (count == 0) {
            if (!pane.lastError().empty()) {
                res.outcome = ReplaceOutcome::Refused;
                res.message = pane.lastError() + "; nothing was replaced.";
            } else {
                res.message = kNoMatchText;
            }
            return res;
        }
        res.outcome = ReplaceOutcome::Replaced;
        res.count = count;
        res.message = Format(kReplacementsFormat, static_cast<int>(count));
        return res;
    }
    const int64_t at = pane.find(needle, pane.cursorPosition(), pane.size(), r.ignoreCase);
    if (at < 0) {
        res.message = kNoMatchText;
        return res;
    }
    pane.setSelectionStart(at);
    pane.setSelectionEnd(at + static_cast<int64_t>(needle.size()) - 1);
    const bool done =
        replacement.empty() ? pane.deleteSelection() : pane.replaceSelection(replacement);
    if (!done) {
        // A refused replacement stops here rather than finding the same match again.
        res.outcome = ReplaceOutcome::Refused;
        res.message = pane.lastError() + "; nothing was replaced.";
        return res;
    }
    res.outcome = ReplaceOutcome::Replaced;
    res.count = 1;
    res.position = at;
    return res;
}

}  // namespace qm
