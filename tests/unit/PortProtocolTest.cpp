// The port-I/O register protocol against a recording PortIo: write orders,
// waits, transfers and reset.
#include <gtest/gtest.h>

#include <cstring>

#include "common/ScriptedHost.h"
#include "common/Workbench.h"
#include "drive/Transport.h"
#include "drive/uATA.h"
#include "support/RecordingPortIo.h"

namespace qm {
namespace {

using test::PortAccess;
using test::RecordingPortIo;

PortAccess W(uint16_t port, uint8_t v) {
    return {PortAccess::WriteByte, port, v};
}

class PortProtocol : public ::testing::Test {
  protected:
    void SetUp() override {
        wb.portIo = &io;
        wb.link.basePort = 0x1F0;
        wb.link.controlPort = 0x3F6;
        io.sticky[0x1F7] = 0x50;  // DRDY | DSC: ready
        io.sticky[0x1F1] = 0x00;
    }
    ScriptedHost host;
    Workbench wb{host};
    RecordingPortIo io;
};

TEST_F(PortProtocol, WriteOrdersDeviceFirstCommandLast) {
    WriteTaskFile28(wb, 0x11, 0x22, 0x33, 0x44, 0x55, 0xA0, 0xEC);
    const std::vector<PortAccess> want28 = {W(0x1F6, 0xA0), W(0x1F1, 0x11), W(0x1F2, 0x22),
                                            W(0x1F3, 0x33), W(0x1F4, 0x44), W(0x1F5, 0x55),
                                            W(0x1F7, 0xEC)};
    EXPECT_EQ(io.Writes(), want28);

    io.log.clear();
    wb.link.deviceSelect = true;
    WriteTaskFile48(wb, 1, 2, 3, 4, 5, 0xA0, 0x24, 6, 7, 8, 9, 10);
    const std::vector<PortAccess> want48 = {
        W(0x1F6, 0xB0), W(0x1F1, 6), W(0x1F2, 7), W(0x1F3, 8), W(0x1F4, 9), W(0x1F5, 10),
        W(0x1F1, 1),    W(0x1F2, 2), W(0x1F3, 3), W(0x1F4, 4), W(0x1F5, 5), W(0x1F7, 0x24)};
    EXPECT_EQ(io.Writes(), want48);
}

TEST_F(PortProtocol, WaitReadyPollsUntilReadyThenReadsError) {
    io.byteAnswers[0x1F7] = {0x80, 0xD0, 0x40, 0x50};  // BSY, BSY, no DSC, ready
    WaitReady(wb);
    EXPECT_EQ(io.CountReads(0x1F7), 4u);
    EXPECT_EQ(io.CountReads(0x1F1), 1u);
    EXPECT_EQ(host.processMessagesCalls, 4u);
    EXPECT_EQ(host.sleepCalls, 4u);
    EXPECT_TRUE(wb.link.status.DRDY);
}

TEST_F(PortProtocol, AbortEndsEveryWaitAfterOnlyTheErrorRead) {
    io.byteAnswers[0x1F7] = {0x51};
    ReadStatus(wb);  // last status read: DRDY | DSC | ERR
    io.log.clear();
    wb.link.abort = true;
    WaitReady(wb);
    EXPECT_EQ(io.CountReads(0x1F7), 0u);
    EXPECT_EQ(io.CountReads(0x1F1), 1u);
    EXPECT_EQ(wb.link.status.Byte(), 0x51) << "status flags keep the last status read";

    io.log.clear();
    EXPECT_TRUE(TimedWaitReady(wb, 1000, 1));
    EXPECT_EQ(io.CountReads(0x1F7), 0u);
    EXPECT_EQ(io.CountReads(0x1F1), 1u);

    // A command issued with the flag already set still writes its seven
    // registers; the wait then reads only Error, and the command fails.
    io.log.clear();
    TaskFile tf;
    tf.command = 0xE5;
    EXPECT_FALSE(SendNonData(wb, tf, RegisterForm::Lba28));
    EXPECT_EQ(io.Writes().size(), 7u);
    EXPECT_EQ(io.Writes().back(), W(0x1F7, 0xE5));
    EXPECT_EQ(io.CountReads(0x1F7), 0u);
    EXPECT_EQ(io.CountReads(0x1F1), 1u);
}

TEST_F(PortProtocol, AbortRaisedWhileWaitingStopsAtTheNextCheck) {
    io.sticky[0x1F7] = 0x80;  // stuck busy
    host.onProcessMessages = [&] {
        if (host.processMessagesCalls == 3) wb.link.abort = true;
    };
    WaitReady(wb);
    EXPECT_EQ(io.CountReads(0x1F7), 2u);
    EXPECT_EQ(io.CountReads(0x1F1), 1u);
}

TEST_F(PortProtocol, TimedWaitTestsTimeBeforeReadiness) {
    // A whole unit elapses between the start and the first poll: false, though ready.
    host.counterStep = 1000;
    EXPECT_FALSE(TimedWaitReady(wb, 0, 1000));
    EXPECT_EQ(io.CountReads(0x1F1), 1u);
    // Ready before a whole unit has elapsed: true.
    host.counterStep = 999;
    EXPECT_TRUE(TimedWaitReady(wb, 0, 1000));
    // Busy drive, limit 2 units at one unit a poll: gives up on the third poll.
    io.log.clear();
    io.sticky[0x1F7] = 0x80;
    host.counterStep = 1000;
    EXPECT_FALSE(TimedWaitReady(wb, 2, 1000));
    EXPECT_EQ(io.CountReads(0x1F7), 3u);
}

TEST_F(PortProtocol, SectorTransfersMoveWholeSectorsAndStopOnAbort) {
    uint8_t buf[1024];
    io.wordAnswer = 0x0100;
    ReadSectors(wb, buf, 2);
    EXPECT_EQ(io.CountReads(0x1F0), 512u);
    EXPECT_EQ(buf[0], 0x00);
    EXPECT_EQ(buf[1], 0x01);  // little-endian words
    EXPECT_EQ(buf[1022], 0xFF);
    EXPECT_EQ(buf[1023], 0x02);

    io.log.clear();
    wb.link.abort = true;
    ReadSectors(wb, buf, 2);
    WriteSectors(wb, buf, 2);
    EXPECT_EQ(io.CountReads(0x1F0), 0u);
    EXPECT_TRUE(io.Writes().empty());
}

TEST_F(PortProtocol, ZeroSectorDataInWritesRegistersAndMovesNoData) {
    TaskFile tf;
    tf.command = 0x20;
    EXPECT_TRUE(SendDataIn(wb, tf, RegisterForm::Lba28, 0));
    EXPECT_EQ(io.Writes().size(), 7u);
    EXPECT_EQ(io.CountReads(0x1F0), 0u);
    EXPECT_FALSE(wb.link.status.ERR);
}

TEST_F(PortProtocol, SoftResetClearsAbortAndPulsesSrst) {
    wb.link.abort = true;
    SoftReset(wb);
    EXPECT_FALSE(wb.link.Aborted());
    const std::vector<PortAccess> want = {W(0x3F6, 0x0C), W(0x3F6, 0x08)};
    EXPECT_EQ(io.Writes(), want);
    EXPECT_EQ(host.sleepCalls, 2u);

    // Neither pass-through mode touches a port, and no wait spins on a
    // status that only the next command can change.
    for (TransportMode mode : {TransportMode::ScsiPassThrough, TransportMode::AtaPassThrough}) {
        io.log.clear();
        wb.link.mode = mode;
        wb.link.abort = true;
        SoftReset(wb);
        EXPECT_FALSE(wb.link.Aborted());
        wb.link.status.Set(0xD0);  // BSY from the last command
        ReadStatus(wb);
        ReadError(wb);
        WaitReady(wb);
        EXPECT_FALSE(TimedWaitReady(wb, 1000, 1));
        wb.link.status.Set(0x50);
        EXPECT_TRUE(TimedWaitReady(wb, 1000, 1));
        EXPECT_TRUE(io.log.empty()) << "pass-through touches no port";
    }
}

TEST_F(PortProtocol, SelectDeviceKeepsOtherDeviceBits) {
    io.byteAnswers[0x1F6] = {0xF5};
    SelectDevice(wb, 0);
    ASSERT_EQ(io.Writes().size(), 1u);
    EXPECT_EQ(io.Writes()[0], W(0x1F6, 0xE5));
}

TEST_F(PortProtocol, AbsentDriveFailsIdentifyWithZeroedSector) {
    std::memset(wb.link.Sectors(), 0x5A, 512);
    for (uint8_t floating : {uint8_t{0xFF}, uint8_t{0x00}}) {
        io.sticky[0x1F7] = floating;
        io.sticky[0x1F1] = floating;
        wb.link.abort = false;
        host.processMessagesCalls = 0;
        host.onProcessMessages = [&] {
            if (host.processMessagesCalls == 5) wb.link.abort = true;  // the user gives up
        };
        EXPECT_FALSE(IdentifyDevice(wb));
        EXPECT_TRUE(wb.link.status.ERR) << "floating bus " << int(floating);
        for (int i = 0; i < 512; ++i) ASSERT_EQ(wb.link.Sectors()[i], 0) << i;
    }
}

TEST_F(PortProtocol, IdentifyWithoutDrqReadsNothing) {
    io.sticky[0x1F7] = 0x50;  // ready but no data request
    EXPECT_FALSE(IdentifyDevice(wb));
    EXPECT_EQ(io.CountReads(0x1F0), 0u);
}

TEST_F(PortProtocol, TransfersLargerThanTheSectorCountAreRefused) {
    TaskFile tf;
    tf.command = 0x20;
    // 256 would go out as a count of 0 (65536 sectors in the 48-bit form).
    EXPECT_FALSE(SendDataIn(wb, tf, RegisterForm::Lba28, 256));
    EXPECT_TRUE(wb.link.status.ERR);
    EXPECT_TRUE(io.log.empty());
}

}  // namespace
}  // namespace qm
