#include "hexview/HexModel.h"

#include <algorithm>
#include <cstring>

#include "common/Cp1252.h"
#include "common/Files.h"

namespace qm {

namespace {

std::array<uint8_t, 256> MakeFold() {
    std::array<uint8_t, 256> t{};
    for (int i = 0; i < 256; ++i) t[i] = static_cast<uint8_t>(i);
    for (int c = 'A'; c <= 'Z'; ++c) t[c] = static_cast<uint8_t>(c + 0x20);
    // Latin capitals with grave .. thorn, except the multiplication sign.
    for (int c = 0xC0; c <= 0xDE; ++c)
        if (c != 0xD7) t[c] = static_cast<uint8_t>(c + 0x20);
    t[0x8A] = 0x9A;  // S caron
    t[0x8C] = 0x9C;  // OE
    t[0x8E] = 0x9E;  // Z caron
    t[0x9F] = 0xFF;  // Y diaeresis
    return t;
}

int HexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

}  // namespace

const std::array<uint8_t, 256> HexModel::kFold = MakeFold();

char16_t HexModel::toUnicode(uint8_t b) {
    return Cp1252ToUnicode(b);
}

HexModel::HexModel() {
    std::array<uint8_t, 256> identity{};
    for (int i = 0; i < 256; ++i) identity[i] = static_cast<uint8_t>(i);
    setCharTranslation(identity);
}

// ---------------------------------------------------------------- content

void HexModel::load(const uint8_t* data, size_t n) {
    if (n == 0 || data == nullptr)
        data_.clear();
    else
        data_.assign(data, data + n);
    data_.shrink_to_fit();
    changed_.clear();
    changed_.shrink_to_fit();
    undo_.clear();
    undoPos_ = cleanPos_ = 0;
    caret_ = anchor_ = 0;
    selActive_ = false;
    lastError_.clear();
    notify(HexChange{0, 0, size(), true});
    caretMoved();
}

bool HexModel::loadFile(const std::string& path) {
    // A regular file of at most the largest module: a FIFO or a device is
    // refused instead of read for ever.
    ByteBlock buf;
    std::string error;
    if (!ReadFileBytes(path, buf, error)) {
        lastError_ = "Cannot read " + error;
        return false;
    }
    load(buf);
    return true;
}

ByteBlock HexModel::save() {
    markUnmodified();
    return data_;
}

bool HexModel::saveFile(const std::string& path) {
    std::string error;
    if (!WriteFileAtomic(path, data_, error)) {
        lastError_ = "Cannot write " + error;
        return false;
    }
    markUnmodified();
    return true;
}

bool HexModel::setDataSize(int64_t newSize) {
    if (newSize < 0) return refuse("Negative size");
    if (newSize == size()) return true;
    if (fixedSize_) return refuse("The block has a fixed size");
    if (newSize > size()) {
        ByteBlock zeros(static_cast<size_t>(newSize - size()), 0);
        return replace(size(), 0, zeros.data(), zeros.size());
    }
    return replace(newSize, size() - newSize, nullptr, 0);
}

// ---------------------------------------------------------------- marks

void HexModel::markUnmodified() {
    cleanPos_ = undoPos_;
    ++generation_;
    bool hadMarks = !changed_.empty();
    changed_.clear();
    changed_.shrink_to_fit();
    if (hadMarks) notify(HexChange{0, 0, 0, true, true});
}

int64_t HexModel::changedCount() const {
    return static_cast<int64_t>(std::count(changed_.begin(), changed_.end(), uint8_t{1}));
}

void HexModel::ensureMarks() {
    if (changed_.size() != data_.size()) changed_.assign(data_.size(), 0);
}

// ---------------------------------------------------------------- edits

bool HexModel::refuse(const char* why) {
    lastError_ = why;
    return false;
}

bool HexModel::write(int64_t pos, const uint8_t* bytes, size_t n) {
    if (pos < 0 || pos > size()) return refuse("Position outside the data");
    int64_t over = std::min<int64_t>(static_cast<int64_t>(n), size() - pos);
    return replace(pos, over, bytes, n);
}

bool HexModel::insert(int64_t pos, const uint8_t* bytes, size_t n) {
    return replace(pos, 0, bytes, n);
}

bool HexModel::remove(int64_t pos, int64_t n) {
    return replace(pos, n, nullptr, 0);
}

bool HexModel::amendByte(int64_t pos, uint8_t value) {
    // Only the newest step, not yet saved, and only if it put this one byte.
    const bool amendable = undoPos_ > 0 && undoPos_ == undo_.size() && cleanPos_ != undoPos_ &&
                           undo_.back().pos.size() == 1 && undo_.back().pos[0] == pos &&
                           undo_.back().inserted.size() == 1 && pos < size();
    if (!amendable) return write(pos, &value, 1);
    undo_.back().inserted[0] = value;
    data_[static_cast<size_t>(pos)] = value;
    notify(HexChange{pos, 1, 1, false});
    return true;
}

bool HexModel::replace(int64_t pos, int64_t n, const uint8_t* bytes, size_t len) {
    if (pos < 0 || n < 0 || pos > size() || n > size() - pos)
        return refuse("Range outside the data");
    if (len > 0 && bytes == nullptr) return refuse("No bytes");
    if (fixedSize_ && static_cast<int64_t>(len) != n) return refuse("The block has a fixed size");
    if (n == 0 && len == 0) return true;
    Edit e;
    e.pos.push_back(pos);
    e.removedLen = n;
    e.removed.assign(data_.begin() + pos, data_.begin() + pos + n);
    if (!changed_.empty())
        e.removedMarks.assign(changed_.begin() + pos, changed_.begin() + pos + n);
    if (len) e.inserted.assign(bytes, bytes + len);
    e.caretBefore = caret_;
    e.caretAfter = pos + static_cast<int64_t>(len);
    return commit(std::move(e));
}

bool HexModel::commit(Edit e) {
    e.generation = generation_;
    undo_.resize(undoPos_);                          // a new edit drops the redo branch
    if (cleanPos_ > undoPos_) cleanPos_ = SIZE_MAX;  // the saved state is gone
    // The step counts before listeners hear of it, so they see the new
    // modified state.
    undo_.push_back(std::move(e));
    ++undoPos_;
    applyForward(undo_.back());
    return true;
}

bool HexModel::undo() {
    if (!canUndo()) return false;
    --undoPos_;
    applyBackward(undo_[undoPos_]);
    return true;
}

bool HexModel::redo() {
    if (!canRedo()) return false;
    ++undoPos_;
    applyForward(undo_[undoPos_ - 1]);
    return true;
}

void HexModel::applyForward(const Edit& e) {
    const int64_t ins = static_cast<int64_t>(e.inserted.size());
    splice(
        e.pos, e.removedLen, ins, [&](size_t) { return e.inserted.data(); },
        [](size_t) -> const uint8_t* { return nullptr; }, true);
    moveCaret(e.caretAfter, false);
    if (e.pos.size() == 1)
        notify(HexChange{e.pos[0], e.removedLen, ins, false});
    else
        notify(HexChange{0, 0, size(), true});
}

void HexModel::applyBackward(const Edit& e) {
    const int64_t ins = static_cast<int64_t>(e.inserted.size());
    std::vector<int64_t> now(e.pos.size());
    for (size_t i = 0; i < e.pos.size(); ++i)
        now[i] = e.pos[i] + static_cast<int64_t>(i) * (ins - e.removedLen);
    // Bytes restored by an edit older than the last "mark unmodified" differ
    // from the reference content, so they show as changed.
    const bool older = e.generation < generation_;
    splice(
        now, ins, e.removedLen,
        [&](size_t i) { return e.removed.data() + i * static_cast<size_t>(e.removedLen); },
        [&](size_t i) -> const uint8_t* {
            if (older || e.removedMarks.empty()) return nullptr;
            return e.removedMarks.data() + i * static_cast<size_t>(e.removedLen);
        },
        older);
    moveCaret(e.caretBefore, false);
    if (e.pos.size() == 1)
        notify(HexChange{now[0], ins, e.removedLen, false});
    else
        notify(HexChange{0, 0, size(), true});
}

// Replaces `cutLen` bytes at each (sorted, non-overlapping) position by
// `putLen` bytes. A single hunk edits in place; several hunks build the new
// block in one pass. The changed marks of put bytes come from putMarks(i), or
// are all `markNew` when it gives nullptr.
void HexModel::splice(const std::vector<int64_t>& pos, int64_t cutLen, int64_t putLen,
                      const std::function<const uint8_t*(size_t)>& putBytes,
                      const std::function<const uint8_t*(size_t)>& putMarks, bool markNew) {
    if (pos.empty()) return;
    const size_t cut = static_cast<size_t>(cutLen);
    const size_t put = static_cast<size_t>(putLen);
    const bool hadMarks = !changed_.empty();
    const bool needMarks = hadMarks || (put > 0 && (markNew || putMarks(0) != nullptr));
    auto fillMarks = [&](uint8_t* dst, size_t i) {
        const uint8_t* m = putMarks(i);
        if (m)
            std::memcpy(dst, m, put);
        else
            std::memset(dst, markNew ? 1 : 0, put);
    };

    if (pos.size() == 1) {
        if (needMarks) ensureMarks();
        const size_t p = static_cast<size_t>(pos[0]);
        const uint8_t* src = putBytes(0);
        if (cut != put) {
            if (cut > put) {
                data_.erase(data_.begin() + p + put, data_.begin() + p + cut);
            } else {
                data_.insert(data_.begin() + p + cut, put - cut, 0);
            }
            if (!changed_.empty()) {
                if (cut > put)
                    changed_.erase(changed_.begin() + p + put, changed_.begin() + p + cut);
                else
                    changed_.insert(changed_.begin() + p + cut, put - cut, 0);
            }
        }
        if (put) std::memcpy(data_.data() + p, src, put);
        if (!changed_.empty() && put) fillMarks(changed_.data() + p, 0);
        return;
    }

    // Several hunks: one pass appending the kept runs and the put bytes to a
    // new block (appending copies without zero-filling first). Marks that did
    // not exist before start out as a zeroed block with only the hunks set.
    const size_t k = pos.size();
    const size_t newSize = data_.size() - k * cut + k * put;
    ByteBlock out;
    out.reserve(newSize);
    ByteBlock outMarks;
    if (needMarks) outMarks.resize(newSize);
    size_t src = 0;
    for (size_t i = 0; i < k; ++i) {
        const size_t p = static_cast<size_t>(pos[i]);
        if (hadMarks) std::memcpy(outMarks.data() + out.size(), changed_.data() + src, p - src);
        out.insert(out.end(), data_.begin() + src, data_.begin() + p);
        if (put) {
            if (needMarks) fillMarks(outMarks.data() + out.size(), i);
            const uint8_t* b = putBytes(i);
            out.insert(out.end(), b, b + put);
        }
        src = p + cut;
    }
    if (hadMarks)
        std::memcpy(outMarks.data() + out.size(), changed_.data() + src, data_.size() - src);
    out.insert(out.end(), data_.begin() + src, data_.end());
    data_.swap(out);
    changed_.swap(outMarks);
}

// ---------------------------------------------------------------- caret

int64_t HexModel::cursorPosition() const {
    if (data_.empty()) return 0;
    return std::min(caret_, size() - 1);
}

void HexModel::setCursorPosition(int64_t pos) {
    int64_t last = data_.empty() ? 0 : size() - 1;
    pos = std::clamp<int64_t>(pos, 0, last);
    caret_ = anchor_ = pos;
    selActive_ = false;
    caretMoved();
}

void HexModel::moveCaret(int64_t pos, bool extend) {
    int64_t last = fixedSize_ ? std::max<int64_t>(size() - 1, 0) : size();
    pos = std::clamp<int64_t>(pos, 0, last);
    if (extend) {
        if (!selActive_) anchor_ = cursorPosition();
        selActive_ = true;
    } else {
        selActive_ = false;
        anchor_ = pos;
    }
    caret_ = pos;
    caretMoved();
}

int64_t HexModel::selectionStart() const {
    if (!selActive_) return cursorPosition();
    return std::min(anchor_, cursorPosition());
}

int64_t HexModel::selectionEnd() const {
    if (!selActive_) return cursorPosition() - 1;
    return std::max(anchor_, cursorPosition());
}

int64_t HexModel::selectionLength() const {
    if (!selActive_ || data_.empty()) return 0;
    return selectionEnd() - selectionStart() + 1;
}

void HexModel::setSelectionStart(int64_t pos) {
    setCursorPosition(pos);
}

void HexModel::setSelectionEnd(int64_t pos) {
    if (data_.empty()) return;
    int64_t start = selectionStart();
    pos = std::clamp<int64_t>(pos, 0, size() - 1);
    anchor_ = start;
    caret_ = pos;
    selActive_ = true;
    caretMoved();
}

void HexModel::selectAll() {
    if (data_.empty()) return;
    anchor_ = 0;
    caret_ = size() - 1;
    selActive_ = true;
    caretMoved();
}

void HexModel::clearSelection() {
    if (!selActive_) return;
    selActive_ = false;
    anchor_ = caret_;
    caretMoved();
}

ByteBlock HexModel::selectedBytes() const {
    int64_t n = selectionLength();
    if (n <= 0) return {};
    auto b = data_.begin() + selectionStart();
    return ByteBlock(b, b + n);
}

bool HexModel::replaceSelection(const ByteBlock& bytes) {
    int64_t n = selectionLength();
    int64_t at = n > 0 ? selectionStart() : caret_;
    if (n == 0 && bytes.empty()) return true;
    if (!replace(at, n, bytes.data(), bytes.size())) return false;
    return true;
}

bool HexModel::deleteSelection() {
    int64_t n = selectionLength();
    if (n == 0) return refuse("Nothing selected");
    return replace(selectionStart(), n, nullptr, 0);
}

// ---------------------------------------------------------------- settings

bool HexModel::setBytesPerUnit(int n) {
    if (n != 1 && n != 2 && n != 4 && n != 8) return refuse("Bytes per unit must be 1, 2, 4 or 8");
    bytesPerUnit_ = n;
    return true;
}

void HexModel::setCharTranslation(const std::array<uint8_t, 256>& byteToChar) {
    byteToChar_ = byteToChar;
    charToByte_.fill(-1);
    // The lowest byte showing a character is the one typing it produces.
    for (int b = 255; b >= 0; --b) charToByte_[byteToChar_[b]] = b;
}

ByteBlock HexModel::textToBytes(std::string_view text, bool ignoreCase) const {
    ByteBlock out;
    out.reserve(text.size() * (unicode_ ? 2 : 1));
    for (char ch : text) {
        uint8_t c = static_cast<uint8_t>(ch);
        if (ignoreCase) c = kFold[c];
        int b = charToByte_[c];
        if (b < 0) return {};
        if (unicode_) {
            char16_t u = toUnicode(static_cast<uint8_t>(b));
            out.push_back(static_cast<uint8_t>(u & 0xFF));
            out.push_back(static_cast<uint8_t>(u >> 8));
        } else {
            out.push_back(static_cast<uint8_t>(b));
        }
    }
    return out;
}

std::string HexModel::toHexText(const uint8_t* bytes, size_t n) const {
    static const char kDigits[] = "0123456789ABCDEF";
    std::string s;
    if (n == 0) return s;
    s.reserve(n * 2 + n / static_cast<size_t>(bytesPerUnit_));
    for (size_t i = 0; i < n; ++i) {
        if (i > 0 && i % static_cast<size_t>(bytesPerUnit_) == 0) s.push_back(' ');
        uint8_t b = bytes[i];
        uint8_t first = swapNibbles_ ? (b & 0x0F) : (b >> 4);
        uint8_t second = swapNibbles_ ? (b >> 4) : (b & 0x0F);
        s.push_back(kDigits[first]);
        s.push_back(kDigits[second]);
    }
    return s;
}

bool HexModel::fromHexText(std::string_view text, ByteBlock& out) const {
    out.clear();
    int pending = -1;
    bool groupStart = true;
    for (size_t i = 0; i < text.size(); ++i) {
        char c = text[i];
        if (c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == ',') {
            groupStart = true;
            continue;
        }
        if (groupStart && c == '0' && i + 1 < text.size() &&
            (text[i + 1] == 'x' || text[i + 1] == 'X') && pending < 0) {
            ++i;
            groupStart = false;
            continue;
        }
        groupStart = false;
        int d = HexDigit(c);
        if (d < 0) {
            out.clear();
            return false;
        }
        if (pending < 0) {
            pending = d;
        } else {
            out.push_back(
                static_cast<uint8_t>(swapNibbles_ ? (d << 4) | pending : (pending << 4) | d));
            pending = -1;
        }
    }
    if (pending >= 0) {
        out.clear();
        return false;
    }
    return true;
}

// ---------------------------------------------------------------- search

int64_t HexModel::find(const ByteBlock& needle, int64_t from, int64_t to, bool ignoreCase) const {
    return findIn(data_.data(), size(), needle, from, to, ignoreCase);
}

int64_t HexModel::findIn(const uint8_t* base, int64_t size, const ByteBlock& needle, int64_t from,
                         int64_t to, bool ignoreCase) {
    const size_t n = needle.size();
    if (n == 0) return -1;
    from = std::max<int64_t>(from, 0);
    to = std::min<int64_t>(to, size);
    if (to - from < static_cast<int64_t>(n)) return -1;
    if (ignoreCase) {
        uint8_t folded[256];
        ByteBlock big;
        uint8_t* f = folded;
        if (n > sizeof folded) {
            big.resize(n);
            f = big.data();
        }
        for (size_t i = 0; i < n; ++i) f[i] = kFold[needle[i]];
        return findFolded(base, f, n, from, to);
    }
#ifdef __GLIBC__
    const void* hit = memmem(base + from, static_cast<size_t>(to - from), needle.data(), n);
    return hit ? static_cast<const uint8_t*>(hit) - base : -1;
#else
    auto it = std::search(base + from, base + to, needle.begin(), needle.end());
    return it == base + to ? -1 : it - base;
#endif
}

// Ignore-case search: memchr finds the candidates for both cases of the first
// byte, the rest is compared through the fold table.
int64_t HexModel::findFolded(const uint8_t* base, const uint8_t* needle, size_t n, int64_t from,
                             int64_t to) {
    const uint8_t first = needle[0];
    int other = -1;
    for (int b = 0; b < 256; ++b)
        if (b != first && kFold[b] == first) other = b;
    const uint8_t* const lastStart = base + to - static_cast<int64_t>(n);
    auto next = [&](const uint8_t* p, int c) -> const uint8_t* {
        if (c < 0 || p > lastStart) return nullptr;
        return static_cast<const uint8_t*>(
            std::memchr(p, c, static_cast<size_t>(lastStart - p) + 1));
    };
    const uint8_t* a = next(base + from, first);
    const uint8_t* b = next(base + from, other);
    while (a || b) {
        const uint8_t* p = (a && (!b || a < b)) ? a : b;
        size_t i = 1;
        while (i < n && kFold[p[i]] == needle[i]) ++i;
        if (i == n) return p - base;
        if (p == a)
            a = next(a + 1, first);
        else
            b = next(b + 1, other);
    }
    return -1;
}

int64_t HexModel::replaceAll(const ByteBlock& needle, const ByteBlock& replacement,
                             bool ignoreCase) {
    lastError_.clear();
    if (needle.empty()) {
        refuse("Nothing to find");
        return 0;
    }
    if (fixedSize_ && needle.size() != replacement.size()) {
        refuse("The block has a fixed size");
        return 0;
    }
    const int64_t n = static_cast<int64_t>(needle.size());
    Edit e;
    for (int64_t at = find(needle, 0, size(), ignoreCase); at >= 0;
         at = find(needle, at + n, size(), ignoreCase))
        e.pos.push_back(at);
    if (e.pos.empty()) return 0;
    e.removedLen = n;
    e.removed.resize(e.pos.size() * needle.size());
    const bool marks = !changed_.empty();
    if (marks) e.removedMarks.resize(e.removed.size());
    for (size_t i = 0; i < e.pos.size(); ++i) {
        std::memcpy(e.removed.data() + i * needle.size(), data_.data() + e.pos[i], needle.size());
        if (marks)
            std::memcpy(e.removedMarks.data() + i * needle.size(), changed_.data() + e.pos[i],
                        needle.size());
    }
    e.inserted = replacement;
    e.caretBefore = caret_;
    e.caretAfter = caret_;
    const int64_t count = static_cast<int64_t>(e.pos.size());
    commit(std::move(e));
    return count;
}

// ---------------------------------------------------------------- notify

void HexModel::notify(const HexChange& c) const {
    if (onChange_) onChange_(c);
}

void HexModel::caretMoved() const {
    if (onCaret_) onCaret_();
}

}  // namespace qm
