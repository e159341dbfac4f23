// The two pass-through request blocks byte for byte, the SCSI success rule and
// the decoding of ATA registers from sense data.
#include <gtest/gtest.h>

#include <vector>

#include "common/Bytes.h"
#include "drive/SatCdb.h"
#include "drive/uAtaPass.h"
#include "drive/uSCSI.h"

namespace qm {
namespace {

TaskFile Identify() {
    TaskFile tf;
    tf.command = 0xEC;
    tf.sectorCount = 1;
    tf.device = 0xA0;
    return tf;
}

std::vector<uint8_t> Bytes(std::initializer_list<int> v) {
    std::vector<uint8_t> out;
    for (int b : v) out.push_back(static_cast<uint8_t>(b));
    return out;
}

TEST(AtaPassThroughBlock, OneSectorDataInHeaderAndSizes) {
    const PassThroughRequest r =
        BuildAtaPassThroughRequest(Identify(), nullptr, 512, DataDirection::In);
    EXPECT_EQ(r.inSize, 40u);
    EXPECT_EQ(r.outSize, 552u);
    ASSERT_EQ(r.block.size(), 552u);
    const std::vector<uint8_t> header(r.block.begin(), r.block.begin() + 40);
    const std::vector<uint8_t> expected = Bytes({
        40,   0,    0x0B, 0,    0,    0,    0,    0,  // Length, AtaFlags, Path/Target/Lun
        0x00, 0x02, 0,    0,    5,    0,    0,    0,  // DataTransferLength 512, TimeOutValue 5
        0,    0,    0,    0,    40,   0,    0,    0,  // reserved, DataBufferOffset 40
        0,    0,    0,    0,    0,    0,    0,    0,  // PreviousTaskFile
        0x00, 0x01, 0x00, 0x00, 0x00, 0xA0, 0xEC, 0   // CurrentTaskFile
    });
    EXPECT_EQ(header, expected);
    for (size_t i = 40; i < r.block.size(); ++i) ASSERT_EQ(r.block[i], 0) << i;
}

TEST(AtaPassThroughBlock, DataOutCarriesTheDataAndNoDataHasNoArea) {
    std::vector<uint8_t> data(1024);
    for (size_t i = 0; i < data.size(); ++i) data[i] = static_cast<uint8_t>(i * 7);
    TaskFile tf;
    tf.command = 0x30;
    tf.sectorCount = 2;
    tf.prevLbaLow = 0x11;
    const PassThroughRequest out =
        BuildAtaPassThroughRequest(tf, data.data(), 1024, DataDirection::Out);
    EXPECT_EQ(out.inSize, 1064u);
    EXPECT_EQ(out.outSize, 40u);
    EXPECT_EQ(GetU16(out.block.data() + 2), 0x0D);
    EXPECT_EQ(out.block[24 + 2], 0x11);  // previous LBA low
    EXPECT_TRUE(std::equal(data.begin(), data.end(), out.block.begin() + 40));

    const PassThroughRequest none =
        BuildAtaPassThroughRequest(tf, data.data(), 1024, DataDirection::None);
    EXPECT_EQ(none.inSize, 40u);
    EXPECT_EQ(none.outSize, 40u);
    EXPECT_EQ(none.block.size(), 40u);
    EXPECT_EQ(GetU16(none.block.data() + 2), 0x09);
    EXPECT_EQ(GetU32(none.block.data() + 8), 0u);
}

TEST(AtaPassThroughBlock, ResultRegistersComeFromCurrentTaskFile) {
    PassThroughRequest r = BuildAtaPassThroughRequest(Identify(), nullptr, 0, DataDirection::None);
    const uint8_t back[8] = {0x04, 0x01, 0x02, 0x4F, 0xC2, 0xA0, 0x51, 0};
    std::copy(back, back + 8, r.block.begin() + 32);
    const ResultRegisters res = AtaPassThroughResult(r.block.data());
    EXPECT_EQ(res.error, 0x04);
    EXPECT_EQ(res.sectorCount, 0x01);
    EXPECT_EQ(res.lbaLow, 0x02);
    EXPECT_EQ(res.lbaMid, 0x4F);
    EXPECT_EQ(res.lbaHigh, 0xC2);
    EXPECT_EQ(res.device, 0xA0);
    EXPECT_EQ(res.status, 0x51);
}

TEST(ScsiPassThroughBlock, IdentifyCommandBlockAndOneSectorSizes) {
    const auto cdb = BuildScsiAtaCdb(ScsiProtocol::PioDataIn, Identify());
    EXPECT_EQ(std::vector<uint8_t>(cdb.begin(), cdb.end()),
              Bytes({0x85, 0x09, 0x0E, 0, 0, 0, 0x01, 0, 0, 0, 0, 0, 0, 0xA0, 0xEC, 0}));
    const PassThroughRequest r =
        BuildScsiPassThroughRequest(cdb, scsi_ptx::kDataInDir, nullptr, 512);
    EXPECT_EQ(r.inSize, 80u);
    EXPECT_EQ(r.outSize, 592u);
    ASSERT_EQ(r.block.size(), 592u);
    const uint8_t* b = r.block.data();
    EXPECT_EQ(GetU16(b), 44);
    EXPECT_EQ(b[2], 0);   // ScsiStatus
    EXPECT_EQ(b[3], 0);   // PathId
    EXPECT_EQ(b[4], 1);   // TargetId
    EXPECT_EQ(b[5], 0);   // Lun
    EXPECT_EQ(b[6], 16);  // CdbLength
    EXPECT_EQ(b[7], 24);  // SenseInfoLength
    EXPECT_EQ(b[8], 1);   // DataIn
    EXPECT_EQ(GetU32(b + 12), 512u);
    EXPECT_EQ(GetU32(b + 16), 5u);
    EXPECT_EQ(GetU32(b + 20), 80u);
    EXPECT_EQ(GetU32(b + 24), 48u);
    EXPECT_TRUE(std::equal(cdb.begin(), cdb.end(), r.block.begin() + 28));
    for (size_t i = 44; i < r.block.size(); ++i) ASSERT_EQ(r.block[i], 0) << i;
}

TEST(ScsiPassThroughBlock, NonDataDataOutAndReturnResponse) {
    TaskFile smart;
    smart.command = 0xB0;
    smart.features = 0xDA;
    smart.lbaMid = 0x4F;
    smart.lbaHigh = 0xC2;
    const auto nd = BuildScsiAtaCdb(ScsiProtocol::NonData, smart);
    EXPECT_EQ(std::vector<uint8_t>(nd.begin(), nd.end()),
              Bytes({0x85, 0x07, 0x0C, 0, 0xDA, 0, 0, 0, 0, 0, 0x4F, 0, 0xC2, 0xA0, 0xB0, 0}));
    const PassThroughRequest none =
        BuildScsiPassThroughRequest(nd, scsi_ptx::kDataUnspecified, nullptr, 512);
    EXPECT_EQ(none.inSize, 44u);
    EXPECT_EQ(none.outSize, 80u);
    EXPECT_EQ(none.block[8], 2);
    EXPECT_EQ(GetU32(none.block.data() + 12), 0u);

    TaskFile write;
    write.command = 0x30;
    write.sectorCount = 1;
    const auto wr = BuildScsiAtaCdb(ScsiProtocol::PioDataOut, write);
    EXPECT_EQ(wr[1], 0x0B);
    EXPECT_EQ(wr[2], 0x06);
    std::vector<uint8_t> data(512, 0x5A);
    const PassThroughRequest out =
        BuildScsiPassThroughRequest(wr, scsi_ptx::kDataOut, data.data(), 512);
    EXPECT_EQ(out.inSize, 592u);
    EXPECT_EQ(out.outSize, 80u);
    EXPECT_EQ(out.block[8], 0);
    EXPECT_EQ(out.block[80], 0x5A);
    EXPECT_EQ(out.block[591], 0x5A);

    const auto rri = BuildReturnResponseCdb();
    EXPECT_EQ(std::vector<uint8_t>(rri.begin(), rri.end()),
              Bytes({0x85, 0x1F, 0xB0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}));
}

TEST(ScsiPassThroughBlock, SuccessRule) {
    uint8_t sense[24] = {};
    EXPECT_TRUE(ScsiPassThroughSucceeded(0, sense));
    // A non-zero status with an empty sense area counts as success.
    EXPECT_TRUE(ScsiPassThroughSucceeded(2, sense));
    sense[0] = 0x70;
    sense[2] = 0x05;  // ILLEGAL REQUEST
    EXPECT_FALSE(ScsiPassThroughSucceeded(2, sense));
    sense[2] = 0x0B;  // ABORTED COMMAND
    EXPECT_FALSE(ScsiPassThroughSucceeded(2, sense));
    sense[2] = 0x20;  // incorrect length, key 0
    EXPECT_FALSE(ScsiPassThroughSucceeded(2, sense));
    sense[2] = 0x80;  // filemark
    EXPECT_FALSE(ScsiPassThroughSucceeded(2, sense));
    sense[2] = 0x00;  // NO SENSE without flags
    EXPECT_TRUE(ScsiPassThroughSucceeded(2, sense));
    sense[0] = 0x72;  // descriptor format is not understood here
    EXPECT_FALSE(ScsiPassThroughSucceeded(2, sense));
    sense[0] = 0x71;
    sense[2] = 0x01;
    EXPECT_FALSE(ScsiPassThroughSucceeded(2, sense));
}

TEST(ScsiPassThroughBlock, ReturnResponseRegisters) {
    const uint8_t data[22] = {0x09, 0x0C, 0x01, 0x04, 0,    0x02, 0,
                              0x03, 0,    0xF4, 0,    0x2C, 0xA0, 0x51};
    const ResultRegisters r = ParseReturnResponse(data);
    EXPECT_EQ(r.error, 0x04);
    EXPECT_EQ(r.sectorCount, 0x02);
    EXPECT_EQ(r.lbaLow, 0x03);
    EXPECT_EQ(r.lbaMid, 0xF4);
    EXPECT_EQ(r.lbaHigh, 0x2C);
    EXPECT_EQ(r.device, 0xA0);
    EXPECT_EQ(r.status, 0x51);
}

TEST(SatSense, RegistersFromDescriptorAndFixedSense) {
    // Descriptor format: an unrelated descriptor first, then ATA Status Return.
    std::vector<uint8_t> d = Bytes(
        {0x72, 0x01, 0x00, 0x1D, 0, 0,    0, 18,   0x02, 0x02, 0xAA, 0xBB,  // some other descriptor
         0x09, 0x0C, 0x00, 0x00, 0, 0x01, 0, 0x02, 0,    0x4F, 0,    0xC2, 0xE0, 0x50});
    ResultRegisters r;
    ASSERT_TRUE(sat::DecodeAtaRegisters(d.data(), d.size(), r));
    EXPECT_EQ(r.sectorCount, 1);
    EXPECT_EQ(r.lbaLow, 2);
    EXPECT_EQ(r.lbaMid, 0x4F);
    EXPECT_EQ(r.lbaHigh, 0xC2);
    EXPECT_EQ(r.device, 0xE0);
    EXPECT_EQ(r.status, 0x50);
    // Cut short: the descriptor does not fit, nothing is read past the end.
    EXPECT_FALSE(sat::DecodeAtaRegisters(d.data(), d.size() - 1, r));
    // An additional length claiming more than there is stays within the buffer.
    d[7] = 250;
    EXPECT_TRUE(sat::DecodeAtaRegisters(d.data(), d.size(), r));

    std::vector<uint8_t> f(18, 0);
    f[0] = 0xF0;
    f[2] = 0x01;
    f[3] = 0x04;  // error
    f[4] = 0x51;  // status
    f[5] = 0xA0;  // device
    f[6] = 0x07;  // count
    f[9] = 0x10;
    f[10] = 0x4F;
    f[11] = 0xC2;
    f[12] = 0x00;
    f[13] = 0x1D;
    ASSERT_TRUE(sat::DecodeAtaRegisters(f.data(), f.size(), r));
    EXPECT_EQ(r.error, 0x04);
    EXPECT_EQ(r.status, 0x51);
    EXPECT_EQ(r.device, 0xA0);
    EXPECT_EQ(r.sectorCount, 0x07);
    EXPECT_EQ(r.lbaLow, 0x10);
    EXPECT_EQ(r.lbaMid, 0x4F);
    EXPECT_EQ(r.lbaHigh, 0xC2);
    // An ATA error (UNRECOVERED READ ERROR) with the INFORMATION marked valid.
    f[12] = 0x11;
    f[13] = 0x04;
    f[3] = 0x40;  // UNC
    ASSERT_TRUE(sat::DecodeAtaRegisters(f.data(), f.size(), r));
    EXPECT_EQ(r.error, 0x40);
    EXPECT_EQ(r.lbaLow, 0x10);
    // The same bytes unmarked, as older kernels wrote them elsewhere: none.
    f[0] = 0x70;
    EXPECT_FALSE(sat::DecodeAtaRegisters(f.data(), f.size(), r));
    EXPECT_FALSE(sat::DecodeAtaRegisters(f.data(), 4, r));
}

}  // namespace
}  // namespace qm
