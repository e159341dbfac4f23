// Port-I/O transfer speed on the register-level virtual channel: the
// software cost of moving data through SendDataIn, word by word.
#include <benchmark/benchmark.h>

#include <chrono>

#include "common/ScriptedHost.h"
#include "common/Workbench.h"
#include "drive/Transport.h"
#include "vdrive/VirtualDrive.h"
#include "vdrive/VirtualPortIo.h"

namespace {

using namespace qm;

// 4 MiB in READ SECTORS commands of 128 sectors. A PIO mode 4 wire moves
// 16.6 MB/s; the target is software time of at most 10 % of that wire time
// (at least 166 MB/s here).
void BM_PioRead4MiB(benchmark::State& state) {
    VirtualDrive drive(VirtualDrive::SampleContent());
    VirtualPortIo io(&drive);
    ScriptedHost host;
    Workbench wb(host);
    wb.portIo = &io;
    wb.link.basePort = 0x1F0;
    wb.link.controlPort = 0x3F6;
    constexpr uint32_t kTotalSectors = 8192, kChunk = 128;
    double seconds = 0;
    for (auto _ : state) {
        const auto start = std::chrono::steady_clock::now();
        for (uint32_t lba = 0; lba < kTotalSectors; lba += kChunk) {
            TaskFile tf;
            tf.command = 0x20;
            tf.sectorCount = kChunk;
            tf.lbaLow = static_cast<uint8_t>(lba);
            tf.lbaMid = static_cast<uint8_t>(lba >> 8);
            tf.device = 0xE0;
            if (!SendDataIn(wb, tf, RegisterForm::Lba28, kChunk)) {
                state.SkipWithError("READ SECTORS failed");
                return;
            }
        }
        benchmark::DoNotOptimize(wb.link.Sectors()[0]);
        seconds += std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    }
    const double bytes = double(kTotalSectors) * 512;
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * bytes));
    // Software time as a share of the PIO-4 wire time for the same bytes.
    const double wireSeconds = bytes / 16.6e6 * static_cast<double>(state.iterations());
    state.counters["wire_share_pct"] = 100.0 * seconds / wireSeconds;
}
BENCHMARK(BM_PioRead4MiB)->Unit(benchmark::kMillisecond);

}  // namespace
