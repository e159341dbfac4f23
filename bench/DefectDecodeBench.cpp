// Decoding the million-entry P-List image against one memcpy of it.
#include <benchmark/benchmark.h>

#include <chrono>
#include <cstring>

#include "MillionList.h"

namespace {

using namespace qm;
using Clock = std::chrono::steady_clock;

void BM_DecodeMillionEntryList(benchmark::State& state) {
    const DriveContent c = bench::MillionEntryDrive();
    const std::vector<uint8_t>& image = *c.serviceArea.Module(0x33);
    std::vector<uint8_t> copy(image.size());
    std::vector<TDefectEntry> entries;
    DecodeDefectList(image.data(), image.size(), entries);  // warm both buffers
    std::memcpy(copy.data(), image.data(), image.size());
    double decodeNs = 0, copyNs = 0;
    for (auto _ : state) {
        const auto t0 = Clock::now();
        const DefectListHeader h = DecodeDefectList(image.data(), image.size(), entries);
        benchmark::DoNotOptimize(h);
        benchmark::ClobberMemory();
        const auto t1 = Clock::now();
        std::memcpy(copy.data(), image.data(), image.size());
        benchmark::ClobberMemory();
        const auto t2 = Clock::now();
        decodeNs += std::chrono::duration<double, std::nano>(t1 - t0).count();
        copyNs += std::chrono::duration<double, std::nano>(t2 - t1).count();
    }
    const double n = static_cast<double>(state.iterations());
    state.counters["decode_ms"] = decodeNs / n / 1e6;
    state.counters["memcpy_ms"] = copyNs / n / 1e6;
    state.counters["ratio"] = decodeNs / copyNs;  // goal: at most 5
    state.SetLabel("decode / memcpy of " + std::to_string(image.size()) + " bytes");
}
BENCHMARK(BM_DecodeMillionEntryList)->Unit(benchmark::kMillisecond)->MinTime(2.0);

}  // namespace
