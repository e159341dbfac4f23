// The disk node's answers as a SCSI/ATA translation layer gives them,
// including to the odd requests peer tools send.
#include <linux/fs.h>
#include <linux/hdreg.h>
#include <scsi/sg.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <vector>

#include <gtest/gtest.h>

#include "vdrive/shim/PeerDevice.h"

namespace qm::peer {
namespace {

namespace fs = std::filesystem;

struct Sg {
    sg_io_hdr_t hdr{};
    std::vector<uint8_t> cdb, data;
    uint8_t sense[64] = {};
};

// An SG_IO request as the tools build it.
Sg Request(std::vector<uint8_t> cdb, int direction, size_t length, unsigned timeoutMs = 20000) {
    Sg s;
    s.cdb = std::move(cdb);
    s.data.assign(length, 0xCC);
    s.hdr.interface_id = 'S';
    s.hdr.dxfer_direction = direction;
    s.hdr.cmd_len = static_cast<unsigned char>(s.cdb.size());
    s.hdr.mx_sb_len = sizeof s.sense;
    s.hdr.dxfer_len = static_cast<unsigned>(length);
    s.hdr.timeout = timeoutMs;
    return s;
}

int Send(PeerDevice& d, Sg& s) {
    s.hdr.cmdp = s.cdb.data();
    s.hdr.sbp = s.sense;
    s.hdr.dxferp = s.data.empty() ? nullptr : s.data.data();
    return d.Ioctl(SG_IO, &s.hdr);
}

std::vector<uint8_t> Identify16(uint8_t count, uint8_t byte2 = 0x0E) {
    return {0x85, 0x08, byte2, 0, 0, 0, count, 0, 0, 0, 0, 0, 0, 0x40, 0xEC, 0};
}

std::vector<uint8_t> ReadLogExt(uint8_t log) {
    return {0x85, 0x09, 0x0E, 0, 0, 0, 1, 0, log, 0, 0, 0, 0, 0x40, 0x2F, 0};
}

class PeerDeviceTest : public ::testing::Test {
  protected:
    void SetUp() override {
        std::string error;
        ASSERT_TRUE(device.Start(Settings{}, error)) << error;
    }
    PeerDevice device;
};

TEST_F(PeerDeviceTest, PassThroughDataInAnswersWithDataAndResidual) {
    Sg s = Request(Identify16(1), SG_DXFER_FROM_DEV, 1024);
    ASSERT_EQ(Send(device, s), 0);
    EXPECT_EQ(s.hdr.status, 0);
    EXPECT_EQ(s.hdr.sb_len_wr, 0);
    EXPECT_EQ(s.hdr.driver_status, 0);
    EXPECT_EQ(s.hdr.info & SG_INFO_OK_MASK, SG_INFO_OK);
    EXPECT_EQ(s.hdr.resid, 512);  // one sector came of the 1024 bytes offered
    const auto id = device.Drive().IdentifySector();
    EXPECT_TRUE(std::equal(id.begin(), id.end(), s.data.begin()));

    // ATA PASS-THROUGH(12) and a sector count of 0 give the same sector.
    Sg twelve =
        Request({0xA1, 0x08, 0x0E, 0, 0, 0, 0, 0, 0x40, 0xEC, 0, 0}, SG_DXFER_FROM_DEV, 512);
    ASSERT_EQ(Send(device, twelve), 0);
    EXPECT_EQ(twelve.hdr.status, 0);
    EXPECT_EQ(twelve.hdr.resid, 0);
    EXPECT_TRUE(std::equal(id.begin(), id.end(), twelve.data.begin()));
}

TEST_F(PeerDeviceTest, CkCondAndAtaErrorsComeBackInDescriptorSense) {
    // SMART RETURN STATUS with CK_COND: recovered error, ATA PASS-THROUGH
    // INFORMATION AVAILABLE, the registers in descriptor 0x09.
    Sg s = Request({0x85, 0x06, 0x2C, 0, 0xDA, 0, 0, 0, 0, 0, 0x4F, 0, 0xC2, 0, 0xB0, 0},
                   SG_DXFER_NONE, 0);
    ASSERT_EQ(Send(device, s), 0);
    EXPECT_EQ(s.hdr.status, 0x02);
    EXPECT_EQ(s.hdr.masked_status, 0x01);
    EXPECT_EQ(s.hdr.driver_status, 0x08);
    ASSERT_EQ(s.hdr.sb_len_wr, 22);
    EXPECT_EQ(s.sense[0], 0x72);
    EXPECT_EQ(s.sense[1], 0x01);
    EXPECT_EQ(s.sense[3], 0x1D);
    EXPECT_EQ(s.sense[8], 0x09);
    EXPECT_EQ(s.sense[17], 0x4F);  // LBA mid: not failing
    EXPECT_EQ(s.sense[19], 0xC2);
    EXPECT_EQ(s.sense[21], 0x50);  // status DRDY|DSC

    // READ LOG EXT of a log the drive does not keep: aborted, no data, ERR in the status.
    Sg missing = Request(ReadLogExt(0xE3), SG_DXFER_FROM_DEV, 512);
    ASSERT_EQ(Send(device, missing), 0);
    EXPECT_EQ(missing.hdr.status, 0x02);
    EXPECT_EQ(missing.hdr.resid, 512);
    ASSERT_GE(missing.hdr.sb_len_wr, 22);
    EXPECT_EQ(missing.sense[0], 0x72);
    EXPECT_EQ(missing.sense[1], 0x0B);   // aborted command
    EXPECT_EQ(missing.sense[11], 0x04);  // ABRT
    EXPECT_EQ(missing.sense[21], 0x51);  // DRDY|DSC|ERR

    // The logs it does keep.
    Sg directory = Request(ReadLogExt(0x00), SG_DXFER_FROM_DEV, 512);
    ASSERT_EQ(Send(device, directory), 0);
    EXPECT_EQ(directory.hdr.status, 0);
    EXPECT_EQ(directory.data[0], 0x01);      // version
    EXPECT_EQ(directory.data[2 * 0x07], 1);  // extended self-test log, one page
}

TEST_F(PeerDeviceTest, UnknownOperationsGetFixedSenseIllegalRequest) {
    Sg s = Request({0x5C, 0, 0, 0, 0, 0, 0, 0, 0, 0}, SG_DXFER_NONE, 0);
    ASSERT_EQ(Send(device, s), 0);
    EXPECT_EQ(s.hdr.status, 0x02);
    ASSERT_EQ(s.hdr.sb_len_wr, 18);
    EXPECT_EQ(s.sense[0], 0x70);
    EXPECT_EQ(s.sense[2], 0x05);
    EXPECT_EQ(s.sense[12], 0x20);  // invalid command operation code
    EXPECT_EQ(s.sense[13], 0x00);

    // A data-in protocol sent without a data-in transfer: invalid field, and
    // the drive never sees it.
    const uint64_t before = device.Drive().CommandCount();
    Sg wrongWay = Request(Identify16(1), SG_DXFER_NONE, 0);
    ASSERT_EQ(Send(device, wrongWay), 0);
    EXPECT_EQ(wrongWay.sense[0], 0x70);
    EXPECT_EQ(wrongWay.sense[12], 0x24);
    EXPECT_EQ(device.Drive().CommandCount(), before);

    // A short sense buffer gets what fits.
    Sg shortSense = Request({0x5C, 0, 0, 0, 0, 0, 0, 0, 0, 0}, SG_DXFER_NONE, 0);
    shortSense.hdr.mx_sb_len = 8;
    ASSERT_EQ(Send(device, shortSense), 0);
    EXPECT_EQ(shortSense.hdr.sb_len_wr, 8);
}

TEST_F(PeerDeviceTest, InquiryAnswersAsAnAtaDiskBehindTranslation) {
    Sg s = Request({0x12, 0, 0, 0, 96, 0}, SG_DXFER_FROM_DEV, 255);
    ASSERT_EQ(Send(device, s), 0);
    EXPECT_EQ(s.hdr.status, 0);
    EXPECT_EQ(s.hdr.resid, 255 - 96);
    EXPECT_EQ(s.data[0], 0x00);
    EXPECT_EQ(std::string(s.data.begin() + 8, s.data.begin() + 16), "ATA     ");
    EXPECT_EQ(std::string(s.data.begin() + 16, s.data.begin() + 32), "WDC WD5000AAKS-0");
    EXPECT_EQ(std::string(s.data.begin() + 32, s.data.begin() + 36), "1D05");

    // Allocation length smaller than the answer: truncated.
    Sg small = Request({0x12, 0, 0, 0, 36, 0}, SG_DXFER_FROM_DEV, 36);
    ASSERT_EQ(Send(device, small), 0);
    EXPECT_EQ(small.hdr.resid, 0);

    // VPD: the page list, and the ATA Information page carrying the identify sector.
    Sg pages = Request({0x12, 1, 0x00, 0, 255, 0}, SG_DXFER_FROM_DEV, 255);
    ASSERT_EQ(Send(device, pages), 0);
    const std::vector<uint8_t> listed(pages.data.begin() + 4,
                                      pages.data.begin() + 4 + pages.data[3]);
    EXPECT_NE(std::find(listed.begin(), listed.end(), 0x89), listed.end());
    Sg ai = Request({0x12, 1, 0x89, 0x02, 0x3C, 0}, SG_DXFER_FROM_DEV, 572);
    ASSERT_EQ(Send(device, ai), 0);
    EXPECT_EQ(ai.hdr.resid, 0);
    EXPECT_EQ(ai.data[1], 0x89);
    EXPECT_EQ(ai.data[2] << 8 | ai.data[3], 0x238);
    EXPECT_EQ(ai.data[56], 0xEC);
    const auto id = device.Drive().IdentifySector();
    EXPECT_TRUE(std::equal(id.begin(), id.end(), ai.data.begin() + 60));

    // A page it does not have, or page code without EVPD: invalid field.
    for (const std::vector<uint8_t>& cdb : {std::vector<uint8_t>{0x12, 1, 0xC7, 0, 255, 0},
                                            std::vector<uint8_t>{0x12, 0, 0x80, 0, 255, 0}}) {
        Sg bad = Request(cdb, SG_DXFER_FROM_DEV, 255);
        ASSERT_EQ(Send(device, bad), 0);
        EXPECT_EQ(bad.hdr.status, 0x02);
        EXPECT_EQ(bad.sense[2], 0x05);
        EXPECT_EQ(bad.sense[12], 0x24);
    }
}

TEST_F(PeerDeviceTest, RefusedCallsSetErrno) {
    // The v4 header of bsg nodes ('Q' guard) is not taken by a disk.
    Sg v4 = Request(Identify16(1), SG_DXFER_FROM_DEV, 512);
    v4.hdr.interface_id = 'Q';
    errno = 0;
    EXPECT_EQ(Send(device, v4), -1);
    EXPECT_EQ(errno, EINVAL);
    Sg longCdb = Request(std::vector<uint8_t>(17, 0), SG_DXFER_NONE, 0);
    EXPECT_EQ(Send(device, longCdb), -1);
    EXPECT_EQ(errno, EINVAL);

    int value = 0;
    EXPECT_EQ(device.Ioctl(0x5401 /* TCGETS */, &value), -1);
    EXPECT_EQ(errno, ENOTTY);
    EXPECT_EQ(device.Ioctl(BLKGETSIZE64, nullptr), -1);
    EXPECT_EQ(errno, EFAULT);
}

TEST_F(PeerDeviceTest, BlockDeviceCallsGiveTheDriveSize) {
    uint64_t bytes = 0;
    ASSERT_EQ(device.Ioctl(BLKGETSIZE64, &bytes), 0);
    EXPECT_EQ(bytes, device.Drive().Sectors() * 512);
    unsigned long sectors = 0;
    ASSERT_EQ(device.Ioctl(BLKGETSIZE, &sectors), 0);
    EXPECT_EQ(sectors, device.Drive().Sectors());
    int logical = 0;
    ASSERT_EQ(device.Ioctl(BLKSSZGET, &logical), 0);
    EXPECT_EQ(logical, 512);
    int version = 0;
    ASSERT_EQ(device.Ioctl(SG_GET_VERSION_NUM, &version), 0);
    EXPECT_GE(version, 30000);
    EXPECT_EQ(device.Ioctl(BLKRRPART, nullptr), 0);
}

TEST_F(PeerDeviceTest, HdioCallsMapOntoPassThroughLikeLibata) {
    // HDIO_GET_IDENTITY: identify words with the strings in reading order.
    uint8_t id[512] = {};
    ASSERT_EQ(device.Ioctl(HDIO_GET_IDENTITY, id), 0);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(id) + 54, 21), "WDC WD5000AAKS-00V1A0");
    EXPECT_EQ(std::string(reinterpret_cast<char*>(id) + 46, 8), "05.01D05");
    EXPECT_EQ(id[510], 0xA5);

    // HDIO_DRIVE_CMD IDENTIFY: registers then the sector.
    std::vector<uint8_t> cmd(4 + 512, 0);
    cmd[0] = 0xEC;
    cmd[3] = 1;
    ASSERT_EQ(device.Ioctl(HDIO_DRIVE_CMD, cmd.data()), 0);
    const auto sector = device.Drive().IdentifySector();
    EXPECT_TRUE(std::equal(sector.begin(), sector.end(), cmd.begin() + 4));

    // SMART READ DATA through HDIO_DRIVE_CMD: sector number is the log, feature D0.
    std::vector<uint8_t> smart(4 + 512, 0);
    smart[0] = 0xB0;
    smart[2] = 0xD0;
    smart[3] = 1;
    ASSERT_EQ(device.Ioctl(HDIO_DRIVE_CMD, smart.data()), 0);
    EXPECT_EQ(smart[4], 0x10);  // data structure revision

    // A command the drive aborts: EIO, with status and error handed back.
    uint8_t bad[4] = {0xB0, 0, 0xC7, 0};
    errno = 0;
    EXPECT_EQ(device.Ioctl(HDIO_DRIVE_CMD, bad), -1);
    EXPECT_EQ(errno, EIO);
    EXPECT_EQ(bad[0], 0x51);
    EXPECT_EQ(bad[1], 0x04);

    // HDIO_DRIVE_TASK: SMART RETURN STATUS registers come back.
    uint8_t task[7] = {0xB0, 0xDA, 0, 0, 0x4F, 0xC2, 0};
    ASSERT_EQ(device.Ioctl(HDIO_DRIVE_TASK, task), 0);
    EXPECT_EQ(task[0], 0x50);
    EXPECT_EQ(task[4], 0x4F);
    EXPECT_EQ(task[5], 0xC2);

    EXPECT_EQ(device.Ioctl(HDIO_DRIVE_CMD, nullptr), 0);  // the "is it there" probe
}

TEST_F(PeerDeviceTest, DriveFaultsReachTheCaller) {
    VirtualDrive::Faults f;
    f.failDeviceCalls = 1;
    device.Drive().SetFaults(f);
    Sg s = Request(Identify16(1), SG_DXFER_FROM_DEV, 512);
    errno = 0;
    EXPECT_EQ(Send(device, s), -1);
    EXPECT_EQ(errno, EIO);
    Sg again = Request(Identify16(1), SG_DXFER_FROM_DEV, 512);
    EXPECT_EQ(Send(device, again), 0);  // only the one call failed
    EXPECT_EQ(again.hdr.status, 0);

    // A drive that never leaves BSY: the command times out at once (host
    // status DID_TIME_OUT) instead of holding the caller.
    f = {};
    f.stuckBusy = true;
    device.Drive().SetFaults(f);
    Sg busy = Request(Identify16(1), SG_DXFER_FROM_DEV, 512, 60000);
    ASSERT_EQ(Send(device, busy), 0);
    EXPECT_EQ(busy.hdr.host_status, 0x03);
    EXPECT_NE(busy.hdr.info & SG_INFO_OK_MASK, SG_INFO_OK);
    EXPECT_EQ(busy.hdr.resid, 512);
}

// The idle3 timer set in one process is there for the next.
TEST(PeerDeviceState, IdleTimerSurvivesIntoTheNextProcess) {
    const fs::path dir = fs::temp_directory_path() / ("qm-peer-state-" + std::to_string(getpid()));
    fs::remove_all(dir);
    Settings s;
    s.state = dir.string();
    auto vsc = [](PeerDevice& d, uint8_t feature) {
        Sg c = Request({0x85, 0x06, 0x20, 0, feature, 0, 0, 0, 0, 0, 0x44, 0, 0x57, 0xA0, 0x80, 0},
                       SG_DXFER_NONE, 0);
        ASSERT_EQ(Send(d, c), 0);
        ASSERT_EQ(c.sense[21] & 0x01, 0);
    };
    // Key: action 0x2A, 2 = write, then the timer sector on log 0xBF.
    auto key = [](PeerDevice& d, uint16_t rw) {
        Sg k = Request({0x85, 0x0A, 0x06, 0, 0xD6, 0, 1, 0, 0xBE, 0, 0x4F, 0, 0xC2, 0xA0, 0xB0, 0},
                       SG_DXFER_TO_DEV, 512);
        std::fill(k.data.begin(), k.data.end(), 0);
        const uint16_t words[] = {0x2A, rw, 2, 0x0D, 0x16, 1};
        for (size_t i = 0; i < 6; ++i) {
            k.data[2 * i] = static_cast<uint8_t>(words[i]);
            k.data[2 * i + 1] = static_cast<uint8_t>(words[i] >> 8);
        }
        ASSERT_EQ(Send(d, k), 0);
        ASSERT_EQ(k.hdr.status, 0);
    };
    {
        PeerDevice first;
        std::string error;
        ASSERT_TRUE(first.Start(s, error)) << error;
        EXPECT_TRUE(fs::exists(dir / "drive.ini"));  // the sample written out as a drive folder
        vsc(first, 0x45);
        key(first, 2);
        Sg data =
            Request({0x85, 0x0A, 0x06, 0, 0xD6, 0, 1, 0, 0xBF, 0, 0x4F, 0, 0xC2, 0xA0, 0xB0, 0},
                    SG_DXFER_TO_DEV, 512);
        std::fill(data.data.begin(), data.data.end(), 0);
        data.data[0] = 137;
        ASSERT_EQ(Send(first, data), 0);
        ASSERT_EQ(data.hdr.status, 0);
        vsc(first, 0x44);
    }
    PeerDevice second;
    std::string error;
    ASSERT_TRUE(second.Start(s, error)) << error;
    EXPECT_EQ(second.Drive().ServiceAreaNow().idleTimer, 137);
    // The folder is still a drive folder the program reads.
    DriveContent content;
    ASSERT_TRUE(VirtualDrive::LoadFolder(dir.string(), content, error)) << error;
    EXPECT_EQ(content.serviceArea.idleTimer, 137);
    fs::remove_all(dir);
}

TEST(PeerDeviceState, TraceHasOneLinePerCall) {
    const fs::path log =
        fs::temp_directory_path() / ("qm-peer-trace-" + std::to_string(getpid()) + ".log");
    fs::remove(log);
    Settings s;
    s.log = log.string();
    {
        PeerDevice d;
        std::string error;
        ASSERT_TRUE(d.Start(s, error)) << error;
        Sg id = Request(Identify16(1), SG_DXFER_FROM_DEV, 512);
        ASSERT_EQ(Send(d, id), 0);
        int value = 0;
        d.Ioctl(0x5401, &value);
    }
    std::ifstream in(log);
    std::vector<std::string> lines;
    for (std::string l; std::getline(in, l);) lines.push_back(l);
    ASSERT_EQ(lines.size(), 3u);  // start, SG_IO, the unknown call
    EXPECT_NE(lines[1].find("SG_IO cdb=85 08 0e"), std::string::npos) << lines[1];
    EXPECT_NE(lines[1].find("cmd=ec"), std::string::npos) << lines[1];
    EXPECT_NE(lines[1].find("status=0x00"), std::string::npos) << lines[1];
    EXPECT_NE(lines[2].find("Inappropriate ioctl"), std::string::npos) << lines[2];
    fs::remove(log);
}

}  // namespace
}  // namespace qm::peer
