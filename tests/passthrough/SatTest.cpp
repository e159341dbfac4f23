// The virtual SAT layer: command block decoding and the answers a translation
// layer gives (CK_COND, errors, Return Response Information, sense formats).
#include <gtest/gtest.h>

#include "drive/SatCdb.h"
#include "drive/uSCSI.h"
#include "vdrive/Sat.h"

namespace qm::sat {
namespace {

TEST(SatCdb, PassThrough12And16Decode) {
    const uint8_t c12[12] = {0xA1, 0x08, 0x0E, 0xD0, 0x01, 0x00, 0x4F, 0xC2, 0xA0, 0xB0, 0, 0};
    PassThroughCommand c;
    ASSERT_TRUE(ParsePassThroughCdb(c12, sizeof c12, c));
    EXPECT_EQ(c.protocol, kProtoPioDataIn);
    EXPECT_TRUE(c.DataIn());
    EXPECT_FALSE(c.extend);
    EXPECT_EQ(c.tf.features, 0xD0);
    EXPECT_EQ(c.tf.lbaMid, 0x4F);
    EXPECT_EQ(c.tf.lbaHigh, 0xC2);
    EXPECT_EQ(c.tf.command, 0xB0);
    EXPECT_EQ(c.AnnouncedBytes(), 512u);

    TaskFile tf;
    tf.command = 0x24;
    tf.sectorCount = 2;
    tf.prevSectorCount = 1;
    tf.lbaLow = 0x44;
    tf.prevLbaLow = 0x11;
    tf.prevLbaMid = 0x22;
    tf.prevLbaHigh = 0x33;
    tf.device = 0x40;
    const auto c16 = BuildPassThrough16(kProtoPioDataIn, true, 0x2E, tf);
    ASSERT_TRUE(ParsePassThroughCdb(c16.data(), c16.size(), c));
    EXPECT_TRUE(c.extend);
    EXPECT_TRUE(c.ckCond);
    EXPECT_EQ(c.tf.prevLbaLow, 0x11);
    EXPECT_EQ(c.tf.prevLbaMid, 0x22);
    EXPECT_EQ(c.tf.prevLbaHigh, 0x33);
    EXPECT_EQ(c.tf.lbaLow, 0x44);
    EXPECT_EQ(c.AnnouncedBytes(), 258u * 512);

    const uint8_t other[16] = {0x28};
    EXPECT_FALSE(ParsePassThroughCdb(other, 16, c));
    EXPECT_FALSE(ParsePassThroughCdb(c16.data(), 12, c));  // (16) cut short
}

class SatDeviceTest : public ::testing::Test {
  protected:
    SatDeviceTest() : drive(VirtualDrive::SampleContent()), sat(drive) {}
    VirtualDrive drive;
    SatDevice sat;
};

TEST_F(SatDeviceTest, CheckConditionCarriesTheRegisters) {
    TaskFile tf;
    tf.command = 0xB0;
    tf.features = 0xDA;
    tf.lbaMid = 0x4F;
    tf.lbaHigh = 0xC2;
    const auto cdb = BuildPassThrough16(kProtoNonData, false, kCkCond, tf);
    SatResponse r = sat.Execute(cdb.data(), cdb.size(), {}, 0);
    EXPECT_EQ(r.scsiStatus, kScsiStatusCheckCondition);
    EXPECT_EQ(SenseKey(r.sense.data(), r.sense.size()), kSenseRecoveredError);
    ResultRegisters regs;
    ASSERT_TRUE(DecodeAtaRegisters(r.sense.data(), r.sense.size(), regs));
    EXPECT_EQ(regs.lbaMid, 0x4F);
    EXPECT_EQ(regs.lbaHigh, 0xC2);
    EXPECT_EQ(regs.status & kStatusErr, 0);

    sat.descriptorSense = false;  // fixed format says the same
    r = sat.Execute(cdb.data(), cdb.size(), {}, 0);
    EXPECT_EQ(r.sense[0] & 0x7F, 0x70);
    ASSERT_TRUE(DecodeAtaRegisters(r.sense.data(), r.sense.size(), regs));
    EXPECT_EQ(regs.lbaMid, 0x4F);

    // Without CK_COND a good command answers GOOD without sense.
    const auto quiet = BuildPassThrough16(kProtoNonData, false, 0, tf);
    r = sat.Execute(quiet.data(), quiet.size(), {}, 0);
    EXPECT_EQ(r.scsiStatus, kScsiStatusGood);
    EXPECT_TRUE(r.sense.empty());
    // ... and Return Response Information gives its registers afterwards.
    const auto rri = BuildReturnResponseCdb();
    r = sat.Execute(rri.data(), rri.size(), {}, 22);
    EXPECT_EQ(r.scsiStatus, kScsiStatusGood);
    ASSERT_EQ(r.data.size(), 22u);
    EXPECT_EQ(r.data[0], 0x09);
    EXPECT_EQ(r.data[1], 0x0C);
    const ResultRegisters back = ParseReturnResponse(r.data.data());
    EXPECT_EQ(back.lbaMid, 0x4F);
    EXPECT_EQ(back.lbaHigh, 0xC2);
}

TEST_F(SatDeviceTest, DriveErrorAndUnknownCommands) {
    TaskFile tf;
    tf.command = 0x7F;  // not a command the drive knows
    const auto cdb = BuildPassThrough16(kProtoNonData, false, 0, tf);
    SatResponse r = sat.Execute(cdb.data(), cdb.size(), {}, 0);
    EXPECT_EQ(r.scsiStatus, kScsiStatusCheckCondition);
    EXPECT_EQ(SenseKey(r.sense.data(), r.sense.size()), kSenseAbortedCommand);
    ResultRegisters regs;
    ASSERT_TRUE(DecodeAtaRegisters(r.sense.data(), r.sense.size(), regs));
    EXPECT_TRUE(regs.status & kStatusErr);
    EXPECT_TRUE(regs.error & kErrorAbrt);

    const uint8_t read10[10] = {0x28};
    r = sat.Execute(read10, sizeof read10, {}, 512);
    EXPECT_EQ(SenseKey(r.sense.data(), r.sense.size()), kSenseIllegalRequest);
    const auto dma = BuildPassThrough16(kProtoHardReset, false, 0, tf);
    r = sat.Execute(dma.data(), dma.size(), {}, 0);
    EXPECT_EQ(SenseKey(r.sense.data(), r.sense.size()), kSenseIllegalRequest);
}

TEST_F(SatDeviceTest, DataInNeverExceedsTheRoomGiven) {
    TaskFile tf;
    tf.command = 0xEC;
    tf.sectorCount = 1;
    const auto cdb = BuildPassThrough16(kProtoPioDataIn, false, 0x0E, tf);
    SatResponse r = sat.Execute(cdb.data(), cdb.size(), {}, 100);
    EXPECT_EQ(r.data.size(), 100u);
}

}  // namespace
}  // namespace qm::sat
