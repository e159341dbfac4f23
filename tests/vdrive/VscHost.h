#pragma once
// Talks to a VirtualDrive the way a host does on the wire: ATA commands
// through Execute, nothing else.
#include <algorithm>
#include <cstdint>
#include <functional>
#include <initializer_list>
#include <vector>

#include "common/Bytes.h"
#include "vdrive/VirtualDrive.h"

namespace qm::test {

inline TaskFile SmartLog(uint8_t features, uint8_t log, uint8_t count) {
    TaskFile tf;
    tf.command = 0xB0;
    tf.features = features;
    tf.sectorCount = count;
    tf.lbaLow = log;
    tf.lbaMid = 0x4F;
    tf.lbaHigh = 0xC2;
    return tf;
}

inline TaskFile VscEnable(uint8_t features = 0x45) {
    TaskFile tf;
    tf.command = 0x80;
    tf.features = features;
    tf.lbaMid = 0x44;
    tf.lbaHigh = 0x57;
    return tf;
}

struct FakeClock {
    int64_t now = 1'000'000'000;
    std::function<int64_t()> Fn() {
        return [this] { return now; };
    }
    void AdvanceMs(int64_t ms) { now += ms * 1'000'000; }
};

class VscHost {
  public:
    explicit VscHost(VirtualDrive& d) : d_(d) {}

    bool Enable() { return !d_.Execute(VscEnable()).Failed(); }
    // Key sector from words; extra bytes go from byte 4 on when given.
    AtaReply Key(std::initializer_list<uint16_t> words, const std::vector<uint8_t>& tail = {}) {
        std::vector<uint8_t> key(512, 0);
        size_t i = 0;
        for (uint16_t w : words) PutU16(key.data() + 2 * i++, w);
        for (size_t k = 0; k < tail.size(); ++k) key[4 + k] = tail[k];
        return d_.Execute(SmartLog(0xD6, 0xBE, 1), key);
    }
    std::vector<uint8_t> Status() {
        const AtaReply r = d_.Execute(SmartLog(0xD5, 0xBE, 1));
        return r.Failed() ? std::vector<uint8_t>() : r.data;
    }
    uint16_t Word() {
        const auto s = Status();
        return s.size() == 512 ? GetU16(s.data() + 24) : 0xDEAD;
    }
    uint32_t Returned() {
        const auto s = Status();
        return s.size() == 512 ? GetU32(s.data() + 26) : 0xDEADBEEF;
    }
    AtaReply Read(uint8_t n) { return d_.Execute(SmartLog(0xD5, 0xBF, n)); }
    AtaReply Write(uint8_t n, const uint8_t* bytes) {
        return d_.Execute(SmartLog(0xD6, 0xBF, n),
                          std::span<const uint8_t>(bytes, static_cast<size_t>(n) * 512));
    }
    // The whole module read sequence, chunks of at most 128 sectors.
    bool ReadModule(uint16_t id, std::vector<uint8_t>& image) {
        image.clear();
        if (!Enable()) return false;
        Key({0x08, 1, id});
        if (Word() != 0 && Word() != 0x3603) return false;
        uint32_t left = Returned();
        while (left) {
            const uint8_t chunk = static_cast<uint8_t>(std::min<uint32_t>(left, 128));
            const AtaReply r = Read(chunk);
            image.insert(image.end(), r.data.begin(), r.data.end());
            left -= chunk;
        }
        return Word() == 0;
    }
    bool WriteModule(uint16_t id, const std::vector<uint8_t>& image) {
        if (!Enable()) return false;
        Key({0x08, 2, id});
        if (Word() != 0) return false;
        uint32_t left = Returned();
        size_t at = 0;
        while (left) {
            const uint8_t chunk = static_cast<uint8_t>(std::min<uint32_t>(left, 128));
            std::vector<uint8_t> buf(chunk * 512u, 0);
            for (size_t i = 0; i < buf.size() && at + i < image.size(); ++i) buf[i] = image[at + i];
            Write(chunk, buf.data());
            at += buf.size();
            left -= chunk;
        }
        return Word() == 0;
    }
    bool ReadTable(uint16_t id, uint16_t param, std::vector<uint8_t>& out) {
        out.clear();
        if (!Enable()) return false;
        Key({0x0D, id, param});
        if (Word() != 0) return false;
        for (uint32_t n = Returned(); n; --n) {
            const AtaReply r = Read(1);
            out.insert(out.end(), r.data.begin(), r.data.end());
        }
        return Word() == 0;
    }

  private:
    VirtualDrive& d_;
};

}  // namespace qm::test
