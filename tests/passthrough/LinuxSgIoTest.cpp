// The Linux pass-through backend: the SG_IO requests it makes from both
// blocks (recorded through an injected ioctl), how it reads the answers, and
// every transport end to end against a SAT layer over the virtual drive.
#include <fcntl.h>
#include <scsi/sg.h>

#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <vector>

#include "common/ScriptedHost.h"
#include "common/Workbench.h"
#include "drive/SatCdb.h"
#include "drive/Transport.h"
#include "drive/uAtaPass.h"
#include "drive/uSCSI.h"
#include "platform/linux/LinuxDeviceIo.h"
#include "platform/linux/LinuxEnumerator.h"
#include "smart/SmartRead.h"
#include "vdrive/Sat.h"
#include "vdrive/VirtualDrive.h"

namespace qm {
namespace {

// One SG_IO request as the backend made it.
struct Recorded {
    unsigned long request = 0;
    int interfaceId = 0;
    int direction = 0;
    std::vector<uint8_t> cdb;
    unsigned dxferLen = 0;
    unsigned timeout = 0;
    unsigned mxSbLen = 0;
    std::vector<uint8_t> dataOut;
};

// Answers SG_IO from a script: status, host status and sense; data-in bytes
// are filled with `fill`.
class FakeSg {
  public:
    LinuxDeviceIo::IoctlFn Fn() {
        return [this](int, unsigned long request, void* arg) -> int {
            auto* h = static_cast<sg_io_hdr_t*>(arg);
            Recorded r;
            r.request = request;
            r.interfaceId = h->interface_id;
            r.direction = h->dxfer_direction;
            r.cdb.assign(h->cmdp, h->cmdp + h->cmd_len);
            r.dxferLen = h->dxfer_len;
            r.timeout = h->timeout;
            r.mxSbLen = h->mx_sb_len;
            if (h->dxfer_direction == SG_DXFER_TO_DEV)
                r.dataOut.assign(static_cast<uint8_t*>(h->dxferp),
                                 static_cast<uint8_t*>(h->dxferp) + h->dxfer_len);
            recorded.push_back(r);
            if (failErrno) {
                errno = failErrno;
                return -1;
            }
            if (h->dxfer_direction == SG_DXFER_FROM_DEV) std::memset(h->dxferp, fill, h->dxfer_len);
            h->status = status;
            h->host_status = hostStatus;
            h->driver_status = sense.empty() ? 0 : 0x08;
            const size_t n = std::min<size_t>(sense.size(), h->mx_sb_len);
            std::copy_n(sense.begin(), n, h->sbp);
            h->sb_len_wr = static_cast<unsigned char>(n);
            return 0;
        };
    }
    std::vector<Recorded> recorded;
    uint8_t status = 0;
    uint16_t hostStatus = 0;
    std::vector<uint8_t> sense;
    uint8_t fill = 0x5A;
    int failErrno = 0;
};

LinuxDeviceIo::OpenFn OpenAnything(int* flagsSeen = nullptr) {
    return [flagsSeen](const char*, int flags) {
        if (flagsSeen) *flagsSeen = flags;
        return 7;
    };
}
LinuxDeviceIo::CloseFn CloseNothing() {
    return [](int) { return 0; };
}

std::vector<uint8_t> DescriptorSense(const ResultRegisters& r, uint8_t key = 0x01) {
    return sat::BuildSense(true, key, 0x00, 0x1D, &r, true);
}

class LinuxSgIo : public ::testing::Test {
  protected:
    LinuxSgIo() : io(OpenAnything(&openFlags), sg.Fn(), CloseNothing()), wb(host) {
        wb.deviceIo = &io;
        wb.link.mode = TransportMode::AtaPassThrough;
        wb.link.ataHandle = wb.link.scsiHandle = io.Open("/dev/sdz");
    }
    FakeSg sg;
    int openFlags = 0;
    LinuxDeviceIo io;
    ScriptedHost host;
    Workbench wb;
};

TEST_F(LinuxSgIo, AtaBlockBecomesPassThrough16WithCkCond) {
    // Read-only: closing a node opened for writing makes udev announce a change.
    EXPECT_EQ(openFlags & O_ACCMODE, O_RDONLY);
    EXPECT_TRUE(openFlags & O_NONBLOCK);
    EXPECT_FALSE(openFlags & O_CREAT);
    ResultRegisters regs{0, 1, 0, 0, 0, 0xA0, 0x50};
    sg.status = 2;
    sg.sense = DescriptorSense(regs);
    ASSERT_TRUE(IdentifyDevice(wb));
    ASSERT_EQ(sg.recorded.size(), 1u);
    const Recorded& r = sg.recorded[0];
    EXPECT_EQ(r.request, static_cast<unsigned long>(SG_IO));
    EXPECT_EQ(r.interfaceId, 'S');
    EXPECT_EQ(r.direction, SG_DXFER_FROM_DEV);
    EXPECT_EQ(r.cdb, (std::vector<uint8_t>{0x85, 0x09, 0x2E, 0, 0, 0, 1, 0, 0, 0, 0, 0, 0, 0xA0,
                                           0xEC, 0}));
    EXPECT_EQ(r.dxferLen, 512u);
    EXPECT_EQ(r.timeout, 5000u);
    EXPECT_GE(r.mxSbLen, 22u);
    EXPECT_EQ(wb.link.Sectors()[0], 0x5A);  // data landed in the caller's buffer
    EXPECT_EQ(wb.link.Sectors()[511], 0x5A);
    EXPECT_TRUE(wb.link.status.DRDY);

    // Non-data and data-out directions.
    TaskFile smart;
    smart.command = 0xB0;
    smart.features = 0xDA;
    smart.lbaMid = 0x4F;
    smart.lbaHigh = 0xC2;
    regs = {0, 0, 0, 0xF4, 0x2C, 0xA0, 0x50};
    sg.sense = DescriptorSense(regs);
    ASSERT_TRUE(SendNonData(wb, smart, RegisterForm::Lba28));
    EXPECT_EQ(sg.recorded[1].direction, SG_DXFER_NONE);
    EXPECT_EQ(sg.recorded[1].dxferLen, 0u);
    EXPECT_EQ(sg.recorded[1].cdb[1], 0x07);
    EXPECT_EQ(sg.recorded[1].cdb[2], 0x20);
    const ResultRegisters back = ReadResultRegisters(wb);
    EXPECT_EQ(back.lbaMid, 0xF4);
    EXPECT_EQ(back.lbaHigh, 0x2C);

    std::memset(wb.link.Sectors(), 0x33, 1024);
    TaskFile write;
    write.command = 0x30;
    write.sectorCount = 2;
    ASSERT_TRUE(SendDataOut(wb, write, RegisterForm::Lba28, 2));
    EXPECT_EQ(sg.recorded[2].direction, SG_DXFER_TO_DEV);
    EXPECT_EQ(sg.recorded[2].cdb[1], 0x0B);
    EXPECT_EQ(sg.recorded[2].cdb[2], 0x26);
    EXPECT_EQ(sg.recorded[2].dataOut, std::vector<uint8_t>(1024, 0x33));
}

TEST_F(LinuxSgIo, DriveErrorInTheSenseFailsWithZeroedData) {
    const ResultRegisters regs{kErrorAbrt, 0, 0, 0, 0, 0xA0, kStatusDrdy | kStatusErr};
    sg.status = 2;
    sg.sense = DescriptorSense(regs, sat::kSenseAbortedCommand);
    EXPECT_FALSE(IdentifyDevice(wb));
    EXPECT_TRUE(wb.link.error.ABRT);
    EXPECT_EQ(wb.link.Sectors()[0], 0);
    EXPECT_EQ(wb.link.Sectors()[511], 0);
    EXPECT_TRUE(host.logLines.empty());

    // Fixed-format sense with ATA PASS-THROUGH INFORMATION AVAILABLE.
    const ResultRegisters good{0, 0, 0, 0x4F, 0xC2, 0xA0, 0x50};
    sg.sense = sat::BuildSense(false, 0x01, 0x00, 0x1D, &good, false);
    EXPECT_TRUE(IdentifyDevice(wb));
    EXPECT_EQ(wb.link.result.lbaMid, 0x4F);
}

TEST_F(LinuxSgIo, AnswersWithoutRegisters) {
    // A bridge that ignores CK_COND: GOOD means the command worked.
    sg.status = 0;
    EXPECT_TRUE(IdentifyDevice(wb));
    EXPECT_EQ(wb.link.result.status, kStatusDrdy | kStatusDsc);
    EXPECT_FALSE(wb.link.result.known);
    // RETURN STATUS sends 4F/C2: what was sent is never read back as the
    // drive's answer, so the status is BAD, and the log says why.
    EXPECT_FALSE(SmartStatusGood(wb));
    EXPECT_EQ(ReadResultRegisters(wb).lbaMid, 0);
    ASSERT_EQ(host.logLines.size(), 1u);
    EXPECT_EQ(host.logLines[0], kSmartStatusUnreadable);
    host.logLines.clear();
    // CHECK CONDITION with a plain error sense: the command failed.
    sg.status = 2;
    sg.sense = {0x70, 0, 0x05, 0, 0, 0, 0, 10, 0, 0, 0, 0, 0x24, 0};
    EXPECT_FALSE(IdentifyDevice(wb));
    EXPECT_TRUE(wb.link.status.ERR);
    EXPECT_TRUE(host.logLines.empty());
    // BUSY never reached the drive: the device call fails.
    sg.sense.clear();
    sg.status = 0x08;
    EXPECT_FALSE(IdentifyDevice(wb));
    ASSERT_EQ(host.logLines.size(), 1u);
    EXPECT_EQ(host.logLines[0], std::string("IOCTL_ATA_PASS_THROUGH ") + std::strerror(EIO));
}

TEST_F(LinuxSgIo, AtaRegistersBehindAnotherDescriptor) {
    // An information descriptor (12 bytes) and a vendor one (20 bytes) in
    // front of the ATA Status Return: 8 + 12 + 20 + 14 bytes of sense.
    const ResultRegisters regs{0, 0, 0, 0x4F, 0xC2, 0xA0, 0x50};
    std::vector<uint8_t> sense = DescriptorSense(regs);
    std::vector<uint8_t> front(32, 0);
    front[0] = 0x00;  // information
    front[1] = 0x0A;
    front[12] = 0x80;  // vendor specific
    front[13] = 0x12;
    sense.insert(sense.begin() + 8, front.begin(), front.end());
    sense[7] = static_cast<uint8_t>(sense.size() - 8);
    sg.status = 2;
    sg.sense = sense;
    EXPECT_TRUE(SmartStatusGood(wb));
    EXPECT_TRUE(host.logLines.empty());
}

TEST_F(LinuxSgIo, FailedCallsAndTimeouts) {
    sg.failErrno = ENODEV;
    std::memset(wb.link.Sectors(), 0xCC, 512);
    EXPECT_FALSE(IdentifyDevice(wb));
    EXPECT_EQ(wb.link.Sectors()[0], 0);
    ASSERT_EQ(host.logLines.size(), 1u);
    EXPECT_EQ(host.logLines[0], std::string("IOCTL_ATA_PASS_THROUGH ") + std::strerror(ENODEV));
    sg.failErrno = 0;
    sg.hostStatus = 0x03;  // DID_TIME_OUT
    EXPECT_FALSE(IdentifyDevice(wb));
    EXPECT_EQ(io.LastError(), static_cast<uint32_t>(ETIMEDOUT));
    wb.link.mode = TransportMode::ScsiPassThrough;
    EXPECT_FALSE(IdentifyDevice(wb));
}

TEST_F(LinuxSgIo, MalformedBlocksNeverReachTheDevice) {
    TaskFile id;
    id.command = 0xEC;
    id.sectorCount = 1;
    PassThroughRequest r = BuildAtaPassThroughRequest(id, nullptr, 512, DataDirection::In);
    uint32_t returned = 0;
    EXPECT_FALSE(
        io.Control(wb.link.ataHandle, kIoctlAtaPassThrough, r.block.data(), 40, 100, returned));
    EXPECT_EQ(io.LastError(), static_cast<uint32_t>(EINVAL));
    PassThroughRequest s = BuildScsiPassThroughRequest(BuildScsiAtaCdb(ScsiProtocol::NonData, id),
                                                       scsi_ptx::kDataUnspecified, nullptr, 0);
    s.block[7] = 200;  // sense area past the block
    EXPECT_FALSE(io.Control(wb.link.scsiHandle, kIoctlScsiPassThrough, s.block.data(), s.inSize,
                            s.outSize, returned));
    EXPECT_FALSE(
        io.Control(wb.link.scsiHandle, 0x12345, s.block.data(), s.inSize, s.outSize, returned));
    EXPECT_FALSE(io.Control(kInvalidDeviceHandle, kIoctlAtaPassThrough, r.block.data(), r.inSize,
                            r.outSize, returned));
    EXPECT_TRUE(sg.recorded.empty());
}

TEST_F(LinuxSgIo, ScsiBlockCarriesItsOwnCommandAndGetsStatusAndSense) {
    wb.link.mode = TransportMode::ScsiPassThrough;
    ASSERT_TRUE(IdentifyDevice(wb));
    ASSERT_EQ(sg.recorded.size(), 1u);
    EXPECT_EQ(sg.recorded[0].cdb, (std::vector<uint8_t>{0x85, 0x09, 0x0E, 0, 0, 0, 1, 0, 0, 0, 0, 0,
                                                        0, 0xA0, 0xEC, 0}));
    EXPECT_EQ(sg.recorded[0].direction, SG_DXFER_FROM_DEV);
    EXPECT_EQ(sg.recorded[0].dxferLen, 512u);
    EXPECT_EQ(wb.link.Sectors()[100], 0x5A);
    // An error comes back as status and fixed sense in the block.
    sg.status = 2;
    sg.sense = {0x70, 0, 0x0B, 0, 0, 0, 0, 10, 0, 0, 0, 0, 0, 0};
    EXPECT_FALSE(IdentifyDevice(wb));
    EXPECT_EQ(wb.link.Sectors()[100], 0);
    // Return Response Information with its 22 bytes.
    sg.status = 0;
    sg.sense.clear();
    ResultRegisters rr;
    EXPECT_TRUE(ScsiReadResponse(wb, rr));
    EXPECT_EQ(sg.recorded.back().cdb[1], 0x1F);
    EXPECT_EQ(sg.recorded.back().dxferLen, 22u);
}

TEST_F(LinuxSgIo, OpenFailureKeepsErrno) {
    LinuxDeviceIo missing(
        [](const char*, int) {
            errno = ENOENT;
            return -1;
        },
        sg.Fn(), CloseNothing());
    EXPECT_EQ(missing.Open("/dev/gone"), kInvalidDeviceHandle);
    EXPECT_EQ(missing.LastError(), static_cast<uint32_t>(ENOENT));
    EXPECT_EQ(missing.ErrorText(ENOENT), std::strerror(ENOENT));
}

// The backend in front of a SAT layer over the virtual drive, both sense formats.
class LinuxSgIoOnSat : public ::testing::TestWithParam<std::tuple<TransportMode, bool>> {
  protected:
    LinuxSgIoOnSat()
        : drive(VirtualDrive::SampleContent()),
          sat(drive),
          io(OpenAnything(), Answer(), CloseNothing()),
          wb(host) {
        sat.descriptorSense = std::get<1>(GetParam());
        wb.deviceIo = &io;
        wb.link.mode = std::get<0>(GetParam());
        wb.link.ataHandle = wb.link.scsiHandle = io.Open("/dev/sdz");
    }
    LinuxDeviceIo::IoctlFn Answer() {
        return [this](int, unsigned long, void* arg) {
            auto* h = static_cast<sg_io_hdr_t*>(arg);
            std::span<const uint8_t> out;
            if (h->dxfer_direction == SG_DXFER_TO_DEV)
                out = {static_cast<const uint8_t*>(h->dxferp), h->dxfer_len};
            const uint32_t room = h->dxfer_direction == SG_DXFER_FROM_DEV ? h->dxfer_len : 0;
            const sat::SatResponse r = sat.Execute(h->cmdp, h->cmd_len, out, room);
            if (!r.data.empty()) std::memcpy(h->dxferp, r.data.data(), r.data.size());
            h->resid = static_cast<int>(room - r.data.size());
            h->status = r.scsiStatus;
            h->host_status = 0;
            h->driver_status = r.sense.empty() ? 0 : 0x08;
            const size_t n = std::min<size_t>(r.sense.size(), h->mx_sb_len);
            std::copy_n(r.sense.begin(), n, h->sbp);
            h->sb_len_wr = static_cast<unsigned char>(n);
            return 0;
        };
    }
    VirtualDrive drive;
    sat::SatDevice sat;
    LinuxDeviceIo io;
    ScriptedHost host;
    Workbench wb;
};

TEST_P(LinuxSgIoOnSat, IdentifySmartAndSectors) {
    ASSERT_TRUE(IdentifyDevice(wb));
    EXPECT_EQ(std::memcmp(wb.link.Sectors(), drive.IdentifySector().data(), 512), 0);

    TaskFile smart;
    smart.command = 0xB0;
    smart.features = 0xD0;
    smart.sectorCount = 1;
    smart.lbaMid = 0x4F;
    smart.lbaHigh = 0xC2;
    ASSERT_TRUE(SendDataIn(wb, smart, RegisterForm::Lba28, 1));
    EXPECT_EQ(std::memcmp(wb.link.Sectors(), drive.Content().smartData.data(), 512), 0);
    smart.features = 0xDA;
    smart.sectorCount = 0;
    ASSERT_TRUE(SendNonData(wb, smart, RegisterForm::Lba28));
    const ResultRegisters r = ReadResultRegisters(wb);
    EXPECT_EQ(r.lbaMid, 0x4F);
    EXPECT_EQ(r.lbaHigh, 0xC2);

    TaskFile rw;
    rw.command = 0x30;
    rw.sectorCount = 3;
    rw.lbaLow = 77;
    rw.device = 0xE0;
    for (int i = 0; i < 3 * 512; ++i) wb.link.Sectors()[i] = static_cast<uint8_t>(i ^ 0xA5);
    ASSERT_TRUE(SendDataOut(wb, rw, RegisterForm::Lba28, 3));
    std::memset(wb.link.Sectors(), 0, 3 * 512);
    rw.command = 0x20;
    ASSERT_TRUE(SendDataIn(wb, rw, RegisterForm::Lba28, 3));
    for (int i = 0; i < 3 * 512; ++i)
        ASSERT_EQ(wb.link.Sectors()[i], static_cast<uint8_t>(i ^ 0xA5)) << i;

    TaskFile bad;
    bad.command = 0x7F;
    EXPECT_FALSE(SendNonData(wb, bad, RegisterForm::Lba28));
    if (std::get<0>(GetParam()) == TransportMode::AtaPassThrough) {
        EXPECT_TRUE(wb.link.error.ABRT);
    }
}

INSTANTIATE_TEST_SUITE_P(Modes, LinuxSgIoOnSat,
                         ::testing::Combine(::testing::Values(TransportMode::AtaPassThrough,
                                                              TransportMode::ScsiPassThrough),
                                            ::testing::Bool()),
                         [](const auto& info) {
                             return std::string(std::get<0>(info.param) ==
                                                        TransportMode::AtaPassThrough
                                                    ? "Ata"
                                                    : "Scsi") +
                                    (std::get<1>(info.param) ? "Descriptor" : "Fixed");
                         });

TEST(LinuxDisks, BusTypesFromUdevFacts) {
    auto bus = [](DiskBusFacts f) { return static_cast<int>(BusTypeFromFacts(f)); };
    EXPECT_EQ(bus({"ata", "pci-0000:00:1f.2-ata-1.0", true, true, "sda", {"scsi"}, ""}), kBusSata);
    EXPECT_EQ(bus({"ata", "pci-0000:00:07.1-ata-1.0", true, false, "sda", {"scsi"}, ""}), kBusAta);
    EXPECT_EQ(bus({"ata", "", false, false, "sda", {}, ""}), kBusSata);
    EXPECT_EQ(bus({"usb", "", false, false, "sdb", {"scsi", "usb"}, ""}), kBusUsb);
    EXPECT_EQ(bus({"", "", false, false, "sdb", {"scsi", "usb"}, ""}), kBusUsb);
    // ata_id also labels a SATA disk in a USB case or behind a SAS adapter.
    EXPECT_EQ(bus({"ata",
                   "pci-0000:00:14.0-usb-0:2:1.0-scsi-0:0:0:0",
                   true,
                   true,
                   "sdb",
                   {"scsi", "usb"},
                   ""}),
              kBusUsb);
    EXPECT_EQ(bus({"ata",
                   "pci-0000:03:00.0-sas-phy0-lun-0",
                   true,
                   true,
                   "sdc",
                   {"scsi", "sas_device"},
                   ""}),
              kBusSas);
    EXPECT_EQ(bus({"scsi", "pci-0000:03:00.0-sas-phy0-lun-0", false, false, "sdc", {"scsi"}, ""}),
              kBusSas);
    EXPECT_EQ(bus({"scsi", "", false, false, "sdc", {"scsi"}, ""}), kBusScsi);
    EXPECT_EQ(bus({"", "", false, false, "nvme0n1", {"nvme"}, ""}), kBusNvme);
    EXPECT_EQ(bus({"", "", false, false, "vda", {"virtio"}, ""}), kBusVirtual);
    EXPECT_EQ(bus({"", "", false, false, "mmcblk0", {"mmc"}, "SD"}), kBusSd);
    EXPECT_EQ(bus({"", "", false, false, "mmcblk1", {"mmc"}, "MMC"}), kBusMmc);
    EXPECT_EQ(bus({"ieee1394", "", false, false, "sdd", {}, ""}), kBus1394);
    EXPECT_EQ(bus({"", "", false, false, "weird0", {}, ""}), kBusUnknown);
    EXPECT_EQ(DecodeUdevString("WDC\\x20WD5000AAKS-00V1A0\\x20\\x20"), "WDC WD5000AAKS-00V1A0");
    const std::string ahci =
        "/sys/devices/pci0000:00/0000:00:1f.2/ata1/host0/target0:0:0/0:0:0:0/block/";
    EXPECT_TRUE(ListedAsDrive(ahci + "sda"));
    EXPECT_TRUE(ListedAsDrive(
        "/sys/devices/pci0000:00/0000:00:1d.0/mmc_host/mmc0/mmc0:0001/block/mmcblk0"));
    for (const char* not_a_drive : {"sr0", "fd0", "mmcblk0boot0", "mmcblk0rpmb"})
        EXPECT_FALSE(ListedAsDrive(ahci + not_a_drive)) << not_a_drive;
    EXPECT_FALSE(ListedAsDrive("/sys/devices/virtual/block/loop0"));
    EXPECT_EQ(DecodeUdevString("odd\\x2"), "odd\\x2");
    EXPECT_EQ(DeviceChangeCode("add"), kDeviceArrival);
    EXPECT_EQ(DeviceChangeCode("remove"), kDeviceRemoveComplete);
    EXPECT_EQ(DeviceChangeCode("change"), 0u);  // a closed writer, not a disk coming or going
    EXPECT_EQ(DeviceChangeCode("bind"), 0u);
}

TEST(LinuxDisks, EnumerationOfThisMachineStaysInTheTable) {
    UdevDriveEnumerator e;
    DriveTable table;
    table[40].displayName = "stale";
    const int count = e.EnumerateDrives(table);
    EXPECT_GE(count, 0);
    EXPECT_LE(count, kMaxPhysicalDrives);
    for (int i = 0; i < count; ++i) {
        const std::string& path = table[static_cast<size_t>(i)].devicePath;
        if (!path.empty()) {
            EXPECT_EQ(path.rfind("/dev/", 0), 0u);
        }
    }
    if (count < kMaxPhysicalDrives) {
        EXPECT_TRUE(table[40].displayName.empty());
    }
}

TEST(LinuxDisks, DeviceChangeMonitorNeverBlocks) {
    std::string why;
    auto source = UdevDeviceChangeSource::Create(&why);
    if (!source) {
        EXPECT_FALSE(why.empty());
        return;
    }
    EXPECT_GE(source->WaitHandle(), 0);
    // Returns at once whether or not events are pending; only disk events count.
    for (uint32_t code : source->Poll())
        EXPECT_TRUE(code == kDeviceArrival || code == kDeviceRemoveComplete ||
                    code == kDeviceNodesChanged);
}

}  // namespace
}  // namespace qm
