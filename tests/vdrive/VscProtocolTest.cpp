// The vendor command set as a host sees it through Execute: VSC mode, keys,
// status sector, data phases, and what the actions do.
#include <gtest/gtest.h>

#include "VscHost.h"
#include "vdrive/SampleServiceArea.h"
#include "vdrive/VirtualPortIo.h"
#include "vdrive/VscEngine.h"

namespace qm {
namespace {

using test::FakeClock;
using test::SmartLog;
using test::VscHost;

class Vsc : public ::testing::Test {
  protected:
    Vsc() : drive(VirtualDrive::SampleContent()), host(drive) { drive.SetClock(clock.Fn()); }
    FakeClock clock;
    VirtualDrive drive;
    VscHost host;
};

TEST_F(Vsc, KeysAndStatusAreRefusedUntilVscModeIsEntered) {
    EXPECT_TRUE(host.Key({0x08, 1, 0x21}).Failed());
    EXPECT_EQ(host.Key({0x08, 1, 0x21}).error, kErrorAbrt);
    EXPECT_TRUE(drive.Execute(SmartLog(0xD5, 0xBE, 1)).Failed());
    // A wrong signature does not open it.
    TaskFile wrong = test::VscEnable();
    wrong.lbaHigh = 0x58;
    EXPECT_TRUE(drive.Execute(wrong).Failed());
    EXPECT_FALSE(drive.VscMode());
    // The second-try enable (READ LOG 0xBB, no data) opens it too.
    const AtaReply r = drive.Execute(SmartLog(0xD5, 0xBB, 0));
    EXPECT_FALSE(r.Failed());
    EXPECT_TRUE(r.data.empty());
    EXPECT_TRUE(drive.VscMode());
    EXPECT_FALSE(host.Key({0x08, 1, 0x21}).Failed());
    // The disable command (features 0x44) closes it again.
    EXPECT_FALSE(drive.Execute(test::VscEnable(0x44)).Failed());
    EXPECT_FALSE(drive.VscMode());
    // The channel learns it before any data: no DRQ for a refused key.
    EXPECT_EQ(drive.DataOutSectors(SmartLog(0xD6, 0xBE, 1)), 0u);
    ASSERT_TRUE(host.Enable());
    EXPECT_EQ(drive.DataOutSectors(SmartLog(0xD6, 0xBE, 1)), 1u);
}

TEST_F(Vsc, ModuleReadsInChunksAndWritesBackWithAValidChecksum) {
    std::vector<uint8_t> plist;
    ASSERT_TRUE(host.ReadModule(0x33, plist));
    EXPECT_EQ(plist, *drive.ServiceAreaNow().Module(0x33));
    EXPECT_GT(plist.size(), 256u * 512);  // more than two chunks of 128
    // Status right after the key announces the sectors.
    host.Key({0x08, 1, 0x33});
    EXPECT_EQ(host.Returned(), plist.size() / 512);

    std::vector<uint8_t> script;
    ASSERT_TRUE(host.ReadModule(0x28, script));
    script[0x3A] ^= 0x40;  // edit a step, reseal
    SealImage(script);
    ASSERT_TRUE(host.WriteModule(0x28, script));
    std::vector<uint8_t> back;
    ASSERT_TRUE(host.ReadModule(0x28, back));
    EXPECT_EQ(back, script);

    // A bad checksum is refused and the module stays as it was.
    script[0x3B] ^= 1;
    EXPECT_FALSE(host.WriteModule(0x28, script));
    EXPECT_EQ(host.Word(), kVscBadChecksum);
    ASSERT_TRUE(host.ReadModule(0x28, back));
    EXPECT_NE(back, script);
}

TEST_F(Vsc, UnknownModulesTablesActionsAndOutOfOrderDataGiveStatusWords) {
    ASSERT_TRUE(host.Enable());
    host.Key({0x08, 1, 0x7777});
    EXPECT_EQ(host.Word(), kVscNoModule);
    EXPECT_TRUE(host.Read(1).Failed());  // nothing to send
    host.Key({0x08, 2, 0x7777});
    EXPECT_EQ(host.Word(), kVscNoModule);
    host.Key({0x0D, 0x0D, 9});
    EXPECT_EQ(host.Word(), kVscNoTable);
    host.Key({0x6B});
    EXPECT_EQ(host.Word(), kVscUnknownAction);
    host.Key({0x08, 1, 0x0A});
    EXPECT_EQ(host.Word(), 0);
    EXPECT_TRUE(host.Read(2).Failed());  // more than announced
    EXPECT_EQ(host.Word(), kVscTransferError);
    // Writing takes exactly the announced sectors.
    host.Key({0x08, 2, 0x0A});
    EXPECT_EQ(drive.DataOutSectors(SmartLog(0xD6, 0xBF, 2)), 0u);
    EXPECT_EQ(drive.DataOutSectors(SmartLog(0xD6, 0xBF, 1)), 1u);
}

TEST_F(Vsc, DriveTablesComeOneSectorAtATime) {
    std::vector<uint8_t> config, zones, old;
    ASSERT_TRUE(host.ReadTable(1, 0, config));
    ASSERT_EQ(config.size(), 512u);
    EXPECT_EQ(config[30], kSampleHeads);
    EXPECT_EQ(GetU16(config.data() + 34), kSampleWedges);
    ASSERT_TRUE(host.ReadTable(0x0D, 3, zones));
    EXPECT_EQ(zones[2], kSampleZones);
    ASSERT_TRUE(host.ReadTable(5, 1, old));
    EXPECT_EQ(old.size(), 1024u);
    EXPECT_EQ(old[2], kSampleZones);
}

TEST_F(Vsc, PowerOnResetKeepsTheDriveBusyThenLeavesVscMode) {
    ASSERT_TRUE(host.Enable());
    EXPECT_FALSE(host.Key({0x1C, 1}).Failed());  // the key itself completes
    EXPECT_GT(drive.BusyFor(), 0);
    EXPECT_TRUE(drive.Execute(SmartLog(0xD5, 0xBE, 1)).Failed());  // busy: refused
    TaskFile identify;
    identify.command = 0xEC;
    EXPECT_TRUE(drive.Execute(identify).Failed());
    clock.AdvanceMs(1499);
    EXPECT_GT(drive.BusyFor(), 0);
    clock.AdvanceMs(1);
    EXPECT_EQ(drive.BusyFor(), 0);
    EXPECT_FALSE(drive.Execute(identify).Failed());
    EXPECT_FALSE(drive.VscMode());
    EXPECT_TRUE(host.Key({0x08, 1, 0x21}).Failed());
}

TEST_F(Vsc, ChannelShowsBsyWhileTheDriveIsBusyAndTakesNoCommand) {
    VirtualPortIo io(&drive);
    ASSERT_TRUE(host.Enable());
    host.Key({0x12, 5000, 0, 1, 1});  // a seek
    ASSERT_GT(drive.BusyFor(), 0);
    EXPECT_EQ(io.ReadIoPortByte(0x1F7) & kStatusBsy, kStatusBsy);
    const uint64_t before = drive.CommandCount();
    io.WriteIoPortByte(0x1F7, 0xEC);
    EXPECT_EQ(drive.CommandCount(), before);
    clock.AdvanceMs(100);
    EXPECT_EQ(io.ReadIoPortByte(0x1F7) & kStatusBsy, 0);
}

TEST_F(Vsc, SingleStepTestRunReportsProgressThenItsResult) {
    ASSERT_TRUE(host.Enable());
    std::vector<uint8_t> record(0x88, 0);
    PutU16(record.data(), 0xA1);
    PutU16(record.data() + 2, 2);
    host.Key({0x19, 3}, record);
    auto s = host.Status();
    EXPECT_EQ(GetU16(s.data() + 24), 0);
    EXPECT_EQ(s[0x36], 6);  // PST test in progress
    EXPECT_EQ(GetU16(s.data() + 0x190), 0xA1);
    EXPECT_EQ(GetU16(s.data() + 0x192), 2);
    EXPECT_EQ(GetU16(s.data() + 0x194), 0x19);
    uint16_t last = GetU16(s.data() + 0x68);
    uint32_t lastLba = GetU32(s.data() + 0x38);
    for (int i = 0; i < 5; ++i) {
        clock.AdvanceMs(1000);
        s = host.Status();
        EXPECT_EQ(s[0x36], 6);
        EXPECT_GT(GetU16(s.data() + 0x68), last);
        EXPECT_GT(GetU32(s.data() + 0x38), lastLba);
        EXPECT_LT(s[0x44], kSampleHeads);
        last = GetU16(s.data() + 0x68);
        lastLba = GetU32(s.data() + 0x38);
    }
    EXPECT_LT(last, 1000);
    clock.AdvanceMs(1000);
    s = host.Status();
    EXPECT_EQ(s[0x36], 0);
    EXPECT_EQ(GetU16(s.data() + 0x68), 1000);
    EXPECT_EQ(GetU16(s.data() + 0x196), 0);
    EXPECT_EQ(s[0x4A], 38);  // the temperature S.M.A.R.T. reports

    // An END step finishes at once; a test result fault shows as ExtErrCode.
    VirtualDrive::Faults f;
    f.testResult = 0x7611;
    drive.SetFaults(f);
    PutU16(record.data(), 0xDC);
    host.Key({0x19, 3}, record);
    s = host.Status();
    EXPECT_EQ(s[0x36], 0);
    EXPECT_EQ(GetU16(s.data() + 0x196), 0x7611);
}

TEST_F(Vsc, IdleTimerReadsAndWritesTheWayIdle3ToolsDo) {
    ASSERT_TRUE(host.Enable());
    host.Key({0x2A, 1, 2, 0x0D, 0x16, 1});
    AtaReply r = host.Read(1);  // peers read straight after the key
    ASSERT_EQ(r.data.size(), 512u);
    EXPECT_EQ(r.data[0], 80);
    host.Key({0x2A, 2, 2, 0x0D, 0x16, 1});
    std::vector<uint8_t> sector(512, 0);
    sector[0] = 0x8A;
    EXPECT_FALSE(host.Write(1, sector.data()).Failed());
    host.Key({0x2A, 1, 2, 0x0D, 0x16, 1});
    EXPECT_EQ(host.Read(1).data[0], 0x8A);
    host.Key({0x2A, 1, 2, 0x0D, 0x17, 1});
    EXPECT_EQ(host.Word(), kVscBadParameter);
}

// Time from the key to ready for one servo operation.
int64_t OpTime(VirtualDrive& d, FakeClock& clock, VscHost& host,
               std::initializer_list<uint16_t> key) {
    host.Key(key);
    const int64_t t = d.BusyFor();
    clock.now += t;
    return t;
}

TEST_F(Vsc, ServoOperationsTakeLongerTheFartherTheHeadsMove) {
    ASSERT_TRUE(host.Enable());
    OpTime(drive, clock, host, {0x12, 0, 0, 0, 1});  // park at cylinder 0
    const int64_t none = OpTime(drive, clock, host, {0x12, 0, 0, 0, 1});
    OpTime(drive, clock, host, {0x12, 0, 0, 0, 1});
    const int64_t shortSeek = OpTime(drive, clock, host, {0x12, 100, 0, 0, 1});
    OpTime(drive, clock, host, {0x12, 0, 0, 0, 1});
    const int64_t mid = OpTime(drive, clock, host, {0x12, 0xC350, 0, 0, 1});  // 50 000
    OpTime(drive, clock, host, {0x12, 0, 0, 0, 1});
    const int64_t full = OpTime(drive, clock, host, {0x12, 0x0D40, 3, 0, 1});  // 200 000
    EXPECT_EQ(none, 0);
    EXPECT_LT(shortSeek, mid);
    EXPECT_LT(mid, full);
    EXPECT_GT(full, 10'000'000);
    EXPECT_LT(full, 20'000'000);
    // A track read adds a revolution (and latency) to the seek.
    OpTime(drive, clock, host, {0x12, 0, 0, 0, 1});
    const int64_t read = OpTime(drive, clock, host, {0x0C, 1, 100, 0, 0, 1, 2000});
    EXPECT_GT(read, shortSeek + 8'000'000);
    // Beyond the last cylinder or head: an error word, no time.
    host.Key({0x12, 0xFFFF, 0x7F, 0, 1});
    EXPECT_EQ(host.Word(), kVscOutOfRange);
    host.Key({0x12, 0, 0, 9, 1});
    EXPECT_EQ(host.Word(), kVscOutOfRange);
    EXPECT_EQ(drive.BusyFor(), 0);
}

TEST_F(Vsc, RunoutResultSectorCarriesWrroAtByte18) {
    ASSERT_TRUE(host.Enable());
    host.Key({0x8052, 0x0A01, 0, 0, 0x4E20, 0, 2, 1});  // settle at 20 000, head 2
    EXPECT_TRUE(host.Status().empty());                 // busy settling
    clock.now += drive.BusyFor();
    EXPECT_EQ(host.Word(), 0);
    host.Key({0x10, 1, 0x201E, 0, 0, 0, 0x19});
    EXPECT_EQ(host.Returned(), 1u);
    const AtaReply r = host.Read(1);
    ASSERT_EQ(r.data.size(), 512u);
    const uint16_t wrro = GetU16(r.data.data() + 18);
    EXPECT_GT(wrro, 0);
    EXPECT_LT(wrro, 80);
    EXPECT_EQ(GetU32(r.data.data() + 4), 20000u);
    EXPECT_EQ(r.data[8], 2);
    // A write of sectors by cylinder takes the announced data.
    host.Key({0x0C, 2, 10, 0, 1, 1, 1});
    clock.now += drive.BusyFor();
    EXPECT_EQ(host.Returned(), 1u);
    std::vector<uint8_t> sector(512, 0x5A);
    EXPECT_FALSE(host.Write(1, sector.data()).Failed());
    EXPECT_EQ(host.Word(), 0);
}

TEST_F(Vsc, TrackReadOfCountZeroReadsTheWholeTrack) {
    ASSERT_TRUE(host.Enable());
    OpTime(drive, clock, host, {0x12, 100, 0, 0, 1});
    const int64_t one = OpTime(drive, clock, host, {0x0C, 1, 100, 0, 0, 1, 1});
    const int64_t whole = OpTime(drive, clock, host, {0x0C, 1, 100, 0, 0, 1, 0});
    // Same track, same latency: the whole track adds close to a revolution (8.33 ms).
    EXPECT_GT(whole - one, 8'000'000);
    EXPECT_LT(whole - one, 8'400'000);
}

TEST_F(Vsc, ResultReadAfterAFailedSettleOrPositionHasNoMeasurement) {
    ASSERT_TRUE(host.Enable());
    OpTime(drive, clock, host, {0x8052, 0x0A01, 0, 0, 100, 0, 1, 1});
    host.Key({0x10, 1, 0x201E, 0, 0, 0, 0x19});
    EXPECT_EQ(host.Word(), 0);
    host.Key({0x8052, 0x0A01, 0, 0, 0xFFFF, 0x7F, 1, 1});  // beyond the last cylinder
    EXPECT_EQ(host.Word(), kVscOutOfRange);
    host.Key({0x10, 1, 0x201E, 0, 0, 0, 0x19});
    EXPECT_EQ(host.Word(), kVscNoMeasurement);
    EXPECT_EQ(host.Returned(), 0u);
    // A good settle measures again; a failed re-position voids it.
    OpTime(drive, clock, host, {0x8052, 0x0A01, 0, 0, 100, 0, 1, 1});
    host.Key({0x12, 0, 0, 9, 1});
    host.Key({0x10, 1, 0x201E, 0, 0, 0, 0x1A});
    EXPECT_EQ(host.Word(), kVscNoMeasurement);
}

TEST_F(Vsc, SoftResetEndsAMediaOperationButNotARestart) {
    VirtualPortIo io(&drive);
    ASSERT_TRUE(host.Enable());
    host.Key({0x8052, 0x0A01, 0, 0, 0x4E20, 0, 2, 1});  // settle: about 20 ms
    ASSERT_GT(drive.BusyFor(), 5'000'000);
    io.WriteIoPortByte(0x3F6, 0x0C);  // SRST
    io.WriteIoPortByte(0x3F6, 0x08);
    EXPECT_LE(drive.BusyFor(), VscEngine::kSoftResetNanos);
    clock.now += drive.BusyFor();
    host.Key({0x10, 1, 0x201E, 0, 0, 0, 0x19});  // the settle never finished
    EXPECT_EQ(host.Word(), kVscNoMeasurement);
    // A power-on reset runs its course.
    host.Key({0x1C, 1});
    const int64_t restart = drive.BusyFor();
    io.WriteIoPortByte(0x3F6, 0x0C);
    io.WriteIoPortByte(0x3F6, 0x08);
    EXPECT_EQ(drive.BusyFor(), restart);
}

TEST_F(Vsc, StatusSectorTellsWhereTheHeadsAreAndWhatRan) {
    ASSERT_TRUE(host.Enable());
    host.Key({0x12, 0x86A0, 1, 1, 1});  // cylinder 100 000, head 1
    clock.now += drive.BusyFor();
    const auto s = host.Status();
    EXPECT_EQ(GetU32(s.data() + 0x40), 100000u);
    EXPECT_EQ(s[0x44], 1);
    const auto zones = ParseRoylZoneTable(*drive.ServiceAreaNow().Table(0x0D, 1));
    EXPECT_GE(100000u, zones[s[0x45]].start);
    EXPECT_LE(100000u, zones[s[0x45]].end);
    EXPECT_EQ(GetU16(s.data() + 0x194), 0x12);
    EXPECT_EQ(s[0x07], 0xB0);  // last ATA command: the SMART log read of this status
    EXPECT_EQ(s[0x36], 0);
}

}  // namespace
}  // namespace qm
