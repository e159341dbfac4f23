#pragma once
// A PortIo that records every access and answers reads from scripted values,
// for checking register write orders and wait behaviour without a drive.
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <vector>

#include "drive/PortIo.h"

namespace qm::test {

struct PortAccess {
    enum Kind { ReadByte, ReadWord, WriteByte, WriteWord } kind;
    uint16_t port;
    uint16_t value;
    bool operator==(const PortAccess&) const = default;
};

class RecordingPortIo : public PortIo {
  public:
    std::vector<PortAccess> log;
    // Per-port queues of byte values to answer; when a queue is empty the
    // port's sticky value answers (default 0xFF).
    std::map<uint16_t, std::deque<uint8_t>> byteAnswers;
    std::map<uint16_t, uint8_t> sticky;
    uint16_t wordAnswer = 0;
    std::function<void(uint16_t port)> onRead;

    bool InitializeOls() override { return true; }
    uint8_t ReadIoPortByte(uint16_t port) override {
        if (onRead) onRead(port);
        uint8_t v = sticky.count(port) ? sticky[port] : 0xFF;
        auto it = byteAnswers.find(port);
        if (it != byteAnswers.end() && !it->second.empty()) {
            v = it->second.front();
            it->second.pop_front();
        }
        log.push_back({PortAccess::ReadByte, port, v});
        return v;
    }
    uint16_t ReadIoPortWord(uint16_t port) override {
        if (onRead) onRead(port);
        log.push_back({PortAccess::ReadWord, port, wordAnswer});
        return wordAnswer++;
    }
    void WriteIoPortByte(uint16_t port, uint8_t value) override {
        log.push_back({PortAccess::WriteByte, port, value});
    }
    void WriteIoPortWord(uint16_t port, uint16_t value) override {
        log.push_back({PortAccess::WriteWord, port, value});
    }
    uint32_t ReadPciConfigDword(uint32_t, uint8_t) override { return 0xFFFFFFFF; }

    std::vector<PortAccess> Writes() const {
        std::vector<PortAccess> w;
        for (const PortAccess& a : log)
            if (a.kind == PortAccess::WriteByte || a.kind == PortAccess::WriteWord) w.push_back(a);
        return w;
    }
    size_t CountReads(uint16_t port) const {
        size_t n = 0;
        for (const PortAccess& a : log)
            if ((a.kind == PortAccess::ReadByte || a.kind == PortAccess::ReadWord) &&
                a.port == port)
                ++n;
        return n;
    }
};

}  // namespace qm::test
