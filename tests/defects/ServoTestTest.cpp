// The servo test's run, grid and fields against the virtual drive on a
// simulated clock: the step and end rules, tracks per pixel, the grid's
// loops, time-outs, WR-WRRO sectors and values, per-head base lines, STOP
// (also across a soft reset), and a wrro.bin that cannot be made.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "common/Files.h"
#include "defects/ServoTest.h"
#include "support/RecordingCanvas.h"
#include "support/SimulatedBench.h"

using namespace qm;
using test::CanvasOp;
using test::RecordingCanvas;
using test::SimulatedBench;

namespace {

namespace fs = std::filesystem;

// A folder of the test's own, emptied first.
struct TempDir {
    fs::path path = fs::path(::testing::TempDir()) /
                    ("qm-servo-" +
                     std::string(::testing::UnitTest::GetInstance()->current_test_info()->name()));
    TempDir() {
        fs::remove_all(path);
        fs::create_directories(path);
    }
    std::string File(const char* name) const { return (path / name).string(); }
};

ServoSettings Settings(const char* start, const char* end, const char* step, const char* heads,
                       int type = kServoReadTrack, const char* timeOut = "100") {
    return {.start = start,
            .tracks = end,
            .step = step,
            .heads = heads,
            .timeOut = timeOut,
            .type = type};
}

struct ServoRig {
    SimulatedBench bench;
    RecordingCanvas canvas{800, 600};
    ServoRunState state;
    ServoHooks hooks;
    ServoRunReport report;
    TempDir dir;
    std::string wrro = dir.File("wrro.bin");

    explicit ServoRig(TransportMode mode = TransportMode::PortIo) : bench(mode) {
        report.keepOps = true;
    }
    bool Go(const ServoSettings& s) {
        return RunServoTest(bench.wb, canvas, s, state, hooks, wrro, &report);
    }
    std::vector<uint8_t> WrroBytes() const {
        std::vector<uint8_t> b;
        std::string error;
        ReadFileBytes(wrro, b, error);
        return b;
    }
};

}  // namespace

TEST(ServoFields, StepEndAndTracksPerPixelRules) {
    // Step 0 on a 789-pixel plot with end 100 000: step 126.
    ServoParams p = ResolveServoParams(Settings("0", "100000", "0", "4"), 789);
    EXPECT_EQ(p.step, 126);
    EXPECT_TRUE(p.stepChanged);
    EXPECT_EQ(p.q, (10000 + 100000) / 789);
    // Start = end: the end becomes 100 000, the automatic step still comes
    // from the end as typed.
    p = ResolveServoParams(Settings("5000", "5000", "0", "1"), 789);
    EXPECT_EQ(p.end, 100000);
    EXPECT_EQ(p.step, 5000 / 789);
    // "$186A0" is 100 000; text that does not parse takes the default.
    EXPECT_EQ(ParseServoField("$186A0", 0), 100000);
    p = ResolveServoParams(Settings("x", "", "y", "z", kServoReadTrack, "?"), 800);
    EXPECT_EQ(p.start, 0);
    EXPECT_EQ(p.end, 100000);
    EXPECT_EQ(p.step, 100);
    EXPECT_EQ(p.timeOut, 0);
    EXPECT_EQ(p.heads, 0);
    EXPECT_EQ(p.defaulted,
              (std::vector<std::string>{"Step", "Tracks", "Start", "TimeOut", "Heads"}));
    // A step that would never advance: an end narrower than the plot, or a
    // negative field.
    EXPECT_EQ(ResolveServoParams(Settings("0", "500", "0", "1"), 800).step, 1);
    EXPECT_EQ(ResolveServoParams(Settings("0", "500", "-7", "1"), 800).step, 1);
    // q is at least 1.
    EXPECT_EQ(ResolveServoParams(Settings("0", "10", "1", "1"), 800).q, 1);
}

TEST(ServoFields, HeadsFieldIsAByteAtMostTen) {
    EXPECT_EQ(ServoHeadsFromField("4"), 4);
    EXPECT_EQ(ServoHeadsFromField("12"), 10);
    EXPECT_EQ(ServoHeadsFromField("300"), 10);  // 300 as a byte is 44
    EXPECT_EQ(ServoHeadsFromField("256"), 0);
    EXPECT_EQ(ServoHeadsFromField("abc"), 0);
    EXPECT_EQ(ServoOpFromName("WR-WRRO"), 9);
    EXPECT_EQ(ServoOpFromName("Seek"), 2);
    EXPECT_EQ(ServoOpFromName("seek"), -1);
}

TEST(ServoGrid, TimeAxisTrackLinesAndZoneLines) {
    std::array<TZoneEntry, kMaxZones> zones{};
    RecordingCanvas c(800, 600);
    DrawServoGrid(c, "100000", zones, 0);
    const auto texts = c.Of(CanvasOp::Text);
    // 0ms .. 500ms from y = 580 up; the first track label "10k" sits by the
    // second line (x = 1 + s).
    ASSERT_GE(texts.size(), 6u);
    EXPECT_EQ(texts[0].text, "0ms");
    EXPECT_EQ(texts[0].y, 582);
    EXPECT_EQ(texts[5].text, "500ms");
    const int64_t q = (10000 + 100000) / 800;
    const int64_t s = 10000 / q;
    EXPECT_EQ(texts[6].text, "10k");
    EXPECT_EQ(texts[6].x, 1 + s + 1);
    EXPECT_EQ(texts[6].y, 600 - 18);

    // A large end (q > 10 000): s would be 0 and the loop endless; one line a pixel.
    RecordingCanvas big(200, 150);
    DrawServoGrid(big, "$7FFFFFFF", zones, 0);
    EXPECT_EQ(big.Of(CanvasOp::Text).back().text, "1990k");

    // With a zone table: a line and a label at each zone's end.
    zones[0] = {0, 9999, 1500};
    zones[1] = {10000, 49999, 1400};
    RecordingCanvas z(800, 600);
    DrawServoGrid(z, "50000", zones, 2);
    const auto zt = z.Of(CanvasOp::Text);
    ASSERT_EQ(zt.size(), 6u + 2u);
    EXPECT_EQ(zt[6].text, "9k");
    EXPECT_EQ(zt[7].text, "49k");
    EXPECT_EQ(zt[7].x, 49999 / ((5000 + 50000) / 800) + 1);
}

TEST(ServoGrid, AtMostTenHeadLabels) {
    RecordingCanvas c(800, 600);
    DrawServoHeadLabels(c, 12);
    const auto texts = c.Of(CanvasOp::Text);
    ASSERT_EQ(texts.size(), 10u);
    EXPECT_EQ(texts[9].color, 0xFF00FFFFu);  // heads 8 and 9 repeat heads 0 and 1
}

TEST(ServoRun, PlotsModelledTimesOnEachHeadsBaseLine) {
    ServoRig r;
    r.bench.wb.defects.roylFormat = true;
    std::vector<int64_t> modelled;
    int64_t before = r.bench.Drive().MediaBusyNanos();
    r.hooks.onOperation = [&](const ServoOpRecord&) {
        const int64_t now = r.bench.Drive().MediaBusyNanos();
        modelled.push_back(now - before);
        before = now;
    };
    ServoSettings s = Settings("1000", "6000", "1000", "3");
    s.headChecked[1] = false;
    ASSERT_TRUE(r.Go(s));
    EXPECT_FALSE(r.report.stopped);
    ASSERT_EQ(r.report.heads.size(), 3u);
    // Base lines 20, 100 and 180 pixels above the bottom, head 1 untested.
    EXPECT_EQ(r.report.heads[0].y0, 580);
    EXPECT_EQ(r.report.heads[1].y0, 500);
    EXPECT_FALSE(r.report.heads[1].tested);
    EXPECT_EQ(r.report.heads[2].y0, 420);
    const auto& ops = r.report.heads[2].ops;
    ASSERT_EQ(ops.size(), 5u);
    EXPECT_EQ(ops[0].track, 1000);
    EXPECT_EQ(ops[4].track, 5000);
    // A whole-track read: a revolution (8.3 ms) and up to one of latency.
    for (const ServoOpRecord& o : ops) {
        EXPECT_TRUE(o.ok);
        EXPECT_GE(o.ms, 8);
        EXPECT_LE(o.ms, 17);
        EXPECT_EQ(o.y, 420 - o.ms);
    }
    // The plotted time is the drive's modelled time in whole ms (the first
    // operation of a head also carries the untimed one before it).
    ASSERT_EQ(modelled.size(), 10u);
    for (size_t i = 1; i < 5; ++i) EXPECT_EQ(r.report.heads[0].ops[i].ms, modelled[i] / 1000000);
    // The plot starts at (start div q, y0) in head 0's colour.
    const auto moves = r.canvas.Of(CanvasOp::Move);
    ASSERT_FALSE(moves.empty());
    EXPECT_EQ(moves.back().x, 1000 / r.report.params.q);
    EXPECT_EQ(moves.back().y, 420);
    EXPECT_EQ(r.canvas.Count(CanvasOp::Line, kServoHeadColors[2]), 5u);
    // The priority went up for the run and back down.
    EXPECT_EQ(r.bench.host.priorityCalls, (std::vector<bool>{true, false}));
    EXPECT_FALSE(r.state.running);
    // Other types leave wrro.bin empty, but made anew.
    EXPECT_TRUE(fs::exists(r.wrro));
    EXPECT_EQ(fs::file_size(r.wrro), 0u);
}

TEST(ServoRun, ReadSectorReadsOneSectorReadTrackTheWholeTrack) {
    ServoRig track, sector;
    ASSERT_TRUE(track.Go(Settings("2000", "3000", "100", "1", kServoReadTrack)));
    ASSERT_TRUE(sector.Go(Settings("2000", "3000", "100", "1", kServoReadSector)));
    int64_t trackMs = 0, sectorMs = 0;
    for (const auto& o : track.report.heads[0].ops) trackMs += o.ms;
    for (const auto& o : sector.report.heads[0].ops) sectorMs += o.ms;
    // Same seeks and latencies; the track read adds about a revolution each.
    EXPECT_GE(trackMs - sectorMs, 10 * 7);
}

TEST(ServoRun, TimeOutMarksSlowOperationsAsFailures) {
    for (const char* timeOut : {"100", "0"}) {
        ServoRig r;
        VirtualDrive::Faults f;
        f.slowRegions.push_back({0, 3000, 3999, 150'000'000});  // 150 ms more on head 0
        r.bench.Drive().SetFaults(f);
        ASSERT_TRUE(r.Go(Settings("1000", "6000", "1000", "1", kServoReadTrack, timeOut)));
        const auto& ops = r.report.heads[0].ops;
        ASSERT_EQ(ops.size(), 5u);
        if (std::string(timeOut) == "100") {
            EXPECT_FALSE(ops[2].ok);
            EXPECT_EQ(ops[2].ms, 100);
            EXPECT_EQ(ops[2].y, 580 - 70);
            EXPECT_TRUE(ops[2].drawn);
            EXPECT_EQ(r.canvas.Count(CanvasOp::Line, kServoFailColor), 1u);
            EXPECT_EQ(r.report.heads[0].failed, 1);
            // The pen goes back to y0 - prevQ (the previous time in fifths of ms).
            const auto moves = r.canvas.Of(CanvasOp::Move);
            EXPECT_EQ(moves.back().y, 580 - ops[1].ms / 5);
        } else {
            EXPECT_TRUE(ops[2].ok);
            EXPECT_GE(ops[2].ms, 150);
        }
        EXPECT_TRUE(ops[3].ok);
    }
}

TEST(ServoRun, WrWrroPlotsTheValueAndKeepsEachSector) {
    ServoRig r;
    int z = 0;
    ASSERT_TRUE(LoadServoZoneTable(r.bench.wb, 0, z));
    const uint32_t last = r.bench.wb.defects.zones[static_cast<size_t>(z - 1)].end;
    // Beyond the last cylinder the drive refuses the position and has no
    // measurement to give: those points fail and write nothing.
    ServoSettings s = Settings(std::to_string(last - 2500).c_str(),
                               std::to_string(last + 3500).c_str(), "1000", "1", kServoWrWrro);
    ASSERT_TRUE(r.Go(s));
    const auto& ops = r.report.heads[0].ops;
    ASSERT_EQ(ops.size(), 6u);
    size_t good = 0;
    for (const ServoOpRecord& o : ops) {
        if (o.track <= last) {
            EXPECT_TRUE(o.ok) << o.track;
        } else {
            EXPECT_FALSE(o.ok) << o.track;
            continue;
        }
        EXPECT_GT(o.value, 0);
        EXPECT_LT(o.value, 80);
        EXPECT_EQ(o.y, 580 - o.value);
        ++good;
    }
    ASSERT_GE(good, 1u);
    ASSERT_LT(good, ops.size());
    const std::vector<uint8_t> bytes = r.WrroBytes();
    ASSERT_EQ(bytes.size(), good * 512);
    EXPECT_EQ(r.report.wrroSectors, good);
    // Each sector is the drive's result sector for that track, in test order.
    for (size_t i = 0; i < good; ++i) {
        const uint8_t* s = bytes.data() + 512 * i;
        EXPECT_EQ(s[0], 0x19);
        EXPECT_EQ(s[4] | s[5] << 8 | s[6] << 16, ops[i].track);
        EXPECT_EQ(s[18], ops[i].value);
    }
}

TEST(ServoRun, UnwritableWrroFileStartsNothing) {
    ServoRig r;
    const uint64_t commands = r.bench.Drive().CommandCount();
    r.wrro = r.dir.File("missing/wrro.bin");
    EXPECT_THROW(r.Go(Settings("0", "1000", "100", "1")), FileError);
    EXPECT_FALSE(r.state.running);
    EXPECT_TRUE(r.bench.host.priorityCalls.empty());
    EXPECT_EQ(r.bench.Drive().CommandCount(), commands);
    // A run stopped part-way keeps the sectors it had; the old file stays
    // until the run puts the new one in place.
    r.wrro = r.dir.File("wrro.bin");
    std::ofstream(r.wrro) << "old";
    int ops = 0;
    r.hooks.onOperation = [&](const ServoOpRecord&) {
        if (++ops == 3) r.state.stopRequested = true;
        EXPECT_EQ(fs::file_size(r.wrro), 3u);
    };
    ASSERT_TRUE(r.Go(Settings("0", "10000", "100", "1", kServoWrWrro)));
    EXPECT_TRUE(r.report.stopped);
    EXPECT_EQ(fs::file_size(r.wrro), 3u * 512u);
}

TEST(ServoRun, StopIsNotLostWhenASoftResetClearsTheAbortFlag) {
    ServoRig r;
    VirtualDrive::Faults f;
    f.slowRegions.push_back({0, 0, 200000, 400'000'000});  // every operation times out
    r.bench.Drive().SetFaults(f);
    int ops = 0;
    r.hooks.onOperation = [&](const ServoOpRecord&) { ++ops; };
    r.bench.host.onProcessMessages = [&] {
        if (r.bench.host.processMessagesCalls == 20) {
            // STOP, and then the time-out's channel reset clears the abort flag.
            r.state.stopRequested = true;
            r.bench.wb.link.abort = false;
        }
    };
    ASSERT_TRUE(r.Go(Settings("0", "100000", "100", "4", kServoReadTrack, "100")));
    EXPECT_TRUE(r.report.stopped);
    EXPECT_LE(ops, 1);
}

TEST(ServoRun, FromZonesTakesEachHeadsEndAndKeepsItWhenATableIsMissing) {
    ServoRig r;
    r.bench.wb.defects.roylFormat = true;
    std::vector<std::string> tracks;
    r.hooks.setTracksText = [&](const std::string& t) { tracks.push_back(t); };
    // Head 1's zone table is refused once head 0's has been read.
    r.hooks.onZoneTable = [&](int) {
        VirtualDrive::Faults f;
        f.actionStatus[0x0D] = 0x0104;
        r.bench.Drive().SetFaults(f);
    };
    ServoSettings s = Settings("0", "1000", "$7FFFFFFF", "2", kServoSeek);
    s.fromZones = true;
    ASSERT_TRUE(r.Go(s));
    ASSERT_EQ(r.report.heads.size(), 2u);
    EXPECT_GT(r.report.heads[0].end, 200000);
    EXPECT_EQ(tracks, std::vector<std::string>{
                          ServoTracksText(static_cast<uint32_t>(r.report.heads[0].end))});
    EXPECT_EQ(r.report.heads[1].end, r.report.heads[0].end);
    EXPECT_EQ(r.report.heads[1].ops.size(), 1u);
}
