#pragma once
// The byte model behind the hex view: a byte block with a caret and a selection,
// a record of which bytes were changed since the last save, undo/redo of every
// edit, and the search helpers the find/replace windows use. No Qt here, so the
// model can be tested and reused without a widget.
//
// Positions are byte offsets. Search results and "no position" are -1.
// Text is single-byte code page 1252.
#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace qm {

using ByteBlock = std::vector<uint8_t>;

// What one edit did, in the coordinates of the data before it: at `pos`,
// `removed` bytes were replaced by `inserted` bytes. Several hunks come from
// replace-all. `reset` means the whole block was replaced (load, undo of a
// replace-all, size change after load) and views should redraw everything.
struct HexChange {
    int64_t pos = 0;
    int64_t removed = 0;
    int64_t inserted = 0;
    bool reset = false;
    // Only the changed marks were cleared (mark unmodified); no byte moved.
    bool marksOnly = false;
};

class HexModel {
  public:
    HexModel();

    // --- Content -----------------------------------------------------------
    // Loading replaces the block, clears undo, the changed marks and the
    // modified flag, and puts the caret at 0.
    void load(const uint8_t* data, size_t size);
    void load(const ByteBlock& data) { load(data.data(), data.size()); }
    bool loadFile(const std::string& path);
    // Saving marks the model unmodified when it succeeds.
    ByteBlock save();
    bool saveFile(const std::string& path);
    // Text of the last failure of loadFile/saveFile or a refused edit.
    const std::string& lastError() const { return lastError_; }

    const ByteBlock& bytes() const { return data_; }
    const uint8_t* data() const { return data_.data(); }
    int64_t size() const { return static_cast<int64_t>(data_.size()); }
    uint8_t at(int64_t pos) const { return data_[static_cast<size_t>(pos)]; }

    // Growing appends zero bytes, shrinking cuts the tail. Refused in
    // fixed-size mode. Undoable.
    bool setDataSize(int64_t newSize);

    // A fixed-size block keeps its length: no insert, no delete, no resize.
    void setFixedSize(bool on) { fixedSize_ = on; }
    bool fixedSize() const { return fixedSize_; }

    // --- Modified state and changed bytes ----------------------------------
    bool isModified() const { return undoPos_ != cleanPos_; }
    // Clears the modified flag and the changed marks (the current content is
    // now the reference, e.g. after the owner wrote it to the drive).
    void markUnmodified();
    bool isChanged(int64_t pos) const {
        return pos >= 0 && static_cast<size_t>(pos) < changed_.size() &&
               changed_[static_cast<size_t>(pos)] != 0;
    }
    int64_t changedCount() const;

    // --- Edits (all undoable, all notify) ----------------------------------
    // Overwrite bytes at pos; writing past the end grows the block unless the
    // size is fixed, in which case the whole write is refused.
    bool write(int64_t pos, const uint8_t* bytes, size_t n);
    bool write(int64_t pos, const ByteBlock& b) { return write(pos, b.data(), b.size()); }
    bool insert(int64_t pos, const uint8_t* bytes, size_t n);
    bool insert(int64_t pos, const ByteBlock& b) { return insert(pos, b.data(), b.size()); }
    bool remove(int64_t pos, int64_t n);
    // Overwrites the byte at pos. When the newest undo step put that very
    // byte (the first digit typed into it), the byte is amended in that step,
    // so a byte typed as two hex digits undoes in one step.
    bool amendByte(int64_t pos, uint8_t value);
    // Replace [pos, pos+n) by `bytes`. In fixed-size mode only an equal length
    // is accepted.
    bool replace(int64_t pos, int64_t n, const uint8_t* bytes, size_t len);

    bool canUndo() const { return undoPos_ > 0; }
    bool canRedo() const { return undoPos_ < undo_.size(); }
    bool undo();
    bool redo();
    size_t undoDepth() const { return undoPos_; }

    // --- Caret and selection -----------------------------------------------
    // The caret may rest on the append slot (== size) while editing a block
    // that can grow; cursorPosition() reports it clamped to 0 .. size-1.
    int64_t cursorPosition() const;
    int64_t caret() const { return caret_; }
    void setCursorPosition(int64_t pos);
    // Moves the caret to pos, which may be the append slot when the block can
    // grow. With `extend`, the selection runs from the anchor to the caret.
    void moveCaret(int64_t pos, bool extend);

    // The selection is inclusive: [selectionStart() .. selectionEnd()].
    // With nothing selected, start == cursor, end == start - 1, length 0.
    bool hasSelection() const { return selActive_; }
    int64_t selectionStart() const;
    int64_t selectionEnd() const;
    int64_t selectionLength() const;
    // Collapses the selection at pos and moves the caret there.
    void setSelectionStart(int64_t pos);
    // Selects from the selection start through pos (inclusive) and puts the
    // caret on pos.
    void setSelectionEnd(int64_t pos);
    void selectAll();
    void clearSelection();
    ByteBlock selectedBytes() const;
    bool replaceSelection(const ByteBlock& bytes);
    bool deleteSelection();

    // --- Display and conversion settings -----------------------------------
    // Bytes grouped into one unit in the hex column and in hex text: 1, 2, 4 or 8.
    bool setBytesPerUnit(int n);
    int bytesPerUnit() const { return bytesPerUnit_; }
    // Show and type each byte low nibble first ("21" for 0x12).
    void setSwapNibbles(bool on) { swapNibbles_ = on; }
    bool swapNibbles() const { return swapNibbles_; }
    // Show text as UTF-16LE: search text is widened to 16-bit characters.
    void setUnicode(bool on) { unicode_ = on; }
    bool unicode() const { return unicode_; }

    // Character translation: the character (code page 1252) shown for each
    // byte in the character column. The default is the identity. Typing and
    // search text go through the inverse; a character without a byte cannot
    // be translated.
    void setCharTranslation(const std::array<uint8_t, 256>& byteToChar);
    uint8_t charOfByte(uint8_t b) const { return byteToChar_[b]; }
    // -1 when no byte shows as `c`.
    int byteOfChar(uint8_t c) const { return charToByte_[c]; }

    // Search text to search bytes: lower-cased when case is ignored, then
    // translated, then widened to UTF-16LE in Unicode mode. Returns an empty
    // block when the text is empty or a character has no byte.
    ByteBlock textToBytes(std::string_view text, bool ignoreCase) const;

    // Hex text of bytes as shown: nibbles swapped if set, a space between units.
    std::string toHexText(const uint8_t* bytes, size_t n) const;
    std::string toHexText(const ByteBlock& b) const { return toHexText(b.data(), b.size()); }
    // Parses hex text as typed under the current settings. Blanks are ignored,
    // a "0x" before a group is accepted. False on any other character or an
    // odd digit count.
    bool fromHexText(std::string_view text, ByteBlock& out) const;

    // --- Search -------------------------------------------------------------
    // First match starting at or after `from` that lies wholly within
    // [from, to) (to is clamped to the size). -1 when none or needle empty.
    int64_t find(const ByteBlock& needle, int64_t from, int64_t to, bool ignoreCase) const;
    // The same search over bytes the model does not hold.
    static int64_t findIn(const uint8_t* data, int64_t size, const ByteBlock& needle, int64_t from,
                          int64_t to, bool ignoreCase);
    // Replaces every non-overlapping match, left to right, in one pass over
    // the data. One undo step. Returns the count of replacements; 0 with
    // lastError() set when fixed-size mode forbids a change of length.
    int64_t replaceAll(const ByteBlock& needle, const ByteBlock& replacement, bool ignoreCase);

    // Unicode of a code page 1252 byte.
    static char16_t toUnicode(uint8_t b);

    // Case folding of code page 1252 (A-Z, accented capitals, Š Œ Ž Ÿ).
    static uint8_t foldCase(uint8_t b) { return kFold[b]; }

    // --- Notification --------------------------------------------------------
    using ChangeListener = std::function<void(const HexChange&)>;
    using CaretListener = std::function<void()>;
    void setChangeListener(ChangeListener l) { onChange_ = std::move(l); }
    void setCaretListener(CaretListener l) { onCaret_ = std::move(l); }

  private:
    static const std::array<uint8_t, 256> kFold;

    // One undo step: at each position (coordinates before the edit) `removedLen`
    // bytes were replaced by the same `inserted` bytes, except that single
    // edits keep their own removed bytes. `removed` holds every hunk's removed
    // bytes back to back; `removedMarks` their changed marks (empty when none
    // was marked).
    struct Edit {
        std::vector<int64_t> pos;
        int64_t removedLen = 0;
        ByteBlock removed;
        ByteBlock removedMarks;
        ByteBlock inserted;
        int64_t caretBefore = 0;
        int64_t caretAfter = 0;
        uint64_t generation = 0;
    };

    bool commit(Edit e);
    void applyForward(const Edit& e);
    void applyBackward(const Edit& e);
    void splice(const std::vector<int64_t>& pos, int64_t cutLen, int64_t putLen,
                const std::function<const uint8_t*(size_t)>& putBytes,
                const std::function<const uint8_t*(size_t)>& putMarks, bool markNew);
    void ensureMarks();
    void notify(const HexChange& c) const;
    void caretMoved() const;
    bool refuse(const char* why);
    static int64_t findFolded(const uint8_t* base, const uint8_t* needle, size_t n, int64_t from,
                              int64_t to);

    ByteBlock data_;
    ByteBlock changed_;  // one byte per data byte, or empty when nothing is marked
    std::vector<Edit> undo_;
    size_t undoPos_ = 0;
    size_t cleanPos_ = 0;
    uint64_t generation_ = 0;  // bumped by markUnmodified

    int64_t caret_ = 0;
    int64_t anchor_ = 0;
    bool selActive_ = false;

    bool fixedSize_ = false;
    int bytesPerUnit_ = 1;
    bool swapNibbles_ = false;
    bool unicode_ = false;
    std::array<uint8_t, 256> byteToChar_{};
    std::array<int, 256> charToByte_{};

    std::string lastError_;
    ChangeListener onChange_;
    CaretListener onCaret_;
};

}  // namespace qm
