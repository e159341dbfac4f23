// Following a background job: the monitor's poll over recorded status frames
// and over the virtual drive's own step runs, failing reads and a STOP.
#include <gtest/gtest.h>

#include <array>

#include "TempDir.h"
#include "common/Bytes.h"
#include "common/ScriptedHost.h"
#include "common/Workbench.h"
#include "defects/ProgressPoll.h"
#include "vdrive/Mount.h"
#include "vendor/Vsc.h"

namespace qm {
namespace {

std::string Frame(uint8_t background, uint16_t progress, int32_t cylinder = 0) {
    std::array<uint8_t, 512> s{};
    s[0x36] = background;
    PutU16(s.data() + 0x68, progress);
    PutU32(s.data() + 0x40, static_cast<uint32_t>(cylinder));
    PutU16(s.data() + 0x190, 0xA1);
    return std::string(s.begin(), s.end());
}

struct Follow : ::testing::Test {
    Follow() : wb(host) {
        host.counterStep = 5000;  // 5 ms of the fake counter per reading
        dir.Write("Errors.ini", "[ERRORS]\n0x7611=step failed\n0x0031=second\n0x1D0B0=dbs\n");
        dir.Write("ModDescr.ini", "[Desc]\nA1=Calibrate\n");
        wb.programFolder = dir.path.string();
    }
    void Mount(const std::string& ini) {
        dir.Write("drive.ini", "[Identity]\nModel=WDC TEST\n" + ini);
        std::string error;
        ASSERT_TRUE(MountVirtualDrive(dir.path.string(), mounted, error)) << error;
        mounted.AttachTo(wb);
        wb.link.mode = TransportMode::AtaPassThrough;
        wb.link.ataHandle = wb.deviceIo->Open("/dev/qmvd0");
        EnableVsc(wb);
    }
    FollowResult Run(bool untilIdle, std::vector<std::string>* shown = nullptr) {
        FollowOptions options;
        options.untilIdle = untilIdle;
        return FollowProgress(wb, options, [&](const ProgressPoll& p, bool changed) {
            if (changed && shown) shown->push_back(FollowLine(p));
        });
    }
    test::TempDir dir;
    ScriptedHost host;
    Workbench wb;
    MountedDrive mounted;
};

TEST_F(Follow, RecordedFramesShowOnlyChangesAndEndWhenIdle) {
    dir.Write("status-frames.bin",
              Frame(6, 100) + Frame(6, 100) + Frame(6, 500, -5) + Frame(0, 1000));
    Mount("");
    std::vector<std::string> shown;
    const FollowResult r = Run(true, &shown);
    EXPECT_EQ(r.end, FollowEnd::Idle);
    EXPECT_EQ(r.polls, 4u);
    ASSERT_EQ(shown.size(), 3u);
    EXPECT_EQ(shown[0],
              "00:00:00 06 00 (ACTIVE) PST test in progress | 10.0%    | ID:A1  TST:0 | "
              "Calibrate THRESH SWEEP |  | LBA 0  (0) | Cyl 0  (0) | Head 0 | Zone 0 | "
              "Servo 0 : 0 | Temp 0 0 0 0 / 0 | 0000, 0000, 0000, 00000000, 00000000 |  | DBS ");
    EXPECT_NE(shown[1].find("| 50.0%    |"), std::string::npos);
    EXPECT_NE(shown[1].find("| Cyl -5  (-5) |"), std::string::npos);
    EXPECT_NE(shown[2].find("00 00 (ACTIVE) Idle | 100.0%"), std::string::npos);
    // The last frame repeats: a follow without --until-idle goes on until stopped.
    int polls = 0;
    host.onProcessMessages = [&] {
        if (++polls > 20) wb.link.abort = true;
    };
    EXPECT_EQ(Run(false).end, FollowEnd::Aborted);
}

TEST_F(Follow, AFailedStatusReadEndsTheWaitAsReadFailed) {
    Mount("[Tests]\nA1=600000\n[Faults]\nFailStatusReads=3\n");
    SendKey8(wb, 0x19, 3, 0xA1, 1, 0, 0, 0, 0);  // status read 1 follows the key
    std::vector<std::string> shown;
    const FollowResult r = Run(true, &shown);
    EXPECT_EQ(r.end, FollowEnd::ReadFailed);
    EXPECT_EQ(r.polls, 2u);  // read 2 shows the run, read 3 fails
    EXPECT_FALSE(r.last.readOk);
    EXPECT_EQ(r.last.fields.background, 0);  // zeros, not what the failed read left
    ASSERT_EQ(shown.size(), 2u);
}

TEST_F(Follow, RunResultAndFixedStatusFields) {
    Mount(
        "[Tests]\nA1=0,0x7611\n[Status]\nPower=0x41\nInitiatorCode=0xCAFE\n"
        "ServoGroupError=7\n[Faults]\nTestDbsCode=0x1D0B0\nTestSecondaryEcode=0x31\n");
    SendKey8(wb, 0x19, 3, 0xA1, 1, 0, 0, 0, 0);
    const FollowResult r = Run(true);
    EXPECT_EQ(r.end, FollowEnd::Idle);
    const StatusTexts& t = r.last.texts;
    EXPECT_EQ(t.edStatus, "0000, 7611, 0031, 00000001, 0000CAFE");
    EXPECT_EQ(t.edStatusTxt, " - second - step failed");
    EXPECT_EQ(t.edDBSCode, "dbs");
    EXPECT_EQ(t.edCurState, "00 41 (IDLE2) Idle");
    EXPECT_EQ(t.edServo, "1 : 7");
}

TEST_F(Follow, PollsKeepTheirPeriodAndAStopEndsTheWait) {
    Mount("[Tests]\nA1=600000\n");
    SendKey8(wb, 0x19, 3, 0xA1, 1, 0, 0, 0, 0);
    std::vector<int64_t> times;
    FollowOptions options;
    const FollowResult r = FollowProgress(wb, options, [&](const ProgressPoll& p, bool) {
        times.push_back(p.elapsedMs);
        if (times.size() == 10) wb.link.abort = true;  // a STOP during the tenth poll
    });
    EXPECT_EQ(r.end, FollowEnd::Aborted);
    ASSERT_EQ(times.size(), 10u);
    // The schedule is fixed from the start: poll k at k * 200 ms.
    EXPECT_GE(times[9], 1800);
    EXPECT_LT(times[9], 1800 + 100);
}

}  // namespace
}  // namespace qm
