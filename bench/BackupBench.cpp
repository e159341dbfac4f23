// A full backup of the sample drive on each transport: commands issued and
// throughput, beside a reader that moves one sector per command.
#include <benchmark/benchmark.h>

#include <cstring>
#include <filesystem>

#include "common/ScriptedHost.h"
#include "common/Workbench.h"
#include "vdrive/Mount.h"
#include "vendor/Backup.h"
#include "vendor/Modules.h"
#include "vendor/Vsc.h"

namespace {

using namespace qm;
namespace fs = std::filesystem;

struct Bench {
    explicit Bench(TransportMode mode) : wb(host) {
        std::string error;
        MountVirtualDrive("", mounted, error);
        mounted.AttachTo(wb);
        wb.link.mode = mode;
        wb.link.basePort = 0x1F0;
        wb.link.controlPort = 0x3F6;
        if (mode != TransportMode::PortIo) {
            const DeviceHandle h = wb.deviceIo->Open("/dev/qmvd0");
            (mode == TransportMode::AtaPassThrough ? wb.link.ataHandle : wb.link.scsiHandle) = h;
        }
        wb.dataFolder = folder;
    }
    ScriptedHost host;
    MountedDrive mounted;
    Workbench wb;
    std::string folder = (fs::temp_directory_path() / "qm-bench-backup").string();
};

void BM_BackupSampleDrive(benchmark::State& state) {
    Bench b(static_cast<TransportMode>(state.range(0)));
    size_t bytes = 0, modules = 0;
    uint64_t commands = 0;
    for (auto _ : state) {
        const uint64_t before = b.mounted.drive->CommandCount();
        const BackupReport r = BackupDrive(b.wb, b.folder);
        if (!r.Complete()) {
            state.SkipWithError("backup failed");
            break;
        }
        commands += b.mounted.drive->CommandCount() - before;
        bytes += r.bytes;
        modules = r.modules;
    }
    fs::remove_all(b.folder);
    const double n = static_cast<double>(state.iterations());
    state.SetBytesProcessed(static_cast<int64_t>(bytes));
    state.counters["commands"] = static_cast<double>(commands) / n;
    state.counters["modules"] = static_cast<double>(modules);
}
BENCHMARK(BM_BackupSampleDrive)
    ->Arg(static_cast<int>(TransportMode::PortIo))
    ->Arg(static_cast<int>(TransportMode::AtaPassThrough))
    ->Arg(static_cast<int>(TransportMode::ScsiPassThrough))
    ->ArgName("transport")
    ->Unit(benchmark::kMillisecond);

// Every module the directory lists, read with 128-sector chunks (the
// program's way) or one sector per command: commands per module.
void ReadAllModules(benchmark::State& state, bool oneSector) {
    Bench b(TransportMode::AtaPassThrough);
    ModuleImage directory;
    ReadModule(b.wb, 0x01, directory);
    const std::vector<uint16_t> ids = ParseModuleDirectory(directory);
    uint64_t commands = 0;
    size_t bytes = 0;
    for (auto _ : state) {
        const uint64_t before = b.mounted.drive->CommandCount();
        for (uint16_t id : ids) {
            if (!oneSector) {
                ModuleImage m;
                ReadModule(b.wb, id, m);
                bytes += m.size();
                continue;
            }
            EnableVsc(b.wb);
            const uint32_t sectors = SendKey8(b.wb, 0x08, 1, id, 0, 0, 0, 0, 0);
            for (uint32_t s = 0; s < sectors; ++s) ReadVscData(b.wb, 1);
            ReadKeyStatus(b.wb);
            bytes += sectors * 512;
        }
        commands += b.mounted.drive->CommandCount() - before;
    }
    const double n = static_cast<double>(state.iterations());
    state.SetBytesProcessed(static_cast<int64_t>(bytes));
    state.counters["commands_per_module"] =
        static_cast<double>(commands) / n / static_cast<double>(ids.size());
}
void BM_ModulesIn128SectorChunks(benchmark::State& s) {
    ReadAllModules(s, false);
}
void BM_ModulesOneSectorPerCommand(benchmark::State& s) {
    ReadAllModules(s, true);
}
BENCHMARK(BM_ModulesIn128SectorChunks)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ModulesOneSectorPerCommand)->Unit(benchmark::kMillisecond);

}  // namespace
