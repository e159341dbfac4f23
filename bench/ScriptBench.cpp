// The self-scan script on crafted large modules.
//
// S1: a 16 MiB ROYL script module (123 361 steps) parsed with its
//     descriptions, written back and checksummed, against the time the same
//     16 MiB take on the wire in PIO mode 4 (16.6 MB/s). Goal: ratio <= 0.10.
// S2: the list-wide commands (clear every log, gotos to END, Upgrade with a
//     tenth of the rows deleted, a text import) on N and 2N rows in the same
//     run. Goal: time(2N) / time(N) <= 2.5 at N = 50 000.
#include <benchmark/benchmark.h>

#include <chrono>
#include <cstring>
#include <functional>
#include <string>

#include "common/Bytes.h"
#include "common/ScriptedHost.h"
#include "common/Workbench.h"
#include "script/ScriptEditor.h"
#include "script/ScriptText.h"
#include "vendor/Modules.h"

namespace {

using namespace qm;
using Clock = std::chrono::steady_clock;

constexpr double kPio4BytesPerSecond = 16.6e6;

// Test ids of a real script, with a few hundred others among them.
uint16_t IdOf(size_t i) {
    static const uint16_t ids[] = {0x3307, 0x1010, 0xB1,   0xD8,   0xA1,   0xA2,   0xA8,
                                   0xAA,   0xC3,   0xC4,   0xC8,   0x1420, 0x2401, 0x2402,
                                   0x2405, 0x2800, 0x2802, 0x2900, 0x2903, 0x290B, 0x2A00,
                                   0x2B00, 0x3300, 0x3421, 0xD1,   0xD2,   0xD5,   0xB9};
    if (i % 7 == 3) return static_cast<uint16_t>(0x2400 + i % 512);
    if (i % 11 == 5) return static_cast<uint16_t>(0x8000 + i % 64);
    return ids[i % std::size(ids)];
}

ModuleImage ScriptModule(size_t sectors, size_t steps, size_t endEvery = 0) {
    ModuleImage m(sectors * 512, 0);
    std::memcpy(m.data(), "ROYL", 4);
    PutU16(m.data() + 6, 0x30);
    PutU16(m.data() + 8, 0x28);
    PutU16(m.data() + 0x30, 1);
    PutU16(m.data() + 0x32, 0x88);
    const size_t room = (m.size() - 0x38) / 0x88;
    for (size_t i = 0; i < steps && i < room; ++i) {
        uint8_t* r = m.data() + 0x38 + 0x88 * i;
        PutU16(r, endEvery && i % endEvery == endEvery - 1 ? 0xDC : IdOf(i));
        PutU16(r + 2, 1);
        PutU32(r + 4, static_cast<uint32_t>(i));
        PutU16(r + 0x48, static_cast<uint16_t>(i + 2));
        PutU16(r + 0x4A, static_cast<uint16_t>(i % 3));
        PutU16(r + 0x4C, 0xFFFF);
        PutU16(r + 0x68, static_cast<uint16_t>(i % 5 ? 0 : 0x7611));
    }
    FixModuleChecksum(m);
    return m;
}

struct Bench {
    ScriptedHost host;
    Workbench wb{host};
    Bench() { wb.programFolder = QM_DATA_DIR; }
};

double Ms(Clock::time_point a, Clock::time_point b) {
    return std::chrono::duration<double, std::milli>(b - a).count();
}

void BM_ScriptParseWrite16MiB(benchmark::State& state) {
    Bench b;
    const ModuleImage module = ScriptModule(32768, 200000);
    double total = 0;
    size_t steps = 0;
    for (auto _ : state) {
        ScriptEditor ed(b.wb);
        ed.buffer = module;
        std::string why;
        const auto t0 = Clock::now();
        ed.Parse(why);
        ed.Serialize();
        FixModuleChecksum(ed.buffer);
        const auto t1 = Clock::now();
        benchmark::DoNotOptimize(ed.buffer.data());
        total += Ms(t0, t1);
        steps = ed.steps.size();
    }
    const double ms = total / static_cast<double>(state.iterations());
    const double wireMs = static_cast<double>(module.size()) / kPio4BytesPerSecond * 1e3;
    state.counters["script_ms"] = ms;
    state.counters["pio4_wire_ms"] = wireMs;
    state.counters["ratio"] = ms / wireMs;  // goal: at most 0.10
    state.SetLabel(std::to_string(steps) + " steps; parse + describe + write back + checksum");
}
BENCHMARK(BM_ScriptParseWrite16MiB)->Unit(benchmark::kMillisecond)->MinTime(2.0);

// Time of one command on an editor of n rows (the editor built outside the clock).
double TimeOn(size_t n, size_t endEvery, const std::function<void(ScriptEditor&)>& command) {
    Bench b;
    ScriptEditor ed(b.wb);
    ed.buffer = ScriptModule((0x38 + 0x88 * n) / 512 + 1, n, endEvery);
    std::string why;
    ed.Parse(why);
    const auto t0 = Clock::now();
    command(ed);
    const auto t1 = Clock::now();
    benchmark::DoNotOptimize(ed.steps.data());
    return Ms(t0, t1);
}

void Linear(benchmark::State& state, size_t endEvery,
            const std::function<void(ScriptEditor&)>& command) {
    constexpr size_t n = 50000;
    double once = 0, twice = 0;
    for (auto _ : state) {
        once += TimeOn(n, endEvery, command);
        twice += TimeOn(2 * n, endEvery, command);
    }
    const double it = static_cast<double>(state.iterations());
    state.counters["N_ms"] = once / it;
    state.counters["2N_ms"] = twice / it;
    state.counters["ratio"] = twice / once;  // goal: at most 2.5
}

void BM_ClearScriptLog(benchmark::State& state) {
    Linear(state, 0, [](ScriptEditor& ed) { ed.ClearScriptLog(); });
}
void BM_GotosToEnd(benchmark::State& state) {
    Linear(state, 0, [](ScriptEditor& ed) { ed.SetGotosToEnd(); });
}
void BM_UpgradeDeletingATenth(benchmark::State& state) {
    Linear(state, 10, [](ScriptEditor& ed) { ed.Upgrade(); });
}
void BM_TextImport(benchmark::State& state) {
    Linear(state, 0, [](ScriptEditor& ed) {
        std::string text;
        for (size_t i = 0; i < ed.steps.size(); ++i)
            text += "2401,1,340012,,5,0,0,0,0,0,0,0,0,0,0,0,0,0,2\r\n";
        ed.Clear();
        ImportTextScript(ed, text);
    });
}
BENCHMARK(BM_ClearScriptLog)->Unit(benchmark::kMillisecond)->MinTime(1.0);
BENCHMARK(BM_GotosToEnd)->Unit(benchmark::kMillisecond)->MinTime(1.0);
BENCHMARK(BM_UpgradeDeletingATenth)->Unit(benchmark::kMillisecond)->MinTime(1.0);
BENCHMARK(BM_TextImport)->Unit(benchmark::kMillisecond)->MinTime(1.0);

}  // namespace
