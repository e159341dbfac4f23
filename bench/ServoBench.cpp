// The servo test's loop on the sample drive in real time, through port I/O
// and through ATA pass-through: 2 000 Read Track operations each.
//
// loop_us_per_op: the loop's own time per operation, the wall time from one
//   operation's end to the next one's minus the drive's modelled busy time
//   for it (seek, latency, the revolution). Target: at most 2 % of one
//   revolution at 7 200 rpm, 167 us (loop_pct_of_rev <= 2).
// plotted_ok_pct: operations whose plotted time is the modelled time in
//   whole ms, or one more. Target: at least 99 %.
//
// Both are wall-clock figures and so show what else the machine runs: a
// 2-core machine shared with a compile loses whole scheduler slices in the
// polling loop (loop_us_median shows the typical operation without them). The Simulated variants
// run the same loop on the simulated clock, where the drive's times cost nothing: their
// loop_us_per_op is the loop's own computing per operation, whatever the load.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <sstream>
#include <vector>

#include "common/ConsoleHost.h"
#include "common/SimulatedClock.h"
#include "common/Workbench.h"
#include "defects/ServoTest.h"
#include "drive/uAtaPass.h"
#include "platform/Platform.h"
#include "vdrive/Mount.h"

namespace {

using namespace qm;

// A canvas that only keeps the pen: the plot costs what the loop's own
// drawing calls cost, not a picture's.
class NullCanvas : public Canvas {
  public:
    int Width() const override { return 800; }
    int Height() const override { return 600; }
    void Fill(Argb) override {}
    void SetPenColor(Argb) override {}
    void MoveTo(int, int) override {}
    void LineTo(int, int) override {}
    void MoveToF(double, double) override {}
    void LineToF(double, double) override {}
    void PointAA(double, double, Argb) override {}
    void TextOut(int, int, const std::string&, Argb) override {}
};

void BM_ServoLoop(benchmark::State& state, TransportMode mode, bool simulated) {
    constexpr int kOps = 2000;
    std::ostringstream log, messages;
    ConsoleHost console(log, messages);
    // As the command line does: the run raises what the system allows.
    platform::TimingPriority priority;
    console.timingPriority = [&priority](bool raised) { priority.Set(raised); };
    SimulatedClock clock;
    SimulatedTimeHost simulatedHost(console, clock);
    Workbench wb(simulated ? static_cast<Host&>(simulatedHost) : console);
    MountedDrive mounted;
    std::string error;
    if (!MountVirtualDrive("", mounted, error)) {
        state.SkipWithError(error.c_str());
        return;
    }
    mounted.AttachTo(wb);
    if (simulated) mounted.UseClock(clock);
    wb.portIoReady = true;
    wb.link.mode = mode;
    wb.link.basePort = 0x1F0;
    wb.link.controlPort = 0x3F6;
    if (mode == TransportMode::AtaPassThrough) wb.link.ataHandle = OpenDrive(wb, "/dev/qmvd0");
    VirtualDrive& drive = *mounted.drive;

    // One operation more: the first one carries the untimed one before it.
    const ServoSettings s{.start = "0",
                          .tracks = std::to_string(90 * (kOps + 1)),
                          .step = "90",
                          .heads = "1",
                          .timeOut = "100",
                          .type = kServoReadTrack};
    NullCanvas canvas;
    const std::string wrro =
        (std::filesystem::temp_directory_path() / "qm-servo-bench-wrro.bin").string();

    double loopNanos = 0;
    std::vector<double> perOp;  // each operation's own time, for the median
    int64_t counted = 0, plottedOk = 0, failed = 0;
    for (auto _ : state) {
        ServoRunState run;
        ServoHooks hooks;
        int index = 0;
        auto last = std::chrono::steady_clock::now();
        int64_t busy = drive.MediaBusyNanos();
        hooks.onOperation = [&](const ServoOpRecord& o) {
            const auto now = std::chrono::steady_clock::now();
            const int64_t total = drive.MediaBusyNanos();
            const int64_t modelled = total - busy;
            busy = total;
            if (index++ > 0) {
                const double wall = std::chrono::duration<double, std::nano>(now - last).count();
                const double own = wall - (simulated ? 0 : static_cast<double>(modelled));
                loopNanos += own;
                perOp.push_back(own);
                const int64_t ms = modelled / 1'000'000;
                plottedOk += o.ok && (o.ms == ms || o.ms == ms + 1);
                ++counted;
            }
            last = now;
        };
        ServoRunReport report;
        RunServoTest(wb, canvas, s, run, hooks, wrro, &report);
        if (report.stopped || report.heads.empty()) {
            state.SkipWithError("the run did not complete");
            return;
        }
        failed += report.heads[0].failed;  // timed out (a loaded machine) or refused
    }
    std::error_code ec;
    std::filesystem::remove(wrro, ec);
    const double perOpUs = loopNanos / static_cast<double>(std::max<int64_t>(1, counted)) / 1000;
    const double revolutionUs = 60e6 / 7200;
    state.counters["ops"] = static_cast<double>(counted);
    state.counters["failed"] = static_cast<double>(failed);
    state.counters["loop_us_per_op"] = perOpUs;
    state.counters["loop_pct_of_rev"] = 100 * perOpUs / revolutionUs;
    // The typical operation, without the ones the scheduler gave away a slice in.
    if (!perOp.empty()) {
        std::nth_element(perOp.begin(), perOp.begin() + perOp.size() / 2, perOp.end());
        state.counters["loop_us_median"] = perOp[perOp.size() / 2] / 1000;
    }
    state.counters["plotted_ok_pct"] =
        100.0 * static_cast<double>(plottedOk) / static_cast<double>(std::max<int64_t>(1, counted));
}

void BM_ServoLoopPortIo(benchmark::State& state) {
    BM_ServoLoop(state, TransportMode::PortIo, false);
}
void BM_ServoLoopAtaPassThrough(benchmark::State& state) {
    BM_ServoLoop(state, TransportMode::AtaPassThrough, false);
}
void BM_ServoLoopSimulatedPortIo(benchmark::State& state) {
    BM_ServoLoop(state, TransportMode::PortIo, true);
}
void BM_ServoLoopSimulatedAtaPassThrough(benchmark::State& state) {
    BM_ServoLoop(state, TransportMode::AtaPassThrough, true);
}
BENCHMARK(BM_ServoLoopPortIo)->Unit(benchmark::kMillisecond)->Iterations(1);
BENCHMARK(BM_ServoLoopAtaPassThrough)->Unit(benchmark::kMillisecond)->Iterations(1);
BENCHMARK(BM_ServoLoopSimulatedPortIo)->Unit(benchmark::kMillisecond)->Iterations(1);
BENCHMARK(BM_ServoLoopSimulatedAtaPassThrough)->Unit(benchmark::kMillisecond)->Iterations(1);

}  // namespace
