// The module 0x21 editor's find and replace over a 64 MiB pane with 100 000
// matches: "Find Next" until no match against one memmem loop collecting the
// same matches, and "Replace All" through the editor's code against
// HexModel::replaceAll alone. BM_M21Ratios reports both ratios as counters.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstring>
#include <ctime>
#include <functional>
#include <vector>

#include "module21/FindReplace.h"

namespace {

using namespace qm;

constexpr size_t kSize = 64u << 20;
constexpr size_t kMatches = 100000;

// Pseudo-random bytes without 'R', "ROYL" planted kMatches times.
const ByteBlock& Pane() {
    static const ByteBlock data = [] {
        ByteBlock b(kSize);
        uint64_t x = 0x9E3779B97F4A7C15ull;
        for (size_t i = 0; i < kSize; i += 8) {
            x ^= x << 13;
            x ^= x >> 7;
            x ^= x << 17;
            std::memcpy(&b[i], &x, 8);
        }
        for (auto& c : b)
            if (c == 'R') c = 'r';
        for (size_t i = 0; i < kMatches; ++i) std::memcpy(&b[i * (kSize / kMatches)], "ROYL", 4);
        return b;
    }();
    return data;
}

const ByteBlock kRoyl = {'R', 'O', 'Y', 'L'};

size_t MemmemLoop(const ByteBlock& d, std::vector<int64_t>& at) {
    at.clear();
    size_t from = 0;
    while (const void* p = memmem(d.data() + from, d.size() - from, kRoyl.data(), kRoyl.size())) {
        const size_t pos = static_cast<size_t>(static_cast<const uint8_t*>(p) - d.data());
        at.push_back(static_cast<int64_t>(pos));
        from = pos + kRoyl.size() - 1;  // where "Find Next" goes on: the match's last byte
    }
    return at.size();
}

size_t FindNextLoop(HexModel& pane, std::vector<int64_t>& at) {
    FindRecord r;
    FindDialogOut(r, {"ROYL", TextCheck::Undecided, false});
    PrepareFind(r, pane);
    at.clear();
    pane.setCursorPosition(0);
    for (SearchResult s = FindNext(pane, r); s.outcome == SearchOutcome::Found;
         s = FindNext(pane, r))
        at.push_back(s.position);
    return at.size();
}

int64_t ReplaceAllThroughEditor(HexModel& pane) {
    ReplaceRecord r;
    ReplaceDialogOut(r, {"ROYL", "LYOR", TextCheck::Undecided, TextCheck::Undecided, false, true});
    return RunReplace(pane, r).count;
}

void BM_M21MemmemLoop(benchmark::State& st) {
    std::vector<int64_t> at;
    for (auto _ : st)
        if (MemmemLoop(Pane(), at) != kMatches) st.SkipWithError("wrong count");
    st.SetBytesProcessed(static_cast<int64_t>(st.iterations() * kSize));
}
BENCHMARK(BM_M21MemmemLoop)->Unit(benchmark::kMillisecond);

void BM_M21FindNextUntilNoMatch(benchmark::State& st) {
    HexModel pane;
    pane.load(Pane());
    std::vector<int64_t> at;
    for (auto _ : st)
        if (FindNextLoop(pane, at) != kMatches) st.SkipWithError("wrong count");
    st.SetBytesProcessed(static_cast<int64_t>(st.iterations() * kSize));
}
BENCHMARK(BM_M21FindNextUntilNoMatch)->Unit(benchmark::kMillisecond);

void BM_M21ReplaceAll(benchmark::State& st) {
    const bool editor = st.range(0) != 0;
    HexModel pane;
    for (auto _ : st) {
        st.PauseTiming();
        pane.load(Pane());
        st.ResumeTiming();
        const int64_t n = editor ? ReplaceAllThroughEditor(pane)
                                 : pane.replaceAll(kRoyl, {'L', 'Y', 'O', 'R'}, false);
        if (n != static_cast<int64_t>(kMatches)) st.SkipWithError("wrong count");
    }
    st.SetLabel(editor ? "Replace All (editor)" : "HexModel::replaceAll");
}
BENCHMARK(BM_M21ReplaceAll)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

// Thread CPU time in milliseconds: steadier than the wall clock on a busy machine.
double ThreadMs() {
    timespec ts{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return static_cast<double>(ts.tv_sec) * 1e3 + static_cast<double>(ts.tv_nsec) / 1e6;
}

double BestMs(const std::function<void()>& setup, const std::function<void()>& f, int runs) {
    double best = 1e300;
    for (int i = 0; i < runs; ++i) {
        setup();
        const double t0 = ThreadMs();
        f();
        best = std::min(best, ThreadMs() - t0);
    }
    return best;
}

// Both ratios, best of several runs each. Goals: find speed >= 0.8 x memmem,
// replace-all time <= 1.2 x HexModel::replaceAll.
void BM_M21Ratios(benchmark::State& st) {
    HexModel pane;
    std::vector<int64_t> a, b;
    double findSpeed = 0, replaceTime = 0, memmemMs = 0, findMs = 0, editorMs = 0, modelMs = 0;
    for (auto _ : st) {
        pane.load(Pane());
        memmemMs = BestMs([] {}, [&] { MemmemLoop(Pane(), a); }, 7);
        findMs = BestMs([] {}, [&] { FindNextLoop(pane, b); }, 7);
        if (a != b) st.SkipWithError("the two loops found different matches");
        editorMs = BestMs([&] { pane.load(Pane()); }, [&] { ReplaceAllThroughEditor(pane); }, 5);
        modelMs = BestMs([&] { pane.load(Pane()); },
                         [&] {
                             pane.replaceAll(kRoyl, {'L', 'Y', 'O', 'R'}, false);
                         },
                         5);
        findSpeed = memmemMs / findMs;
        replaceTime = editorMs / modelMs;
    }
    st.counters["memmem_ms"] = memmemMs;
    st.counters["findnext_ms"] = findMs;
    st.counters["find_speed_vs_memmem"] = findSpeed;
    st.counters["editor_replace_ms"] = editorMs;
    st.counters["model_replace_ms"] = modelMs;
    st.counters["replace_time_vs_model"] = replaceTime;
}
BENCHMARK(BM_M21Ratios)->Iterations(1)->Unit(benchmark::kMillisecond);

}  // namespace
