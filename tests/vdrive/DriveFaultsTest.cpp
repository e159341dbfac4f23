// Faults the drive can be told to show, from tests and from drive.ini.
#include <gtest/gtest.h>

#include "VscHost.h"
#include "common/Ini.h"
#include "vdrive/VirtualPortIo.h"
#include "vdrive/VscEngine.h"

namespace qm {
namespace {

using test::FakeClock;
using test::SmartLog;
using test::VscHost;

class Faults : public ::testing::Test {
  protected:
    Faults() : drive(VirtualDrive::SampleContent()), host(drive) { drive.SetClock(clock.Fn()); }
    void Set(const VirtualDrive::Faults& f) { drive.SetFaults(f); }
    FakeClock clock;
    VirtualDrive drive;
    VscHost host;
};

TEST_F(Faults, StatusWordForAnActionOrAModule) {
    VirtualDrive::Faults f;
    f.actionStatus[0x0D] = 0x0E05;
    f.moduleStatus[0x34] = 0x3603;
    f.moduleStatus[0x33] = 0x0F01;
    Set(f);
    std::vector<uint8_t> image;
    EXPECT_FALSE(host.ReadTable(1, 0, image));
    EXPECT_EQ(host.Word(), 0x0E05);
    EXPECT_TRUE(host.Read(1).Failed());  // refused: no data phase
    EXPECT_FALSE(host.ReadModule(0x33, image));
    EXPECT_EQ(host.Word(), 0x0F01);
    // 0x3603 shows after the key but the transfer goes on and ends well.
    host.Key({0x08, 1, 0x34});
    EXPECT_EQ(host.Word(), 0x3603);
    EXPECT_TRUE(host.ReadModule(0x34, image));
    EXPECT_EQ(image, *drive.ServiceAreaNow().Module(0x34));
    EXPECT_TRUE(host.ReadModule(0x21, image));  // other modules are untouched
}

TEST_F(Faults, ErrOnTheNthChunkFailsTheTransfer) {
    VirtualDrive::Faults f;
    f.errOnChunk = 2;
    Set(f);
    ASSERT_TRUE(host.Enable());
    host.Key({0x08, 1, 0x33});
    const uint32_t sectors = host.Returned();
    ASSERT_GT(sectors, 256u);
    EXPECT_FALSE(host.Read(128).Failed());
    const AtaReply bad = host.Read(128);
    EXPECT_TRUE(bad.Failed());
    EXPECT_TRUE(bad.data.empty());
    EXPECT_TRUE(host.Read(static_cast<uint8_t>(sectors - 256)).Failed());
    EXPECT_EQ(host.Word(), kVscTransferError);
    // The count restarts with new faults; a write chunk fails the same way.
    f.errOnChunk = 1;
    Set(f);
    std::vector<uint8_t> m = *drive.ServiceAreaNow().Module(0x0A);
    m[kRoylHeaderLength + 8] = 0x42;
    SealImage(m);
    EXPECT_FALSE(host.WriteModule(0x0A, m));
    EXPECT_NE(*drive.ServiceAreaNow().Module(0x0A), m);
}

TEST_F(Faults, ShortChunkDeliversFewerSectorsAndDrqDropsEarly) {
    VirtualDrive::Faults f;
    f.shortChunk = 1;
    Set(f);
    ASSERT_TRUE(host.Enable());
    host.Key({0x08, 1, 0x28});
    EXPECT_EQ(host.Read(4).data.size(), 2u * 512);

    // On the register channel: after two sectors DRQ is gone.
    Set(f);
    VirtualPortIo io(&drive);
    host.Key({0x08, 1, 0x28});
    const TaskFile tf = SmartLog(0xD5, 0xBF, 4);
    io.WriteIoPortByte(0x1F1, tf.features);
    io.WriteIoPortByte(0x1F2, tf.sectorCount);
    io.WriteIoPortByte(0x1F3, tf.lbaLow);
    io.WriteIoPortByte(0x1F4, tf.lbaMid);
    io.WriteIoPortByte(0x1F5, tf.lbaHigh);
    io.WriteIoPortByte(0x1F6, 0xA0);
    io.WriteIoPortByte(0x1F7, tf.command);
    while (io.ReadIoPortByte(0x1F7) & kStatusBsy) {
    }
    int words = 0;
    while ((io.ReadIoPortByte(0x1F7) & kStatusDrq) && words < 4 * 256) {
        io.ReadIoPortWord(0x1F0);
        ++words;
    }
    EXPECT_EQ(words, 2 * 256);
}

TEST_F(Faults, RemovalAfterNChunksEndsEverything) {
    VirtualDrive::Faults f;
    f.removeAfterChunks = 1;
    Set(f);
    VirtualPortIo io(&drive);
    ASSERT_TRUE(host.Enable());
    host.Key({0x08, 1, 0x33});
    EXPECT_EQ(host.Read(128).data.size(), 128u * 512);  // the last chunk still arrives
    EXPECT_TRUE(drive.TakeDeviceCallFailure());
    EXPECT_TRUE(host.Read(128).Failed());
    EXPECT_TRUE(drive.Removed());
    TaskFile identify;
    identify.command = 0xEC;
    EXPECT_TRUE(drive.Execute(identify).Failed());
    EXPECT_EQ(io.ReadIoPortByte(0x1F7), 0xFF);
    EXPECT_EQ(io.ReadIoPortWord(0x1F0), 0xFFFF);
}

TEST_F(Faults, StuckBusyFailingCallsAndSlowCommands) {
    VirtualDrive::Faults f;
    f.failDeviceCalls = 2;
    f.slowNanos = 250'000'000;
    Set(f);
    EXPECT_TRUE(drive.TakeDeviceCallFailure());
    EXPECT_TRUE(drive.TakeDeviceCallFailure());
    EXPECT_FALSE(drive.TakeDeviceCallFailure());
    ASSERT_TRUE(host.Enable());
    host.Key({0x08, 1, 0x0A});
    EXPECT_EQ(drive.BusyFor(), 250'000'000);
    clock.AdvanceMs(250);
    EXPECT_EQ(host.Word(), 0);

    f = {};
    f.stuckBusy = true;
    Set(f);
    VirtualPortIo io(&drive);
    clock.AdvanceMs(3'600'000);
    EXPECT_GT(drive.BusyFor(), 0);
    EXPECT_EQ(io.ReadIoPortByte(0x1F7) & kStatusBsy, kStatusBsy);
    EXPECT_TRUE(host.Status().empty());
}

TEST_F(Faults, SlowRegionsShowInTheServoTimes) {
    ASSERT_TRUE(host.Enable());
    auto readAt = [&](uint16_t cyl) {
        host.Key({0x12, cyl, 0, 1, 1});
        clock.now += drive.BusyFor();
        host.Key({0x25, 1, cyl, 0, 1});
        const int64_t t = drive.BusyFor();
        clock.now += t;
        return t;
    };
    const int64_t before = readAt(1000);
    VirtualDrive::Faults f;
    f.slowRegions.push_back({1, 900, 1100, 30'000'000});
    Set(f);
    EXPECT_EQ(readAt(1000), before + 30'000'000);
    EXPECT_LT(readAt(1200), before + 30'000'000);
}

TEST(FaultKeys, DriveIniFaultsAndTimingParse) {
    const IniFile ini = IniFile::Parse(
        "[Timing]\nResetMs=250\nTestRunMs=$3E8\nSlowRegion1=2,100,200,15\n"
        "[Faults]\nActionStatus.0D=0x0E05\nModuleStatus.33=$3603\nErrOnChunk=3\nShortChunk=2\n"
        "RemoveAfterChunks=7\nStuckBusy=1\nFailDeviceCalls=-1\nSlowMs=40\nTestResult=0x7611\n"
        "SlowRegion.a=0,0,10,5\nModuleFinalStatus.21=0x3603\nRefuseStatusRead=2\n");
    DriveTiming t;
    DriveFaults f;
    std::string error;
    ASSERT_TRUE(ParseDriveBehaviour(ini, t, f, error)) << error;
    EXPECT_EQ(t.resetNanos, 250'000'000);
    EXPECT_EQ(t.testRunNanos, 1'000'000'000);
    ASSERT_EQ(t.slowRegions.size(), 1u);
    EXPECT_EQ(t.slowRegions[0].head, 2);
    EXPECT_EQ(t.slowRegions[0].extraNanos, 15'000'000);
    EXPECT_EQ(f.actionStatus.at(0x0D), 0x0E05);
    EXPECT_EQ(f.moduleStatus.at(0x33), 0x3603);
    EXPECT_EQ(f.moduleFinalStatus.at(0x21), 0x3603);
    EXPECT_EQ(f.refuseStatusRead, 2u);
    EXPECT_EQ(f.errOnChunk, 3u);
    EXPECT_EQ(f.shortChunk, 2u);
    EXPECT_EQ(f.removeAfterChunks, 7u);
    EXPECT_TRUE(f.stuckBusy);
    EXPECT_EQ(f.failDeviceCalls, -1);
    EXPECT_EQ(f.slowNanos, 40'000'000);
    EXPECT_EQ(f.testResult, 0x7611);
    ASSERT_EQ(f.slowRegions.size(), 1u);

    for (const char* bad : {"[Faults]\nErrOnChunk=x\n", "[Faults]\nModuleStatus.ZZ=1\n",
                            "[Faults]\nActionStatus.08=0x10000\n", "[Faults]\nSlowRegion=1,5,2,3\n",
                            "[Timing]\nSlowRegion=1,2\n", "[Faults]\nStuckBusy=2\n"}) {
        DriveTiming t2;
        DriveFaults f2;
        EXPECT_FALSE(ParseDriveBehaviour(IniFile::Parse(bad), t2, f2, error)) << bad;
        EXPECT_FALSE(error.empty());
    }
}

}  // namespace
}  // namespace qm
