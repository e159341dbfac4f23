// Every transport operation end to end on the virtual drive, in ATA and in
// SCSI pass-through mode, including failing device calls and drive errors.
#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <vector>

#include "common/ScriptedHost.h"
#include "common/Workbench.h"
#include "drive/Transport.h"
#include "drive/uAtaPass.h"
#include "drive/uSCSI.h"
#include "vdrive/VirtualDrive.h"
#include "vdrive/VirtualSeams.h"

namespace qm {
namespace {

// Records the blocks on their way to the virtual device.
class RecordingDeviceIo : public DeviceIo {
  public:
    explicit RecordingDeviceIo(DeviceIo& inner) : inner_(inner) {}
    DeviceHandle Open(const std::string& p) override { return inner_.Open(p); }
    void Close(DeviceHandle h) override { inner_.Close(h); }
    bool Control(DeviceHandle h, uint32_t code, uint8_t* block, uint32_t in, uint32_t out,
                 uint32_t& returned) override {
        codes.push_back(code);
        sent.emplace_back(block, block + std::max(in, out));
        sizes.emplace_back(in, out);
        return inner_.Control(h, code, block, in, out, returned);
    }
    uint32_t LastError() const override { return inner_.LastError(); }
    std::string ErrorText(uint32_t c) const override { return inner_.ErrorText(c); }

    std::vector<uint32_t> codes;
    std::vector<std::vector<uint8_t>> sent;
    std::vector<std::pair<uint32_t, uint32_t>> sizes;

  private:
    DeviceIo& inner_;
};

TaskFile Smart(uint8_t feature) {
    TaskFile tf;
    tf.command = 0xB0;
    tf.features = feature;
    tf.sectorCount = feature == 0xD0 ? 1 : 0;
    tf.lbaMid = 0x4F;
    tf.lbaHigh = 0xC2;
    return tf;
}

TaskFile ReadSectors(uint32_t lba, uint8_t count, uint8_t command = 0x20) {
    TaskFile tf;
    tf.command = command;
    tf.sectorCount = count;
    tf.lbaLow = static_cast<uint8_t>(lba);
    tf.lbaMid = static_cast<uint8_t>(lba >> 8);
    tf.lbaHigh = static_cast<uint8_t>(lba >> 16);
    tf.device = static_cast<uint8_t>(0xE0 | ((lba >> 24) & 0x0F));
    return tf;
}

class PassThroughTransport : public ::testing::TestWithParam<TransportMode> {
  protected:
    PassThroughTransport()
        : content(VirtualDrive::SampleContent()), drive(content), vio(drive), rec(vio), wb(host) {
        wb.deviceIo = &rec;
        wb.link.mode = GetParam();
        const DeviceHandle h = OpenDrive(wb, "/dev/qmvd0");
        (Scsi() ? wb.link.scsiHandle : wb.link.ataHandle) = h;
    }
    bool Scsi() const { return GetParam() == TransportMode::ScsiPassThrough; }
    void Fill(uint8_t v) { std::memset(wb.link.Sectors(), v, kSectorBufferSize); }
    bool AllBytes(size_t n, uint8_t v) {
        for (size_t i = 0; i < n; ++i)
            if (wb.link.Sectors()[i] != v) return false;
        return true;
    }

    DriveContent content;
    VirtualDrive drive;
    VirtualDeviceIo vio;
    RecordingDeviceIo rec;
    ScriptedHost host;
    Workbench wb;
};

TEST_P(PassThroughTransport, IdentifySendsDeviceA0AndFillsTheSector) {
    Fill(0xCC);
    ASSERT_TRUE(IdentifyDevice(wb));
    EXPECT_FALSE(wb.link.status.ERR);
    const auto id = drive.IdentifySector();
    EXPECT_EQ(std::memcmp(wb.link.Sectors(), id.data(), 512), 0);
    ASSERT_EQ(rec.sent.size(), 1u);
    if (Scsi()) {
        EXPECT_EQ(rec.codes[0], kIoctlScsiPassThrough);
        EXPECT_EQ(rec.sizes[0], std::make_pair(80u, 592u));
        EXPECT_EQ(rec.sent[0][28 + 13], 0xA0);
        EXPECT_GE(host.processMessagesCalls, 1u);
    } else {
        EXPECT_EQ(rec.codes[0], kIoctlAtaPassThrough);
        EXPECT_EQ(rec.sizes[0], std::make_pair(40u, 552u));
        EXPECT_EQ(rec.sent[0][32 + 5], 0xA0);
        EXPECT_TRUE(wb.link.status.DRDY);
    }
}

TEST_P(PassThroughTransport, SmartReadDataAndReturnStatus) {
    ASSERT_TRUE(SendDataIn(wb, Smart(0xD0), RegisterForm::Lba28, 1));
    EXPECT_EQ(std::memcmp(wb.link.Sectors(), content.smartData.data(), 512), 0);

    ASSERT_TRUE(SendNonData(wb, Smart(0xDA), RegisterForm::Lba28));
    ResultRegisters r = ReadResultRegisters(wb);
    EXPECT_EQ(r.lbaMid, 0x4F);
    EXPECT_EQ(r.lbaHigh, 0xC2);
    EXPECT_EQ(r.status & kStatusErr, 0);
}

TEST_P(PassThroughTransport, FailingSmartStatusShowsInResultRegisters) {
    DriveContent bad = VirtualDrive::SampleContent();
    bad.smartFailing = true;
    VirtualDrive failing(bad);
    VirtualDeviceIo io(failing);
    wb.deviceIo = &io;
    const DeviceHandle h = io.Open("/dev/qmvd0");
    (Scsi() ? wb.link.scsiHandle : wb.link.ataHandle) = h;
    ASSERT_TRUE(SendNonData(wb, Smart(0xDA), RegisterForm::Lba28));
    const ResultRegisters r = ReadResultRegisters(wb);
    EXPECT_EQ(r.lbaMid, 0xF4);
    EXPECT_EQ(r.lbaHigh, 0x2C);
}

TEST_P(PassThroughTransport, WrittenSectorsReadBack) {
    for (size_t i = 0; i < 4 * 512; ++i) wb.link.Sectors()[i] = static_cast<uint8_t>(i * 13 + 1);
    ASSERT_TRUE(SendDataOut(wb, ReadSectors(1000, 4, 0x30), RegisterForm::Lba28, 4));
    Fill(0);
    ASSERT_TRUE(SendDataIn(wb, ReadSectors(1000, 4), RegisterForm::Lba28, 4));
    for (size_t i = 0; i < 4 * 512; ++i)
        ASSERT_EQ(wb.link.Sectors()[i], static_cast<uint8_t>(i * 13 + 1)) << i;
    // A data-out request carries its data after the header.
    const size_t header = Scsi() ? 80 : 40;
    EXPECT_EQ(rec.sent[0][header], 1);
    EXPECT_EQ(rec.sizes[0], std::make_pair(static_cast<uint32_t>(header + 2048),
                                           static_cast<uint32_t>(Scsi() ? 80 : 40)));
}

TEST_P(PassThroughTransport, DriveErrorFailsWithZeroFilledBuffer) {
    Fill(0xCC);
    // Past the end of the medium: the drive answers ERR with IDNF.
    TaskFile tf = ReadSectors(0, 2, 0x24);
    tf.device = 0xE0;
    tf.prevLbaHigh = 0xFF;
    ASSERT_FALSE(SendDataIn(wb, tf, RegisterForm::Lba48, 2));
    EXPECT_TRUE(wb.link.status.ERR);
    EXPECT_TRUE(AllBytes(1024, 0));
    EXPECT_EQ(wb.link.Sectors()[1024], 0xCC);  // only the requested length
    if (!Scsi()) {
        EXPECT_TRUE(wb.link.error.IDNF);
    }
    EXPECT_TRUE(host.logLines.empty());  // a drive error is not a failed device call
    // The next command works again.
    EXPECT_TRUE(IdentifyDevice(wb));
}

TEST_P(PassThroughTransport, FailingDeviceCallFails) {
    Fill(0xCC);
    vio.FailNextCalls(1);
    EXPECT_FALSE(IdentifyDevice(wb));
    EXPECT_TRUE(wb.link.status.ERR);
    EXPECT_TRUE(AllBytes(512, 0));
    if (Scsi()) {
        EXPECT_TRUE(host.logLines.empty());
    } else {
        ASSERT_EQ(host.logLines.size(), 1u);
        EXPECT_EQ(host.logLines[0], "IOCTL_ATA_PASS_THROUGH Input/output error");
    }
    EXPECT_TRUE(IdentifyDevice(wb));
}

TEST_P(PassThroughTransport, VanishedDeviceNode) {
    vio.Remove();
    Fill(0xCC);
    EXPECT_FALSE(SendDataIn(wb, Smart(0xD0), RegisterForm::Lba28, 1));
    EXPECT_TRUE(AllBytes(512, 0));
    EXPECT_FALSE(SendNonData(wb, Smart(0xDA), RegisterForm::Lba28));
    EXPECT_EQ(OpenDrive(wb, "/dev/qmvd0"), kInvalidDeviceHandle);
    if (!Scsi()) {
        ASSERT_FALSE(host.logLines.empty());
        EXPECT_EQ(host.logLines.back(), "IOCTL_ATA_PASS_THROUGH No such device");
    }
}

TEST_P(PassThroughTransport, UnusableHandle) {
    wb.link.ataHandle = wb.link.scsiHandle = kInvalidDeviceHandle;
    Fill(0xCC);
    EXPECT_FALSE(IdentifyDevice(wb));
    EXPECT_TRUE(AllBytes(512, 0));
    if (Scsi()) {
        // No device call at all.
        EXPECT_TRUE(rec.sent.empty());
        ResultRegisters r;
        EXPECT_FALSE(ScsiReadResponse(wb, r));
        EXPECT_TRUE(rec.sent.empty());
    } else {
        ASSERT_EQ(host.logLines.size(), 1u);
        EXPECT_EQ(host.logLines[0], "IOCTL_ATA_PASS_THROUGH Bad file descriptor");
    }
}

INSTANTIATE_TEST_SUITE_P(Modes, PassThroughTransport,
                         ::testing::Values(TransportMode::AtaPassThrough,
                                           TransportMode::ScsiPassThrough),
                         [](const auto& info) {
                             return info.param == TransportMode::AtaPassThrough ? "Ata" : "Scsi";
                         });

TEST(PassThroughNoBackend, NoDeviceAccessFailsCleanly) {
    ScriptedHost host;
    Workbench wb(host);
    wb.link.mode = TransportMode::AtaPassThrough;
    EXPECT_FALSE(IdentifyDevice(wb));
    ASSERT_EQ(host.logLines.size(), 1u);
    EXPECT_EQ(host.logLines[0].rfind("IOCTL_ATA_PASS_THROUGH ", 0), 0u);
    wb.link.mode = TransportMode::ScsiPassThrough;
    EXPECT_FALSE(IdentifyDevice(wb));
    EXPECT_EQ(OpenDrive(wb, "/dev/qmvd0"), kInvalidDeviceHandle);
}

// Blocks that lie about their layout are refused by the device, not followed.
TEST(VirtualDeviceBlocks, MalformedBlocksAreRefused) {
    VirtualDrive drive(VirtualDrive::SampleContent());
    VirtualDeviceIo io(drive);
    const DeviceHandle h = io.Open("/dev/qmvd0");
    uint32_t returned = 0;

    TaskFile id;
    id.command = 0xEC;
    id.sectorCount = 1;
    PassThroughRequest ata = BuildAtaPassThroughRequest(id, nullptr, 512, DataDirection::In);
    ata.block[20] = 0xF0;  // DataBufferOffset far past the block
    ata.block[21] = 0xFF;
    EXPECT_FALSE(
        io.Control(h, kIoctlAtaPassThrough, ata.block.data(), ata.inSize, ata.outSize, returned));
    EXPECT_EQ(io.LastError(), vdev::kInvalid);
    // Output size too small for the data the block announces.
    ata = BuildAtaPassThroughRequest(id, nullptr, 512, DataDirection::In);
    EXPECT_FALSE(io.Control(h, kIoctlAtaPassThrough, ata.block.data(), 40, 300, returned));

    PassThroughRequest scsi = BuildScsiPassThroughRequest(
        BuildScsiAtaCdb(ScsiProtocol::PioDataIn, id), scsi_ptx::kDataInDir, nullptr, 512);
    scsi.block[24] = 0xFF;  // sense offset outside the block
    scsi.block[25] = 0xFF;
    EXPECT_FALSE(io.Control(h, kIoctlScsiPassThrough, scsi.block.data(), scsi.inSize, scsi.outSize,
                            returned));
    scsi = BuildScsiPassThroughRequest(BuildScsiAtaCdb(ScsiProtocol::PioDataIn, id),
                                       scsi_ptx::kDataInDir, nullptr, 512);
    scsi.block[6] = 40;  // command block longer than its field
    EXPECT_FALSE(io.Control(h, kIoctlScsiPassThrough, scsi.block.data(), scsi.inSize, scsi.outSize,
                            returned));
    // An unknown control code and a closed handle.
    EXPECT_FALSE(io.Control(h, 0x2D1080, scsi.block.data(), scsi.inSize, scsi.outSize, returned));
    io.Close(h);
    EXPECT_FALSE(
        io.Control(h, kIoctlAtaPassThrough, ata.block.data(), ata.inSize, ata.outSize, returned));
    EXPECT_EQ(io.LastError(), vdev::kBadHandle);
    EXPECT_EQ(io.Open("/dev/sda"), kInvalidDeviceHandle);
    EXPECT_EQ(io.LastError(), vdev::kNoEntry);
}

// A data-in command block sent as a data-out request is refused by the SAT layer.
TEST(VirtualDeviceBlocks, DirectionMismatchIsIllegalRequest) {
    VirtualDrive drive(VirtualDrive::SampleContent());
    VirtualDeviceIo io(drive);
    const DeviceHandle h = io.Open("/dev/qmvd0");
    TaskFile id;
    id.command = 0xEC;
    id.sectorCount = 1;
    std::vector<uint8_t> data(512, 0);
    PassThroughRequest r = BuildScsiPassThroughRequest(BuildScsiAtaCdb(ScsiProtocol::PioDataIn, id),
                                                       scsi_ptx::kDataOut, data.data(), 512);
    uint32_t returned = 0;
    ASSERT_TRUE(
        io.Control(h, kIoctlScsiPassThrough, r.block.data(), r.inSize, r.outSize, returned));
    EXPECT_EQ(r.block[2], 2);
    EXPECT_FALSE(ScsiPassThroughSucceeded(r.block[2], r.block.data() + 48));
    EXPECT_EQ(drive.CommandCount(), 0u);
}

}  // namespace
}  // namespace qm
