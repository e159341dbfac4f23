#pragma once
// Splits a fuzz input into the bytes a decoder reads and the choices a target
// makes (edits, offsets, flags). Choices are taken from the end, so a seed is
// a real image with a few choice bytes appended and the image itself stays
// the front of the input.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace qm::fuzz {

class FuzzInput {
  public:
    FuzzInput(const uint8_t* data, size_t size) : data_(data), size_(size) {}

    size_t Left() const { return size_; }
    // One choice byte from the end (0 when the input is used up).
    uint8_t Byte() {
        if (size_ == 0) return 0;
        return data_[--size_];
    }
    uint16_t U16() { return static_cast<uint16_t>(Byte() | (Byte() << 8)); }
    uint32_t U32() { return static_cast<uint32_t>(U16()) | (static_cast<uint32_t>(U16()) << 16); }
    bool Bool() { return Byte() & 1; }
    // A value in [0, n) (0 for n == 0).
    uint32_t Below(uint32_t n) { return n ? U16() % n : 0; }
    // Up to `n` bytes from the end, as given.
    std::vector<uint8_t> Tail(size_t n) {
        n = n < size_ ? n : size_;
        std::vector<uint8_t> out(data_ + size_ - n, data_ + size_);
        size_ -= n;
        return out;
    }
    // Whatever is left, from the front.
    std::vector<uint8_t> Rest() {
        std::vector<uint8_t> out(data_, data_ + size_);
        size_ = 0;
        return out;
    }
    std::string RestText() {
        std::string out(reinterpret_cast<const char*>(data_), size_);
        size_ = 0;
        return out;
    }

  private:
    const uint8_t* data_;
    size_t size_;
};

// Copies up to `capacity` bytes of an input into a fixed buffer (the rest
// stays zero).
inline void CopyInto(uint8_t* out, size_t capacity, const uint8_t* data, size_t size) {
    for (size_t i = 0; i < size && i < capacity; ++i) out[i] = data[i];
}

// Parts of an input joined by kPartMark (drive folders: drive.ini, then the
// sector files).
inline constexpr std::string_view kPartMark = "\n--QMPART--\n";

inline std::vector<std::string> SplitParts(const uint8_t* data, size_t size) {
    std::vector<std::string> parts;
    std::string_view all(reinterpret_cast<const char*>(data), size);
    for (;;) {
        const size_t at = all.find(kPartMark);
        parts.emplace_back(all.substr(0, at));
        if (at == std::string_view::npos) break;
        all.remove_prefix(at + kPartMark.size());
    }
    return parts;
}

}  // namespace qm::fuzz
