// Speed of the hex view on large blocks: search against memmem, replace-all
// against the size of the data, and painting a 64 MiB block.
#include <benchmark/benchmark.h>

#include <QApplication>
#include <QImage>
#include <QScrollBar>
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <functional>
#ifdef __GLIBC__
#include <malloc.h>
#endif

#include "hexview/HexView.h"

namespace {

constexpr size_t kMiB = 1 << 20;
const qm::ByteBlock kNeedle = {'T', 'r', 'a', 'n', 's', 'l', 'a', 't', 'o', 'r'};
const qm::ByteBlock kNeedleLower = {'t', 'r', 'a', 'n', 's', 'l', 'a', 't', 'o', 'r'};

// Pseudo-random bytes, the same on every run, with the needle only at the end
// so that every search reads the whole block.
qm::ByteBlock SearchData(size_t size) {
    qm::ByteBlock b(size);
    uint64_t x = 0x9E3779B97F4A7C15ull;
    for (size_t i = 0; i < size; i += 8) {
        x ^= x << 13;
        x ^= x >> 7;
        x ^= x << 17;
        std::memcpy(&b[i], &x, std::min<size_t>(8, size - i));
    }
    std::copy(kNeedle.begin(), kNeedle.end(), b.end() - static_cast<long>(kNeedle.size()));
    return b;
}

// Random bytes without 'R', with "ROYL" planted `matches` times at even spacing.
qm::ByteBlock ReplaceData(size_t size, size_t matches) {
    qm::ByteBlock b = SearchData(size);
    for (auto& c : b)
        if (c == 'R') c = 'r';
    const size_t step = size / matches;
    for (size_t i = 0; i < matches; ++i) std::memcpy(&b[i * step], "ROYL", 4);
    return b;
}

const qm::ByteBlock& Data64() {
    static const qm::ByteBlock d = SearchData(64 * kMiB);
    return d;
}

int64_t Memmem(const qm::ByteBlock& d, const qm::ByteBlock& n) {
    const void* p = memmem(d.data(), d.size(), n.data(), n.size());
    return p ? static_cast<const uint8_t*>(p) - d.data() : -1;
}

void BM_Memmem64MiB(benchmark::State& st) {
    const auto& d = Data64();
    for (auto _ : st) benchmark::DoNotOptimize(Memmem(d, kNeedle));
    st.SetBytesProcessed(static_cast<int64_t>(st.iterations() * d.size()));
}
BENCHMARK(BM_Memmem64MiB)->Unit(benchmark::kMillisecond);

void BM_Find64MiB(benchmark::State& st) {
    qm::HexModel m;
    m.load(Data64());
    const bool ignoreCase = st.range(0) != 0;
    const auto& needle = ignoreCase ? kNeedleLower : kNeedle;
    for (auto _ : st) benchmark::DoNotOptimize(m.find(needle, 0, m.size(), ignoreCase));
    st.SetBytesProcessed(static_cast<int64_t>(st.iterations() * m.size()));
    st.SetLabel(ignoreCase ? "ignore case" : "case-sensitive");
}
BENCHMARK(BM_Find64MiB)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

void BM_ReplaceAll(benchmark::State& st) {
    const size_t size = static_cast<size_t>(st.range(0)) * kMiB;
    const size_t matches = static_cast<size_t>(st.range(1));
    const qm::ByteBlock data = ReplaceData(size, matches);
    const qm::ByteBlock find = {'R', 'O', 'Y', 'L'}, repl = {'R', 'o', 'y', 'a', 'l', '!'};
    qm::HexModel m;
    for (auto _ : st) {
        st.PauseTiming();
        m.load(data);
        st.ResumeTiming();
        if (m.replaceAll(find, repl, false) != static_cast<int64_t>(matches))
            st.SkipWithError("wrong count");
    }
}
BENCHMARK(BM_ReplaceAll)
    ->Args({8, 50000})
    ->Args({16, 100000})
    ->Args({8, 100000})
    ->Unit(benchmark::kMillisecond);

qm::HexView* BigView() {
    static qm::HexView* v = [] {
        auto* view = new qm::HexView;
        view->resize(760, 600);
        view->model().load(Data64());
        view->model().write(100, qm::ByteBlock{1, 2, 3});
        view->show();
        return view;
    }();
    return v;
}

void PaintOnce(qm::HexView* v, QImage& img) {
    v->viewport()->render(&img);
}

void BM_Paint64MiB(benchmark::State& st) {
    qm::HexView* v = BigView();
    QImage img(v->viewport()->size(), QImage::Format_ARGB32_Premultiplied);
    QScrollBar* sb = v->verticalScrollBar();
    int at = 0;
    for (auto _ : st) {
        // Each frame a different place: top, middle, bottom, as a user scrolls.
        sb->setValue(at == 0 ? 0 : at == 1 ? sb->maximum() / 2 : sb->maximum());
        at = (at + 1) % 3;
        PaintOnce(v, img);
    }
    st.SetLabel(std::to_string(v->visibleRows()) + " rows");
}
BENCHMARK(BM_Paint64MiB)->Unit(benchmark::kMicrosecond);

// CPU time of this thread in milliseconds: on a shared, busy machine it is
// steadier than the wall clock.
double ThreadMs() {
    timespec ts{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return ts.tv_sec * 1e3 + ts.tv_nsec / 1e6;
}

// Best of several runs, in milliseconds of thread CPU time.
double BestMs(const std::function<void()>& f, int runs = 9) {
    double best = 1e300;
    for (int i = 0; i < runs; ++i) {
        const double t0 = ThreadMs();
        f();
        best = std::min(best, ThreadMs() - t0);
    }
    return best;
}

double ReplaceMs(size_t mib, size_t matches) {
    const qm::ByteBlock data = ReplaceData(mib * kMiB, matches);
    qm::HexModel m;
    double best = 1e300;
    for (int i = 0; i < 15; ++i) {
        m.load(data);
        best = std::min(
            best, BestMs(
                      [&] {
                          m.replaceAll({'R', 'O', 'Y', 'L'}, {'R', 'o', 'y', 'a', 'l', '!'}, false);
                      },
                      1));
    }
    return best;
}

void Summary() {
    const auto& d = Data64();
    qm::HexModel m;
    m.load(d);
    int64_t sink = 0;
    const double mem = BestMs([&] { sink += Memmem(d, kNeedle); });
    const double cs = BestMs([&] { sink += m.find(kNeedle, 0, m.size(), false); });
    const double ic = BestMs([&] { sink += m.find(kNeedleLower, 0, m.size(), true); });
    const double r8 = ReplaceMs(8, 50000), r16 = ReplaceMs(16, 100000);
    const double r8same = ReplaceMs(8, 100000);
    qm::HexView* v = BigView();
    QImage img(v->viewport()->size(), QImage::Format_ARGB32_Premultiplied);
    v->verticalScrollBar()->setValue(v->verticalScrollBar()->maximum() / 2);
    const double paint = BestMs([&] { PaintOnce(v, img); }, 20);

    std::printf("\nSummary (best of several runs, thread CPU time; 64 MiB = %zu bytes)\n",
                d.size());
    std::printf("  memmem 64 MiB                      %8.2f ms\n", mem);
    std::printf("  find, case-sensitive 64 MiB        %8.2f ms   speed vs memmem %.2f\n", cs,
                mem / cs);
    std::printf("  find, ignore case 64 MiB           %8.2f ms   speed vs memmem %.2f\n", ic,
                mem / ic);
    std::printf("  replace-all  50000 matches  8 MiB  %8.2f ms\n", r8);
    std::printf("  replace-all 100000 matches 16 MiB  %8.2f ms   16/8 MiB time ratio %.2f\n", r16,
                r16 / r8);
    std::printf("  replace-all 100000 matches  8 MiB  %8.2f ms\n", r8same);
    std::printf("  paint 64 MiB view, %d rows         %8.3f ms\n", v->visibleRows(), paint);
    benchmark::DoNotOptimize(sink);
}

}  // namespace

int main(int argc, char** argv) {
#ifdef __GLIBC__
    // A fixed threshold: every large block comes fresh from mmap. Otherwise
    // glibc raises the threshold as blocks are freed, and whether a block of
    // 8 or 16 MiB lands in warm heap pages or in new ones decides the figures
    // more than the work done does.
    mallopt(M_MMAP_THRESHOLD, 1 << 20);
#endif
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    Summary();
    benchmark::Shutdown();
    return 0;
}
