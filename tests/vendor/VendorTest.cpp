// Module and table transfers end to end on the virtual drive, on each of the
// three transports, with the drive's faults.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <random>

#include "common/Bytes.h"
#include "common/Files.h"
#include "common/Format.h"
#include "common/ScriptedHost.h"
#include "common/Workbench.h"
#include "drive/Identify.h"
#include "drive/Transport.h"
#include "vdrive/VirtualDrive.h"
#include "vdrive/VirtualPortIo.h"
#include "vdrive/VirtualSeams.h"
#include "vendor/ModuleJournal.h"
#include "vendor/Modules.h"
#include "vendor/VendorOps.h"
#include "vendor/Vsc.h"

namespace qm {
namespace {

namespace fs = std::filesystem;

ModuleImage RoylModule(uint16_t id, uint32_t sectors, uint8_t fill) {
    ModuleImage m(static_cast<size_t>(sectors) * 512, fill);
    PutU32(m.data(), 0x4C594F52);
    PutU16(m.data() + 6, 48);
    PutU16(m.data() + 8, id);
    PutU16(m.data() + 10, static_cast<uint16_t>(sectors));
    FixModuleChecksum(m);
    return m;
}

// A fake clock the drive runs on: every look at it moves time 1 ms on, so
// resets and long operations end without real sleeping.
struct FakeClock {
    int64_t now = 0;
    int64_t operator()() { return now += 1'000'000; }
};

class Vendor : public ::testing::TestWithParam<TransportMode> {
  protected:
    void SetUp() override { Mount(VirtualDrive::SampleContent()); }
    void TearDown() override {
        std::error_code ec;
        fs::remove_all(dataDir, ec);
    }

    void Mount(DriveContent content) {
        if (deviceIo && handle != kInvalidDeviceHandle) deviceIo->Close(handle);
        drive = std::make_unique<VirtualDrive>(std::move(content));
        auto clock = std::make_shared<FakeClock>();
        drive->SetClock([clock] { return (*clock)(); });
        portIo = std::make_unique<VirtualPortIo>(drive.get());
        auto device = std::make_unique<VirtualDeviceIo>(*drive);
        device->sleepNanos = [](int64_t) {};  // the drive's clock moves on its own
        deviceIo = std::move(device);
        wb.portIo = portIo.get();
        wb.deviceIo = deviceIo.get();
        wb.link.mode = GetParam();
        wb.link.basePort = 0x1F0;
        wb.link.controlPort = 0x3F6;
        wb.link.abort = false;
        polls = 0;
        handle = kInvalidDeviceHandle;
        if (GetParam() != TransportMode::PortIo) {
            handle = deviceIo->Open("/dev/qmvd0");
            ASSERT_NE(handle, kInvalidDeviceHandle);
            (GetParam() == TransportMode::AtaPassThrough ? wb.link.ataHandle : wb.link.scsiHandle) =
                handle;
        }
        // Unique per run: ctest runs the cases of this suite in parallel processes.
        if (dataDir.empty()) {
            std::random_device rd;
            dataDir = (fs::temp_directory_path() /
                       ("qm-vendor-" + std::to_string(rd()) + "-" + std::to_string(rd())))
                          .string();
        }
        wb.dataFolder = dataDir;
        wb.identity = ParseIdentity(drive->IdentifySector().data());
        // A wait that never ends is a hang: give up after many polls.
        host.onProcessMessages = [this] {
            if (++polls > 2'000'000) wb.link.abort = true;
        };
    }
    const SaImage& DriveModule(uint16_t id) {
        sa = drive->ServiceAreaNow();
        static const SaImage none;
        const SaImage* m = sa.Module(id);
        return m ? *m : none;
    }
    size_t JournalFiles() {
        size_t n = 0;
        std::error_code ec;
        for (auto it = fs::recursive_directory_iterator(dataDir, ec);
             !ec && it != fs::recursive_directory_iterator(); ++it)
            n += it->is_regular_file();
        return n;
    }

    ScriptedHost host;
    Workbench wb{host};
    std::unique_ptr<VirtualDrive> drive;
    std::unique_ptr<VirtualPortIo> portIo;
    std::unique_ptr<DeviceIo> deviceIo;
    DeviceHandle handle = kInvalidDeviceHandle;
    std::string dataDir;
    ServiceArea sa;
    uint64_t polls = 0;
};

TEST_P(Vendor, ModulesAndTablesReadAsTheDriveHoldsThem) {
    ModuleImage image;
    ASSERT_TRUE(ReadModule(wb, 0x21, image)) << std::hex << VendorStatus(wb);
    EXPECT_EQ(image, DriveModule(0x21));
    EXPECT_TRUE(ModuleChecksumValid(image));

    ModuleImage table;
    ASSERT_TRUE(ReadDriveTable(wb, 1, 0, table));
    EXPECT_EQ(table, *drive->ServiceAreaNow().Table(1, 0));
    EXPECT_EQ(ReadHeadCount(wb), 4);

    ModuleImage none;
    EXPECT_FALSE(ReadModule(wb, 0x7777, none));
    EXPECT_NE(VendorStatus(wb), 0);
    EXPECT_TRUE(none.empty());
}

TEST_P(Vendor, WriteIsJournaledAndReadsBack) {
    ModuleImage image;
    ASSERT_TRUE(ReadModule(wb, 0x21, image));
    const ModuleImage before = image;
    image[600] ^= 0x5A;
    FixModuleChecksum(image);
    std::string message;
    ASSERT_TRUE(WriteModuleSafely(wb, 0x21, image, message)) << message;
    EXPECT_EQ(DriveModule(0x21), image);
    ModuleImage back;
    ASSERT_TRUE(ReadModule(wb, 0x21, back));
    EXPECT_EQ(back, image);

    ModuleJournal journal(wb);
    ModuleImage kept;
    std::string error;
    bool sawBefore = false, sawWritten = false;
    for (const auto& e : fs::directory_iterator(journal.Folder())) {
        const std::string name = e.path().filename().string();
        ASSERT_TRUE(ReadFileBytes(e.path().string(), kept, error));
        if (name.find(".before.rpm") != std::string::npos) sawBefore = kept == before;
        if (name.find(".written.rpm") != std::string::npos) sawWritten = kept == image;
    }
    EXPECT_TRUE(sawBefore);
    EXPECT_TRUE(sawWritten);
    EXPECT_NE(journal.Folder().find("WDC_WD5000AAKS-00V1A0_WD-WCAWF1939879"), std::string::npos);
}

TEST_P(Vendor, NoJournalNoWrite) {
    // The journal's place is a file, not a folder: nothing may be written.
    std::ofstream(dataDir) << "in the way";
    ModuleImage image;
    ASSERT_TRUE(ReadModule(wb, 0x21, image));
    image[600] ^= 1;
    FixModuleChecksum(image);
    const SaImage unchanged = DriveModule(0x21);
    std::string message;
    EXPECT_FALSE(WriteModuleSafely(wb, 0x21, image, message));
    EXPECT_NE(message.find("journal"), std::string::npos) << message;
    EXPECT_EQ(DriveModule(0x21), unchanged);
    fs::remove(dataDir);
}

TEST_P(Vendor, ShortImageIsNeverPaddedWithStaleBytes) {
    ModuleImage image;
    ASSERT_TRUE(ReadModule(wb, 0x21, image));
    const SaImage unchanged = DriveModule(0x21);
    ModuleImage shorter(image.begin(), image.end() - 512);
    EXPECT_FALSE(WriteModule(wb, 0x21, shorter));
    EXPECT_EQ(DriveModule(0x21), unchanged);
}

TEST_P(Vendor, BigModulesMoveIn128SectorChunks) {
    DriveContent c = VirtualDrive::SampleContent();
    c.serviceArea.modules[0x99] = RoylModule(0x99, 300, 0x33);
    Mount(std::move(c));
    ModuleImage image;
    ASSERT_TRUE(ReadModule(wb, 0x99, image));
    EXPECT_EQ(image.size(), 300u * 512);
    EXPECT_EQ(image, DriveModule(0x99));
    image[100000] = 0x44;
    FixModuleChecksum(image);
    ASSERT_TRUE(WriteModule(wb, 0x99, image));
    EXPECT_EQ(DriveModule(0x99), image);
}

TEST_P(Vendor, AbsurdModuleSizesAreRefusedWithoutAllocating) {
    DriveContent c = VirtualDrive::SampleContent();
    c.serviceArea.modules[0x98] = RoylModule(0x98, kMaxModuleSectors + 8, 0);
    Mount(std::move(c));
    ModuleImage image;
    EXPECT_FALSE(ReadModule(wb, 0x98, image));
    EXPECT_TRUE(image.empty());
    ModuleImage fine;
    EXPECT_TRUE(ReadModule(wb, 0x21, fine)) << "the drive is usable afterwards";
}

TEST_P(Vendor, GoOnStatusSetsErrButOnlyTheFinalWordDecides) {
    VirtualDrive::Faults f;
    f.moduleStatus[0x21] = kVscGoOn;
    drive->SetFaults(f);
    EnableVsc(wb);
    SendKey8(wb, 0x08, 1, 0x21, 0, 0, 0, 0, 0);
    EXPECT_EQ(VendorStatus(wb), kVscGoOn);
    EXPECT_TRUE(wb.link.status.ERR);
    // ... and the read and the write still go on.
    ModuleImage image;
    ASSERT_TRUE(ReadModule(wb, 0x21, image));
    EXPECT_EQ(image, DriveModule(0x21));
    image[600] ^= 0x5A;
    FixModuleChecksum(image);
    ASSERT_TRUE(WriteModule(wb, 0x21, image));
    EXPECT_EQ(DriveModule(0x21), image);
    // The same word after the final status read fails the transfer.
    f.moduleFinalStatus[0x21] = kVscGoOn;
    drive->SetFaults(f);
    ModuleImage again;
    EXPECT_FALSE(ReadModule(wb, 0x21, again));
    EXPECT_EQ(VendorStatus(wb), kVscGoOn);
}

TEST_P(Vendor, DesktopWriteRefusesAnImageThatIsNotThisModule) {
    ModuleImage image;
    ASSERT_TRUE(ReadModule(wb, 0x21, image));
    const SaImage unchanged = DriveModule(0x21);
    // One zero sector longer: cut to the drive's count it would still sum to
    // zero and pass for written.
    ModuleImage longer = image;
    longer.resize(image.size() + 512, 0);
    EXPECT_FALSE(WriteModule(wb, 0x21, longer));
    EXPECT_FALSE(WriteModuleOrFile(wb, 0x21, longer));
    // Another module's image, as a SHIFT open loads it from a file.
    ModuleImage other;
    ASSERT_TRUE(ReadModule(wb, 0x0A, other));
    EXPECT_FALSE(WriteModuleOrFile(wb, 0x21, other));
    EXPECT_EQ(DriveModule(0x21), unchanged);
    ASSERT_EQ(host.logLines.size(), 2u);
    EXPECT_NE(host.logLines[0].find("module 0021 not written: the drive holds"), std::string::npos)
        << host.logLines[0];
    EXPECT_NE(host.logLines[1].find("module 0021 not written: the header names module 000A"),
              std::string::npos)
        << host.logLines[1];
}

TEST_P(Vendor, AbortStopsATransferAndFailsIt) {
    DriveContent c = VirtualDrive::SampleContent();
    c.serviceArea.modules[0x99] = RoylModule(0x99, 300, 0x33);
    Mount(std::move(c));
    // The loops let messages run after every chunk: stop once the first
    // chunk has gone out (its bytes are in the sector buffer).
    const SaImage unchanged = DriveModule(0x99);
    ModuleImage image = RoylModule(0x99, 300, 0x55);
    host.onProcessMessages = [&] {
        if (wb.link.Sectors()[0] == 0x55) wb.link.abort = true;
    };
    EXPECT_FALSE(WriteModule(wb, 0x99, image));
    EXPECT_TRUE(wb.link.Aborted());
    EXPECT_EQ(DriveModule(0x99), unchanged) << "a stopped write is never complete";
    wb.link.abort = false;
    host.onProcessMessages = [&] { wb.link.abort = true; };
    ModuleImage read;
    EXPECT_FALSE(ReadModule(wb, 0x99, read));
}

// Each fault, on each transport, for a module read, a module write and a table read.
struct FaultCase {
    const char* name;
    void (*set)(VirtualDrive::Faults&);
    bool portIo = true;  // whether the fault exists on the port-I/O transport
    bool write = true;   // whether it can hit a write
};

const FaultCase kFaults[] = {
    {"status word",
     [](VirtualDrive::Faults& f) {
         f.actionStatus[0x08] = 0x0101;
         f.actionStatus[0x0D] = 0x0101;
     }},
    {"ERR on a data chunk", [](VirtualDrive::Faults& f) { f.errOnChunk = 1; }},
    {"short data", [](VirtualDrive::Faults& f) { f.shortChunk = 1; }, true, false},
    {"removed mid-transfer", [](VirtualDrive::Faults& f) { f.removeAfterChunks = 1; }},
    {"stuck busy", [](VirtualDrive::Faults& f) { f.stuckBusy = true; }},
    {"device call fails", [](VirtualDrive::Faults& f) { f.failDeviceCalls = -1; }, false},
    // A count of 0 is left in the buffer: nothing moves, and the final status
    // read alone would pass the exchange.
    {"status read after the key refused", [](VirtualDrive::Faults& f) { f.refuseStatusRead = 1; }},
};

TEST_P(Vendor, EveryFaultEndsInAFailureAndLeavesTheModuleAlone) {
    // A module of three chunks, so that chunk faults strike mid-transfer.
    DriveContent content = VirtualDrive::SampleContent();
    content.serviceArea.modules[0x21] = RoylModule(0x21, 300, 0x21);
    const ModuleImage original = content.serviceArea.modules[0x21];
    ModuleImage changed = original;
    changed[700] ^= 0xFF;
    FixModuleChecksum(changed);
    for (const FaultCase& fc : kFaults) {
        if (!fc.portIo && GetParam() == TransportMode::PortIo) continue;
        SCOPED_TRACE(fc.name);
        for (int op = 0; op < 3; ++op) {
            SCOPED_TRACE(op);
            if (op == 1 && !fc.write) continue;
            Mount(content);
            // A write reads the drive's copy for the journal first; the fault
            // is meant for the write itself.
            ModuleImage current;
            if (op == 1) {
                ASSERT_TRUE(ReadModule(wb, 0x21, current));
            }
            VirtualDrive::Faults f;
            fc.set(f);
            drive->SetFaults(f);
            const size_t journalBefore = JournalFiles();
            ModuleImage image;
            bool ok = true;
            std::string message;
            switch (op) {
                case 0:
                    ok = ReadModule(wb, 0x21, image);
                    break;
                case 1:
                    ok = WriteModuleJournaled(wb, 0x21, changed, &current, message);
                    break;
                case 2:
                    ok = ReadDriveTable(wb, 0x0D, 0, image);
                    break;
            }
            EXPECT_FALSE(ok);
            EXPECT_EQ(DriveModule(0x21), original);
            if (op == 1) {
                EXPECT_GT(JournalFiles(), journalBefore) << "the journal entry stays";
                for (const auto& e : fs::recursive_directory_iterator(dataDir))
                    EXPECT_EQ(e.path().string().find(".written.rpm"), std::string::npos)
                        << "a failed write is journaled as not written";
            }
        }
    }
}

TEST_P(Vendor, PowerOnResetLeavesVscModeAndComesBack) {
    ModuleImage image;
    ASSERT_TRUE(ReadModule(wb, 0x21, image));
    EXPECT_TRUE(drive->VscMode());
    EXPECT_TRUE(PowerOnResetCommand(wb));
    EXPECT_TRUE(host.logLines.empty());
    EXPECT_FALSE(drive->VscMode());
    EXPECT_TRUE(ReadModule(wb, 0x21, image));

    VirtualDrive::Faults f;
    f.actionStatus[0x1C] = 0x0B0B;
    drive->SetFaults(f);
    EXPECT_FALSE(PowerOnResetCommand(wb));
    ASSERT_EQ(host.logLines.size(), 1u);
    EXPECT_EQ(host.logLines[0], "Power On Reset Immediate - ERROR:0B0B");
}

TEST_P(Vendor, ShiftSavesToAFileAndACancelledDialogSavesNothing) {
    host.shift = true;
    ModuleImage image = RoylModule(0x28, 2, 0x11);
    PutU32(image.data() + 12, 0);  // stale checksum: the write path fixes it
    host.saveAnswers = {""};       // the user cancels
    EXPECT_FALSE(WriteModuleOrFile(wb, 0x28, image));
    EXPECT_TRUE(ModuleChecksumValid(image));
    ASSERT_EQ(host.dialogsShown.size(), 1u);
    EXPECT_EQ(host.dialogsShown[0].fileName, "~id0028.rpm");
    EXPECT_EQ(wb.saveDialog.filter, "All|*.*");
    EXPECT_EQ(wb.saveDialog.fileName, "");

    fs::create_directories(dataDir);
    const std::string path = dataDir + "/saved.rpm";
    host.saveAnswers = {path};
    EXPECT_TRUE(WriteModuleOrFile(wb, 0x28, image));
    host.openAnswers = {path};
    ModuleImage loaded;
    EXPECT_TRUE(ReadModuleOrFile(wb, 0x28, loaded));
    EXPECT_EQ(loaded, image);
    host.openAnswers = {dataDir + "/missing.rpm"};
    EXPECT_THROW(ReadModuleOrFile(wb, 0x28, loaded), FileError);
}

TEST_P(Vendor, HeadCountFallsBackToTheConfigurationTable) {
    DriveContent c = VirtualDrive::SampleContent();
    SaImage& m0a = c.serviceArea.modules.at(0x0A);
    const size_t at = ModuleDataOffset(m0a) + 4;
    m0a[at] = 11;  // out of range: the table's value counts
    FixModuleChecksum(m0a);
    Mount(std::move(c));
    EXPECT_EQ(ReadHeadCount(wb), 4);
}

// Keys and data phases as they leave for the device, read off the ATA
// pass-through blocks: "key 0C/2" (action/first parameter), "in 128", "out 1".
class VscTrace : public DeviceIo {
  public:
    explicit VscTrace(DeviceIo& inner) : inner_(inner) {}
    std::vector<std::string> events;
    std::vector<std::vector<uint16_t>> keys;  // the first eight words of every key
    DeviceHandle Open(const std::string& p) override { return inner_.Open(p); }
    void Close(DeviceHandle h) override { inner_.Close(h); }
    bool Control(DeviceHandle h, uint32_t code, uint8_t* b, uint32_t in, uint32_t out,
                 uint32_t& returned) override {
        const uint8_t* cur = b + 32;  // CurrentTaskFile of the 40-byte block
        if (code == kIoctlAtaPassThrough && cur[6] == 0xB0) {
            if (cur[2] == 0xBF)
                events.push_back((cur[0] == 0xD5 ? "in " : "out ") + std::to_string(cur[1]));
            else if (cur[2] == 0xBE && cur[0] == 0xD6) {
                events.push_back(Format("key %02X/%X", GetU16(b + 40), GetU16(b + 42)));
                keys.emplace_back();
                for (int i = 0; i < 8; ++i) keys.back().push_back(GetU16(b + 40 + 2 * i));
            }
        }
        return inner_.Control(h, code, b, in, out, returned);
    }
    uint32_t LastError() const override { return inner_.LastError(); }
    std::string ErrorText(uint32_t c) const override { return inner_.ErrorText(c); }

  private:
    DeviceIo& inner_;
};

// The sample drive behind a traced ATA pass-through device.
struct TracedDrive {
    explicit TracedDrive(DriveContent c = VirtualDrive::SampleContent())
        : drive(std::move(c)), device(drive), trace(device), wb(host) {
        device.sleepNanos = [](int64_t) {};
        wb.deviceIo = &trace;
        wb.link.mode = TransportMode::AtaPassThrough;
        wb.link.ataHandle = trace.Open("/dev/qmvd0");
    }
    VirtualDrive drive;
    VirtualDeviceIo device;
    VscTrace trace;
    ScriptedHost host;
    Workbench wb;
};

TEST(VendorSequences, ChunksOf128AndTheServoWriteOrder) {
    DriveContent c = VirtualDrive::SampleContent();
    c.serviceArea.modules[0x99] = RoylModule(0x99, 300, 0x33);
    TracedDrive t(std::move(c));
    Workbench& wb = t.wb;
    VscTrace& trace = t.trace;

    ModuleImage image;
    ASSERT_TRUE(ReadModule(wb, 0x99, image));
    EXPECT_EQ(trace.events, (std::vector<std::string>{"key 08/1", "in 128", "in 128", "in 44"}));

    // Op 8: the write key, its data, then the read key.
    trace.events.clear();
    ServoOperation(wb, 100, 1, 8, 1, 0, 1);
    EXPECT_EQ(trace.events, (std::vector<std::string>{"key 0C/2", "out 1", "key 0C/1"}));
}

TEST(VendorSequences, ServoOps9And10SettleRepositionAndReadTheResult) {
    TracedDrive t;
    using Words = std::vector<uint16_t>;
    // Op 9 on head 0x11: the position key takes the head's low four bits,
    // the settle request and the re-position the whole number. The settle
    // is refused; the re-position and the result read still go out, and the
    // result read's status word decides: the drive has no measurement after a
    // failed settle and refuses it, so the operation fails and no data moves.
    VirtualDrive::Faults f;
    f.actionStatus[0x8052] = 0x0107;
    t.drive.SetFaults(f);
    EXPECT_FALSE(ServoOperation(t.wb, 0x12345, 0x11, 9, 1, 0, 0));
    EXPECT_EQ(t.trace.keys, (std::vector<Words>{
                                {0x12, 0x2345, 0x0001, 0x01, 1, 0, 0, 0},
                                {0x8052, 0x0A01, 0, 0, 0x2345, 0x0001, 0x11, 1},
                                {0x12, 0x2345, 0x0001, 0x11, 1, 0, 0, 0},
                                {0x10, 1, 0x201E, 0, 0, 0, 0x19, 0},
                            }));
    EXPECT_EQ(t.trace.events.back(), "key 10/1");
    // Op 10 sends no key of its own and reads result 0x1A.
    t.drive.SetFaults({});
    t.trace.keys.clear();
    t.trace.events.clear();
    EXPECT_TRUE(ServoOperation(t.wb, 100, 1, 10, 1, 0, 0));
    ASSERT_EQ(t.trace.keys.size(), 3u);
    EXPECT_EQ(t.trace.keys[0][0], 0x8052);
    EXPECT_EQ(t.trace.keys[2], (Words{0x10, 1, 0x201E, 0, 0, 0, 0x1A, 0}));
    EXPECT_EQ(GetU16(t.wb.link.Sectors()), 0x1A);  // the result sector landed
}

TEST(VendorSequences, HeadCountFromModule0AOrTheConfigurationTable) {
    auto withCounts = [](uint8_t module, uint8_t table) {
        DriveContent c = VirtualDrive::SampleContent();
        ModuleImage& m = c.serviceArea.modules[0x0A];
        m[ModuleDataOffset(m) + 4] = module;
        FixModuleChecksum(m);
        c.serviceArea.tables[ServiceArea::TableKey(1, 0)][30] = table;
        return c;
    };
    TracedDrive four(withCounts(4, 6));
    EXPECT_EQ(ReadHeadCount(four.wb), 4);
    EXPECT_EQ(four.trace.events.front(), "key 08/1");
    EXPECT_EQ(four.trace.events.size(), 2u) << "module 0A only, no table read";
    TracedDrive eleven(withCounts(11, 6));
    EXPECT_EQ(ReadHeadCount(eleven.wb), 6);
}

INSTANTIATE_TEST_SUITE_P(Transports, Vendor,
                         ::testing::Values(TransportMode::PortIo, TransportMode::AtaPassThrough,
                                           TransportMode::ScsiPassThrough),
                         [](const ::testing::TestParamInfo<TransportMode>& i) {
                             switch (i.param) {
                                 case TransportMode::PortIo:
                                     return "PortIo";
                                 case TransportMode::AtaPassThrough:
                                     return "AtaPassThrough";
                                 default:
                                     return "ScsiPassThrough";
                             }
                         });

}  // namespace
}  // namespace qm
