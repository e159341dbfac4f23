#include "vdrive/DriveBehaviour.h"

#include "common/Format.h"
#include "common/Ini.h"

namespace qm {
namespace {

// A number as drive.ini writes it: decimal, 0x-hex or $-hex.
bool ParseNumber(const std::string& text, long long& value) {
    const std::string t = Trim(text);
    if (t.size() > 2 && t[0] == '0' && (t[1] == 'x' || t[1] == 'X')) {
        unsigned long long u = 0;
        if (!ParseHex(t, u) || u > 0x7FFFFFFFFFFFFFFFULL) return false;
        value = static_cast<long long>(u);
        return true;
    }
    return ParseFieldNumber(t, value);
}

class Reader {
  public:
    Reader(const IniFile& ini, const char* section, std::string& error)
        : ini_(ini), section_(section), error_(error) {}

    // Reads key into value when present; false on a value out of [lo, hi].
    template <typename T>
    bool Get(const std::string& key, T& value, long long lo, long long hi) {
        if (!ini_.Has(section_, key)) return true;
        return Parse(key, ini_.Get(section_, key), value, lo, hi);
    }
    template <typename T>
    bool Parse(const std::string& key, const std::string& text, T& value, long long lo,
               long long hi) {
        long long n = 0;
        if (!ParseNumber(text, n) || n < lo || n > hi) {
            error_ = Format("[%s] %s: not a number from %lld to %lld: %s", section_, key.c_str(),
                            lo, hi, text.c_str());
            return false;
        }
        value = static_cast<T>(n);
        return true;
    }
    // "head,from,to,ms"
    bool Region(const std::string& key, std::vector<SlowRegion>& out) {
        const std::string text = ini_.Get(section_, key);
        long long v[4] = {};
        size_t start = 0;
        for (int i = 0; i < 4; ++i) {
            const size_t comma = text.find(',', start);
            const bool last = i == 3;
            if (last != (comma == std::string::npos) ||
                !ParseNumber(text.substr(start, comma - start), v[i]) || v[i] < 0) {
                error_ = Format("[%s] %s: expected head,from,to,ms: %s", section_, key.c_str(),
                                text.c_str());
                return false;
            }
            start = comma + 1;
        }
        if (v[0] > 255 || v[1] > v[2] || v[2] > 0xFFFFFFFFLL) {
            error_ = Format("[%s] %s: head above 255 or cylinders out of order: %s", section_,
                            key.c_str(), text.c_str());
            return false;
        }
        out.push_back({static_cast<uint8_t>(v[0]), static_cast<uint32_t>(v[1]),
                       static_cast<uint32_t>(v[2]), v[3] * 1'000'000});
        return true;
    }
    std::vector<std::string> Keys() const { return ini_.Keys(section_); }

  private:
    const IniFile& ini_;
    const char* section_;
    std::string& error_;
};

bool StartsWith(const std::string& s, const char* prefix) {
    return ToLower(s).rfind(ToLower(prefix), 0) == 0;
}

}  // namespace

bool ParseDriveBehaviour(const IniFile& ini, DriveTiming& timing, DriveFaults& faults,
                         std::string& error) {
    constexpr long long kDay = 86'400'000;
    Reader t(ini, "Timing", error);
    long long ms = timing.resetNanos / 1'000'000;
    if (!t.Get("ResetMs", ms, 0, kDay)) return false;
    timing.resetNanos = ms * 1'000'000;
    ms = timing.testRunNanos / 1'000'000;
    if (!t.Get("TestRunMs", ms, 0, kDay)) return false;
    timing.testRunNanos = ms * 1'000'000;
    if (!t.Get("Rpm", timing.rpm, 3600, 20000)) return false;
    for (const std::string& key : t.Keys())
        if (StartsWith(key, "SlowRegion") && !t.Region(key, timing.slowRegions)) return false;

    // [Tests] ID=ms[,result]: the id in hex.
    for (const std::string& key : ini.Keys("Tests")) {
        const std::string text = ini.Get("Tests", key);
        unsigned long long id = 0;
        if (!ParseHex(key, id) || id == 0 || id > 0xFFFF) {
            error = "[Tests] " + key + ": the key must be a test id in hexadecimal, 1 to FFFF";
            return false;
        }
        TestRun run;
        const size_t comma = text.find(',');
        long long runMs = 0;
        if (!t.Parse(key, text.substr(0, comma), runMs, 0, kDay)) {
            error = "[Tests] " + key + ": expected ms[,result]: " + text;
            return false;
        }
        run.runNanos = runMs * 1'000'000;
        if (comma != std::string::npos) {
            run.hasResult = true;
            if (!t.Parse(key, text.substr(comma + 1), run.result, 0, 0xFFFF)) {
                error =
                    "[Tests] " + key + ": expected ms[,result] with a result 0 to 0xFFFF: " + text;
                return false;
            }
        }
        timing.tests[static_cast<uint16_t>(id)] = run;
    }

    Reader f(ini, "Faults", error);
    for (const std::string& key : f.Keys()) {
        const std::string value = ini.Get("Faults", key);
        std::map<uint16_t, uint16_t>* map = nullptr;
        std::string id;
        if (StartsWith(key, "ActionStatus.")) {
            map = &faults.actionStatus;
            id = key.substr(13);
        } else if (StartsWith(key, "ModuleStatus.")) {
            map = &faults.moduleStatus;
            id = key.substr(13);
        } else if (StartsWith(key, "ModuleFinalStatus.")) {
            map = &faults.moduleFinalStatus;
            id = key.substr(18);
        } else if (StartsWith(key, "SlowRegion")) {
            if (!f.Region(key, faults.slowRegions)) return false;
            continue;
        } else if (StartsWith(key, "ModuleSectors.")) {
            unsigned long long n = 0;
            if (!ParseHex(key.substr(14), n) || n > 0xFFFF) {
                error = "[Faults] " + key + ": the id after the dot must be hexadecimal, 0 to FFFF";
                return false;
            }
            uint32_t sectors = 0;
            if (!f.Parse(key, value, sectors, 0, 0xFFFF)) return false;
            faults.moduleSectors[static_cast<uint16_t>(n)] = sectors;
            continue;
        }
        if (!map) continue;
        unsigned long long n = 0;
        if (!ParseHex(id, n) || n > 0xFFFF) {
            error = "[Faults] " + key + ": the id after the dot must be hexadecimal, 0 to FFFF";
            return false;
        }
        uint16_t word = 0;
        if (!f.Parse(key, value, word, 0, 0xFFFF)) return false;
        (*map)[static_cast<uint16_t>(n)] = word;
    }
    int stuck = 0;
    if (!f.Get("ErrOnChunk", faults.errOnChunk, 0, 0xFFFFFFFFLL) ||
        !f.Get("ShortChunk", faults.shortChunk, 0, 0xFFFFFFFFLL) ||
        !f.Get("RefuseStatusRead", faults.refuseStatusRead, 0, 0xFFFFFFFFLL) ||
        !f.Get("RemoveAfterChunks", faults.removeAfterChunks, 0, 0xFFFFFFFFLL) ||
        !f.Get("StuckBusy", stuck, 0, 1) ||
        !f.Get("FailDeviceCalls", faults.failDeviceCalls, -1, 0x7FFFFFFF) ||
        !f.Get("TestResult", faults.testResult, 0, 0xFFFF) ||
        !f.Get("TestDbsCode", faults.testDbsCode, 0, 0xFFFFFFFFLL) ||
        !f.Get("TestSecondaryEcode", faults.testSecondaryEcode, 0, 0xFFFF) ||
        !f.Get("FailStatusReads", faults.failStatusReads, 0, 0xFFFFFFFFLL))
        return false;
    faults.stuckBusy = stuck != 0;
    ms = faults.slowNanos / 1'000'000;
    if (!f.Get("SlowMs", ms, 0, kDay)) return false;
    faults.slowNanos = ms * 1'000'000;
    return true;
}

bool ParseStatusSetup(const IniFile& ini, StatusSetup& status, std::string& error) {
    Reader r(ini, "Status", error);
    return r.Get("Power", status.power, 0, 0xFF) &&
           r.Get("IdleBackground", status.idleBackground, 0, 0xFF) &&
           r.Get("SecondaryEcode", status.secondaryEcode, 0, 0xFFFF) &&
           r.Get("InitiatorCode", status.initiatorCode, 0, 0xFFFFFFFFLL) &&
           r.Get("DbsCode", status.dbsCode, 0, 0xFFFFFFFFLL) &&
           r.Get("ServoGroupError", status.servoGroupError, 0, 0xFFFF);
}

}  // namespace qm
