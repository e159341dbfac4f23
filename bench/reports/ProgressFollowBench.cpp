// Following a 20 s test run with 65 536-key Errors.ini and ModDescr.ini: the
// monitor's poll must cost at most 2 % of the wall time (4 ms of a 200 ms
// period) and keep its period (100 +- 5 polls in 20 s). Prints the figures
// and the ratios against the targets.
#include <chrono>
#include <cstdio>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <string>

#include "common/Bytes.h"
#include "common/ConsoleHost.h"
#include "common/Format.h"
#include "common/Workbench.h"
#include "defects/ProgressPoll.h"
#include "vdrive/VirtualDrive.h"
#include "vdrive/VirtualSeams.h"
#include "vendor/Vsc.h"

namespace fs = std::filesystem;
using namespace qm;

namespace {

void WriteBigIni(const fs::path& path, const char* section, bool errors) {
    std::ofstream out(path, std::ios::binary);
    out << "[" << section << "]\r\n";
    for (unsigned k = 0; k < 0x10000; ++k) {
        const std::string key =
            errors ? Format("0x%04X", k) : (k < 0x100 ? Format("%02X", k) : Format("%04X", k));
        out << key << "=Description number " << k << " of a large file written for timing\r\n";
    }
}

}  // namespace

int main(int argc, char** argv) {
    const int runMs = argc > 1 ? std::atoi(argv[1]) : 20000;
    const fs::path dir = fs::temp_directory_path() / "qm-progress-bench";
    fs::create_directories(dir);
    WriteBigIni(dir / "Errors.ini", "ERRORS", true);
    WriteBigIni(dir / "ModDescr.ini", "Desc", false);

    DriveContent content = VirtualDrive::SampleContent();
    content.timing.tests[0xA1] = TestRun{static_cast<int64_t>(runMs) * 1'000'000, true, 0x7611};
    VirtualDrive drive(content);
    auto io = CreateVirtualDeviceIo(drive);

    std::ofstream sink("/dev/null");
    ConsoleHost host(sink, sink);
    Workbench wb(host);
    wb.deviceIo = io.get();
    wb.link.mode = TransportMode::AtaPassThrough;
    wb.link.ataHandle = io->Open("/dev/qmvd0");
    wb.programFolder = dir.string();

    EnableVsc(wb);
    SendKey8(wb, 0x19, 3, 0xA1, 1, 0, 0, 0, 0);
    const auto wall0 = std::chrono::steady_clock::now();
    const std::clock_t cpu0 = std::clock();
    uint64_t lines = 0;
    FollowOptions options;
    options.untilIdle = true;
    const FollowResult r = FollowProgress(wb, options, [&](const ProgressPoll& p, bool changed) {
        if (!changed) return;
        sink << FollowLine(p) << '\n';
        ++lines;
    });
    const double cpu = static_cast<double>(std::clock() - cpu0) / CLOCKS_PER_SEC;
    const double wall =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - wall0).count();
    fs::remove_all(dir);

    const double expected = runMs / 200.0;
    std::printf("follow of a %d ms run, two 65536-key INI files (%llu parses)\n", runMs,
                static_cast<unsigned long long>(wb.dataFiles.Parses()));
    std::printf("  wall %.3f s, CPU %.3f s = %.2f %% of wall (target <= 2 %%: ratio %.2f)\n", wall,
                cpu, 100 * cpu / wall, (100 * cpu / wall) / 2.0);
    std::printf("  polls %llu, lines %llu, expected %.0f +- 5 (ratio %.3f), ended %s\n",
                static_cast<unsigned long long>(r.polls), static_cast<unsigned long long>(lines),
                expected, static_cast<double>(lines) / expected,
                r.end == FollowEnd::Idle ? "idle" : "otherwise");
    const bool ok = cpu <= 0.02 * wall && lines + 5 >= expected && lines <= expected + 5 &&
                    r.end == FollowEnd::Idle;
    std::printf("  %s\n", ok ? "within target" : "OUTSIDE TARGET");
    return ok ? 0 : 1;
}
