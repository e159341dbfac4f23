#pragma once
// Find and replace in the module 0x21 editor's hex pane: the records the
// editor keeps between uses, the exchange with the two dialogs, the hex-text
// test, the lenient hex conversion, "Find Next" and "Replace...". The bytes
// are searched and changed by the hex control's model (HexModel).
#include <cstdint>
#include <string>
#include <string_view>

#include "hexview/HexModel.h"

namespace qm {

// Message texts shown to the user.
inline constexpr const char* kNoMatchText = "No match found.";
inline constexpr const char* kSearchUnitText =
    "Size of data to search for must be a multiple of Bytes per unit";
inline constexpr const char* kReplaceUnitText =
    "Size of replacement data must be a multiple of Bytes per unit";
// The count message of "Replace All" (its spelling is the product's).
inline constexpr const char* kReplacementsFormat = "%d replacemets.";

struct FindRecord {
    std::string text;  // as typed
    ByteBlock data;    // the bytes to search for (the text, or its hex conversion)
    bool ignoreCase = false;
    bool isText = false;
};

struct ReplaceRecord {
    std::string findText, replaceText;
    ByteBlock findData, replaceData;
    bool ignoreCase = false;
    bool findIsText = false;
    bool replaceIsText = false;
    bool replaceAll = false;
};

// A three-state check box: "Find text" and "Is text" start undecided (grey).
enum class TextCheck { Unchecked, Checked, Undecided };

// What the find dialog shows and returns.
struct FindDialogFields {
    std::string findText;
    TextCheck findIsText = TextCheck::Undecided;
    bool ignoreCase = false;
};
struct ReplaceDialogFields {
    std::string findText, replaceText;
    TextCheck findIsText = TextCheck::Undecided;
    TextCheck replaceIsText = TextCheck::Undecided;
    bool ignoreCase = false;
    bool replaceAll = false;  // "Replace &All" closed the dialog
};

// A text counts as hex data when, trimmed, it is not empty and every
// character is a blank, 0-9, A-F or a-f.
bool IsHexText(std::string_view text);
// Lenient conversion: characters that are not hex digits are skipped, the
// digits are paired in order (the first gives the high nibble), a last
// unpaired digit is dropped; each byte's nibbles are exchanged when
// `swapNibbles`.
ByteBlock HexTextToBytes(std::string_view text, bool swapNibbles);

// Dialog exchange: the fields from the record (a check box leaves its grey
// state only when the stored text is not empty), and the record from the
// fields of a dialog closed with OK (a grey box is decided by IsHexText).
FindDialogFields FindDialogIn(const FindRecord& r);
void FindDialogOut(FindRecord& r, const FindDialogFields& f);
ReplaceDialogFields ReplaceDialogIn(const ReplaceRecord& r);
void ReplaceDialogOut(ReplaceRecord& r, const ReplaceDialogFields& f);

// After the find dialog closed with OK: hex data is converted. True when
// there is something to search for ("Find Next" is then enabled and run).
bool PrepareFind(FindRecord& r, const HexModel& pane);

enum class SearchOutcome {
    Nothing,    // nothing to search for
    Found,      // the match is selected, the caret on its last byte
    NoMatch,    // "No match found." (information)
    UnitError,  // kSearchUnitText (error)
};
struct SearchResult {
    SearchOutcome outcome = SearchOutcome::Nothing;
    int64_t position = -1;
    int64_t length = 0;
};

// "Find Next": from the caret (one byte further when a one-byte search has
// its one-byte match selected) to the end of the pane.
SearchResult FindNext(HexModel& pane, const FindRecord& r);

enum class ReplaceOutcome {
    Replaced,   // one replacement, or `count` of them when replacing all
    NoMatch,    // "No match found." (error)
    UnitError,  // `message` is kSearchUnitText or kReplaceUnitText
    Refused,    // nothing changed; `message` says why
};
struct ReplaceResult {
    ReplaceOutcome outcome = ReplaceOutcome::NoMatch;
    int64_t count = 0;
    int64_t position = -1;  // of the single replacement
    std::string message;    // for Replaced with replaceAll: "%d replacemets."
};

// "Replace..." after its dialog closed with OK: converts hex data, then
// replaces the first match from the caret, or every match from the start
// (one pass through HexModel::replaceAll). A non-empty replacement that
// converts to no bytes is refused rather than deleting every match.
ReplaceResult RunReplace(HexModel& pane, ReplaceRecord& r);

// Steps 2 to 5 of "Replace...": converts hex data and makes the search and
// replacement bytes under the pane's settings. False, with the result to
// report, when there is nothing to do (unit sizes, nothing to search for, a
// replacement that converts to no bytes).
bool PrepareReplace(const HexModel& pane, ReplaceRecord& r, ByteBlock& needle,
                    ByteBlock& replacement, ReplaceResult& refusal);

// "Replace All" straight in a byte range, for a replacement no longer than
// the search bytes: the same bytes as HexModel::replaceAll followed by
// writing the shorter result over the range's start, so the range's last
// `size - newSize` bytes keep their old values. Returns the count (0: no
// match, or a longer replacement, which this does not do).
int64_t ReplaceAllInPlace(uint8_t* data, size_t size, const ByteBlock& needle,
                          const ByteBlock& replacement, bool ignoreCase, size_t& newSize);

}  // namespace qm
