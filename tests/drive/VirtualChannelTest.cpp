// The transport operations end to end over the register-level virtual channel.
#include <gtest/gtest.h>

#include <cstring>

#include "common/ScriptedHost.h"
#include "common/Workbench.h"
#include "drive/Identify.h"
#include "drive/Transport.h"
#include "drive/uATA.h"
#include "vdrive/VirtualDrive.h"
#include "vdrive/VirtualPortIo.h"

namespace qm {
namespace {

class VirtualChannel : public ::testing::Test {
  protected:
    explicit VirtualChannel(DriveContent c = VirtualDrive::SampleContent())
        : drive(std::move(c)), io(&drive) {
        wb.portIo = &io;
        wb.link.basePort = 0x1F0;
        wb.link.controlPort = 0x3F6;
        // A wait that has not ended after many polls is a hang: fail it.
        host.onProcessMessages = [this] {
            if (host.processMessagesCalls > 100000) wb.link.abort = true;
        };
    }
    ScriptedHost host;
    Workbench wb{host};
    VirtualDrive drive;
    VirtualPortIo io;
};

TEST_F(VirtualChannel, IdentifyReadsTheDrivesSector) {
    std::memset(wb.link.Sectors(), 0, 512);
    ASSERT_TRUE(IdentifyDevice(wb));
    EXPECT_EQ(std::memcmp(wb.link.Sectors(), drive.IdentifySector().data(), 512), 0);
    EXPECT_EQ(IdentityLine(ParseIdentity(wb.link.Sectors())),
              "WDC WD5000AAKS-00V1A0 FW:05.01D05 SN:WD-WCAWF1939879");
    EXPECT_FALSE(wb.link.status.DRQ);
    EXPECT_TRUE(wb.link.status.DRDY);
}

TEST_F(VirtualChannel, EmptyChannelWaitsUntilAbortThenLeavesZeros) {
    wb.link.basePort = 0x170;
    wb.link.controlPort = 0x376;
    std::memset(wb.link.Sectors(), 0x77, 512);
    host.onProcessMessages = [this] {
        if (host.processMessagesCalls == 50) wb.link.abort = true;
    };
    EXPECT_FALSE(IdentifyDevice(wb));
    EXPECT_TRUE(wb.link.status.ERR);
    EXPECT_TRUE(wb.link.status.BSY) << "an empty channel floats at 0xFF";
    for (int i = 0; i < 512; ++i) ASSERT_EQ(wb.link.Sectors()[i], 0);
}

TEST_F(VirtualChannel, NoSlaveOnTheChannel) {
    wb.link.deviceSelect = true;
    host.onProcessMessages = [this] {
        if (host.processMessagesCalls == 20) wb.link.abort = true;
    };
    EXPECT_FALSE(IdentifyDevice(wb));
    EXPECT_EQ(drive.CommandCount(), 0u);
}

TEST_F(VirtualChannel, SectorsWrittenReadBackIn28And48BitForms) {
    for (int i = 0; i < 3 * 512; ++i) wb.link.Sectors()[i] = static_cast<uint8_t>(i * 7);
    TaskFile w;
    w.command = 0x34;  // WRITE SECTORS EXT at LBA 0x01000123
    w.sectorCount = 3;
    w.lbaLow = 0x23;
    w.lbaMid = 0x01;
    w.prevLbaLow = 0x01;
    w.device = 0xE0;
    ASSERT_TRUE(SendDataOut(wb, w, RegisterForm::Lba48, 3));
    std::memset(wb.link.Sectors(), 0, 3 * 512);
    TaskFile r = w;
    r.command = 0x24;
    ASSERT_TRUE(SendDataIn(wb, r, RegisterForm::Lba48, 3));
    for (int i = 0; i < 3 * 512; ++i) ASSERT_EQ(wb.link.Sectors()[i], static_cast<uint8_t>(i * 7));
    // The same LBA in 28-bit form is another sector, which was never written.
    TaskFile r28 = r;
    r28.command = 0x20;
    r28.sectorCount = 1;
    ASSERT_TRUE(SendDataIn(wb, r28, RegisterForm::Lba28, 1));
    EXPECT_EQ(wb.link.Sectors()[1], 0);
}

TEST_F(VirtualChannel, SmartStatusComesBackInTheLbaRegisters) {
    TaskFile tf;
    tf.command = 0xB0;
    tf.features = 0xDA;
    tf.lbaMid = 0x4F;
    tf.lbaHigh = 0xC2;
    ASSERT_TRUE(SendNonData(wb, tf, RegisterForm::Lba28));
    const ResultRegisters r = ReadResultRegisters(wb);
    EXPECT_EQ(r.lbaMid, 0x4F);
    EXPECT_EQ(r.lbaHigh, 0xC2);

    tf.features = 0xD0;  // READ DATA
    ASSERT_TRUE(SendDataIn(wb, tf, RegisterForm::Lba28, 1));
    EXPECT_EQ(std::memcmp(wb.link.Sectors(), drive.Content().smartData.data(), 512), 0);
}

TEST_F(VirtualChannel, RefusedCommandsSetErrAndAbrt) {
    TaskFile tf;
    tf.command = 0xB0;
    tf.features = 0xD0;  // SMART without its signature
    EXPECT_FALSE(SendDataIn(wb, tf, RegisterForm::Lba28, 1));
    EXPECT_TRUE(wb.link.status.ERR);
    EXPECT_TRUE(wb.link.error.ABRT);

    TaskFile beyond;
    beyond.command = 0x24;
    beyond.sectorCount = 1;
    beyond.prevLbaHigh = 0xFF;  // far past the end of the medium
    EXPECT_FALSE(SendDataIn(wb, beyond, RegisterForm::Lba48, 1));
    EXPECT_TRUE(wb.link.error.IDNF);

    // The channel is usable again at once.
    EXPECT_TRUE(IdentifyDevice(wb));
}

TEST_F(VirtualChannel, SoftResetEndsAHalfDoneTransfer) {
    TaskFile tf;
    tf.command = 0x20;
    tf.sectorCount = 4;
    WriteTaskFile(wb, tf, RegisterForm::Lba28);
    WaitReady(wb);
    EXPECT_TRUE(wb.link.status.DRQ);
    SoftReset(wb);
    EXPECT_EQ(io.ReadIoPortByte(0x1F2), 1) << "reset signature";
    ReadStatus(wb);
    EXPECT_FALSE(wb.link.status.DRQ);
    EXPECT_TRUE(IdentifyDevice(wb));
}

TEST_F(VirtualChannel, PciSpaceShowsTheLegacyController) {
    const uint32_t id = io.ReadPciConfigDword(VirtualPortIo::kControllerAddress, 0x00);
    EXPECT_EQ(id, 0x71118086u);
    const uint32_t cls = io.ReadPciConfigDword(VirtualPortIo::kControllerAddress, 0x08);
    EXPECT_EQ(cls >> 16, 0x0101u);
    EXPECT_EQ((cls >> 8) & 0xFF, 0x80u);
    EXPECT_EQ(io.ReadPciConfigDword((1 << 8) | (3 << 3), 0x00), 0xFFFFFFFFu);
}

}  // namespace
}  // namespace qm
