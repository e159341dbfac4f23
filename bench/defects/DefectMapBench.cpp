// The defect map of a million-entry P-List (4 heads, 24 zones, anti-aliasing
// on, 1000 x 800) against drawing the same points one by one with
// QPainter::drawPoint(QPointF); saving that picture as Defects.jpg against
// cjpeg (libjpeg-turbo's own encoder program) on the same pixels.
#include <benchmark/benchmark.h>
#include <spawn.h>
#include <sys/wait.h>

#include <QGuiApplication>
#include <QPainter>
#include <chrono>
#include <cstdio>
#include <ctime>
#include <filesystem>
#include <fstream>

#include "MillionList.h"
#include "common/Files.h"
#include "common/ScriptedHost.h"
#include "common/Workbench.h"
#include "defects/DefectMap.h"
#include "render/JpegWriter.h"
#include "render/QtCanvas.h"
#include "vdrive/VirtualPortIo.h"

extern char** environ;

namespace {

using namespace qm;
using Clock = std::chrono::steady_clock;
namespace fs = std::filesystem;

double MsSince(Clock::time_point t0) {
    return std::chrono::duration<double, std::milli>(Clock::now() - t0).count();
}
// Processor time of this process: on a shared machine the fairer measure.
double CpuMsSince(std::clock_t c0) {
    return static_cast<double>(std::clock() - c0) * 1000.0 / CLOCKS_PER_SEC;
}

// The sample drive with the million-entry list, on the virtual primary channel.
struct Rig {
    Rig() : drive(bench::MillionEntryDrive()), portIo(&drive), wb(host) {
        wb.portIo = &portIo;
        wb.portIoReady = true;
        wb.link.mode = TransportMode::PortIo;
        wb.link.basePort = 0x1F0;
        wb.link.controlPort = 0x3F6;
        wb.identity = {"WDC WD5000AAKS-00V1A0", "01.03B01", "WD-WCAWF1939879"};
    }
    VirtualDrive drive;
    VirtualPortIo portIo;
    ScriptedHost host;
    Workbench wb;
};

Rig& TheRig() {
    static Rig rig;
    return rig;
}

// Keeps the anti-aliased points a View sets, in order.
class PointCollector : public Canvas {
  public:
    struct Point {
        double x, y;
        Argb color;
    };
    std::vector<Point> points;
    int Width() const override { return 1000; }
    int Height() const override { return 800; }
    void Fill(Argb) override {}
    void SetPenColor(Argb) override {}
    void MoveTo(int, int) override {}
    void LineTo(int, int) override {}
    void MoveToF(double, double) override {}
    void LineToF(double, double) override {}
    void PointAA(double x, double y, Argb color) override { points.push_back({x, y, color}); }
    void TextOut(int, int, const std::string&, Argb) override {}
};

// The yardstick: the same points, one QPainter::drawPoint(QPointF) each,
// anti-aliased, on a 1000 x 800 ARGB image. Wall and processor time.
std::pair<double, double> QPainterPointsMs(const std::vector<PointCollector::Point>& points) {
    QImage image(1000, 800, QImage::Format_ARGB32);
    image.fill(0xFF000000);
    const auto t0 = Clock::now();
    const std::clock_t c0 = std::clock();
    {
        QPainter p(&image);
        p.setRenderHint(QPainter::Antialiasing, true);
        Argb pen = 0;
        for (const auto& pt : points) {
            if (pt.color != pen) {
                pen = pt.color;
                p.setPen(QPen(QColor::fromRgba(pen), 1.0));
            }
            p.drawPoint(QPointF(pt.x, pt.y));
        }
    }
    return {MsSince(t0), CpuMsSince(c0)};
}

// The list and the zone maps as the files a user picks with SHIFT held: the
// View without the drive transfer (the module read has its own bench).
struct PickedFiles {
    explicit PickedFiles(const DriveContent& c) {
        fs::create_directories(dir);
        auto write = [&](const std::string& name, const std::vector<uint8_t>& bytes) {
            const std::string path = (dir / name).string();
            std::string error;
            WriteFileAtomic(path, bytes, error);
            return path;
        };
        list = write("~id0033.rpm", *c.serviceArea.Module(0x33));
        for (uint16_t h = 0; h < 4; ++h)
            zones.push_back(
                write("zone" + std::to_string(h) + ".bin", *c.serviceArea.Table(0x0D, h)));
    }
    ~PickedFiles() { fs::remove_all(dir); }
    // The View's dialogs in order: head 0's map, the list, then every head's map.
    void Answer(ScriptedHost& host) const {
        host.openAnswers = {zones[0], list, zones[0], zones[1], zones[2], zones[3]};
    }
    fs::path dir = fs::temp_directory_path() / "qm-bench-defects";
    std::string list;
    std::vector<std::string> zones;
};

void BM_DefectViewMillionEntries(benchmark::State& state) {
    Rig& rig = TheRig();
    const PickedFiles files(rig.drive.Content());
    QtCanvas canvas(1000, 800);
    const DefectViewOptions options;  // the window's defaults: anti-aliasing on
    rig.host.shift = true;
    double viewMs = 0, viewCpuMs = 0;
    for (auto _ : state) {
        files.Answer(rig.host);
        const auto t0 = Clock::now();
        const std::clock_t c0 = std::clock();
        ClearDefectMap(canvas, true, 4);
        ViewDefects(rig.wb, canvas, options, 4);
        benchmark::DoNotOptimize(canvas.Image().constBits());
        viewMs += MsSince(t0);
        viewCpuMs += CpuMsSince(c0);
    }
    viewMs /= static_cast<double>(state.iterations());
    viewCpuMs /= static_cast<double>(state.iterations());

    PointCollector collector;
    files.Answer(rig.host);
    DefectMapReport report;
    ViewDefects(rig.wb, collector, options, 4, &report);
    const uint32_t entries = report.entries;
    const auto [baselineMs, baselineCpuMs] = QPainterPointsMs(collector.points);

    // The same View with everything read from the drive, for the record.
    rig.host.shift = false;
    auto t0 = Clock::now();
    ViewDefects(rig.wb, canvas, options, 4);
    const double fromDriveMs = MsSince(t0);

    state.counters["entries"] = entries;
    state.counters["points"] = static_cast<double>(collector.points.size());
    state.counters["view_ms"] = viewMs;
    state.counters["qpainter_ms"] = baselineMs;
    state.counters["ratio_wall"] = viewMs / baselineMs;
    state.counters["view_cpu_ms"] = viewCpuMs;
    state.counters["qpainter_cpu_ms"] = baselineCpuMs;
    state.counters["ratio"] = viewCpuMs / baselineCpuMs;  // goal: at most 0.1
    state.counters["view_from_drive_ms"] = fromDriveMs;
}
BENCHMARK(BM_DefectViewMillionEntries)->Unit(benchmark::kMillisecond)->Iterations(5);

// Runs a program and waits for it; false when it could not run or failed.
bool Run(const std::vector<std::string>& args) {
    std::vector<char*> argv;
    for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    pid_t pid = 0;
    if (posix_spawnp(&pid, argv[0], nullptr, nullptr, argv.data(), environ) != 0) return false;
    int status = 0;
    return waitpid(pid, &status, 0) == pid && WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

void BM_DefectsJpgAgainstCjpeg(benchmark::State& state) {
    Rig& rig = TheRig();
    QtCanvas canvas(1000, 800);
    ClearDefectMap(canvas, true, 4);
    ViewDefects(rig.wb, canvas, {}, 4);
    const QImage picture = canvas.Image();
    const fs::path dir = fs::temp_directory_path() / "qm-bench-jpeg";
    fs::create_directories(dir);
    const std::string ours = (dir / "Defects.jpg").string();

    double saveMs = 0;
    for (auto _ : state) {
        const auto t0 = Clock::now();
        SaveJpeg(picture, ours);
        saveMs += MsSince(t0);
    }
    saveMs /= static_cast<double>(state.iterations());

    // cjpeg on the same pixels (as a PPM file), at its defaults.
    const std::string ppm = (dir / "defects.ppm").string();
    const std::string theirs = (dir / "cjpeg.jpg").string();
    {
        std::ofstream out(ppm, std::ios::binary);
        out << "P6\n" << picture.width() << ' ' << picture.height() << "\n255\n";
        for (int y = 0; y < picture.height(); ++y)
            for (int x = 0; x < picture.width(); ++x) {
                const QRgb c = picture.pixel(x, y);
                const char rgb[3] = {static_cast<char>(qRed(c)), static_cast<char>(qGreen(c)),
                                     static_cast<char>(qBlue(c))};
                out.write(rgb, 3);
            }
    }
    constexpr int kRuns = 30;
    double cjpegMs = 0;
    for (int i = 0; i < kRuns; ++i) {
        const auto t0 = Clock::now();
        if (!Run({"cjpeg", "-outfile", theirs, ppm})) {
            state.SkipWithError("cjpeg did not run (install libjpeg-turbo-progs)");
            return;
        }
        cjpegMs += MsSince(t0);
    }
    cjpegMs /= kRuns;
    std::vector<uint8_t> a, b;
    std::string error;
    ReadFileBytes(ours, a, error);
    ReadFileBytes(theirs, b, error);
    fs::remove_all(dir);

    state.counters["save_ms"] = saveMs;
    state.counters["cjpeg_ms"] = cjpegMs;
    state.counters["ratio"] = saveMs / cjpegMs;  // goal: at most 1.5
    state.counters["same_bytes"] = a == b ? 1 : 0;
    state.counters["jpeg_bytes"] = static_cast<double>(a.size());
}
BENCHMARK(BM_DefectsJpgAgainstCjpeg)->Unit(benchmark::kMillisecond)->MinTime(1.0);

}  // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);  // the canvas draws text
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
