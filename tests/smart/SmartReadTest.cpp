// The S.M.A.R.T. read end to end on the virtual drive: command registers,
// the status check, faults and the abort flag.
#include <gtest/gtest.h>

#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <set>

#include "common/ScriptedHost.h"
#include "common/Workbench.h"
#include "drive/PortIo.h"
#include "smart/SmartRead.h"
#include "vdrive/SampleSmart.h"
#include "vdrive/VirtualDrive.h"
#include "vdrive/VirtualPortIo.h"

namespace qm {
namespace {

constexpr uint16_t kBase = 0x1F0;

// The virtual channel with a recorder of the task files written to it; a
// SMART sub-command listed in `fail` reaches the drive as an unknown command
// (so the drive aborts it with ERR).
class TappedPortIo : public PortIo {
  public:
    explicit TappedPortIo(VirtualDrive* drive) : inner_(drive) {}
    std::vector<TaskFile> commands;
    std::set<uint8_t> fail;

    bool InitializeOls() override { return true; }
    uint8_t ReadIoPortByte(uint16_t port) override { return inner_.ReadIoPortByte(port); }
    uint16_t ReadIoPortWord(uint16_t port) override { return inner_.ReadIoPortWord(port); }
    void WriteIoPortWord(uint16_t port, uint16_t value) override {
        inner_.WriteIoPortWord(port, value);
    }
    uint32_t ReadPciConfigDword(uint32_t a, uint8_t o) override {
        return inner_.ReadPciConfigDword(a, o);
    }
    void WriteIoPortByte(uint16_t port, uint8_t value) override {
        switch (port - kBase) {
            case 1:
                regs_.features = value;
                break;
            case 2:
                regs_.sectorCount = value;
                break;
            case 3:
                regs_.lbaLow = value;
                break;
            case 4:
                regs_.lbaMid = value;
                break;
            case 5:
                regs_.lbaHigh = value;
                break;
            case 6:
                regs_.device = value;
                break;
            case 7:
                regs_.command = value;
                commands.push_back(regs_);
                if (value == 0xB0 && fail.count(regs_.features)) value = 0x00;
                break;
        }
        inner_.WriteIoPortByte(port, value);
    }

  private:
    VirtualPortIo inner_;
    TaskFile regs_;
};

struct Bench {
    explicit Bench(DriveContent content = VirtualDrive::SampleContent())
        : drive(std::move(content)), io(&drive), wb(host) {
        wb.portIo = &io;
        wb.portIoReady = true;
        wb.link.mode = TransportMode::PortIo;
        wb.link.basePort = kBase;
        wb.link.controlPort = 0x3F6;
    }
    ScriptedHost host;
    VirtualDrive drive;
    TappedPortIo io;
    Workbench wb;
};

// A drive read from a folder holding only drive.ini and the given data sector,
// the way a user's drive folder is mounted.
DriveContent FolderWithSmartData(const std::string& name, const std::vector<uint8_t>& data) {
    const auto dir = std::filesystem::temp_directory_path() /
                     ("qm-smart-" + name + "-" + std::to_string(::getpid()));
    std::filesystem::create_directories(dir);
    std::ofstream(dir / "drive.ini") << "[Smart]\nStatus=good\n";
    std::ofstream(dir / "smart-data.bin", std::ios::binary)
        .write(reinterpret_cast<const char*>(data.data()),
               static_cast<std::streamsize>(data.size()));
    DriveContent c;
    std::string error;
    EXPECT_TRUE(VirtualDrive::LoadFolder(dir.string(), c, error)) << error;
    std::filesystem::remove_all(dir);
    return c;
}

TEST(SmartCommands, RegistersPerTransport) {
    struct Case {
        uint8_t feature;
        TransportMode mode;
        uint8_t count, lbaLow;
    } cases[] = {
        {kSmartFeatureEnable, TransportMode::PortIo, 0, 0},
        {kSmartFeatureEnable, TransportMode::ScsiPassThrough, 0, 0},
        {kSmartFeatureReadData, TransportMode::PortIo, 1, 1},
        {kSmartFeatureReadData, TransportMode::AtaPassThrough, 1, 1},
        {kSmartFeatureReadThresholds, TransportMode::PortIo, 1, 0},
        {kSmartFeatureReadThresholds, TransportMode::AtaPassThrough, 1, 1},
        {kSmartFeatureReadThresholds, TransportMode::ScsiPassThrough, 1, 1},
        {kSmartFeatureReturnStatus, TransportMode::PortIo, 1, 1},
        {kSmartFeatureReturnStatus, TransportMode::AtaPassThrough, 0, 0},
        {kSmartFeatureReturnStatus, TransportMode::ScsiPassThrough, 0, 0},
    };
    for (const Case& c : cases) {
        const TaskFile tf = SmartTaskFile(c.feature, c.mode);
        SCOPED_TRACE(testing::Message() << std::hex << int(c.feature) << " mode " << int(c.mode));
        EXPECT_EQ(tf.command, 0xB0);
        EXPECT_EQ(tf.features, c.feature);
        EXPECT_EQ(tf.sectorCount, c.count);
        EXPECT_EQ(tf.lbaLow, c.lbaLow);
        EXPECT_EQ(tf.lbaMid, 0x4F);
        EXPECT_EQ(tf.lbaHigh, 0xC2);
        EXPECT_EQ(tf.device, 0xA0);
    }
}

TEST(SmartReadPortIo, SampleDriveListsEveryAttributeAndIsGood) {
    Bench b;
    int cleared = 0;
    std::vector<SmartAttribute> rows;
    const SmartReadResult r =
        ReadSmart(b.wb, {[&] { ++cleared; }, [&](const SmartAttribute& a) { rows.push_back(a); }});
    EXPECT_EQ(r.verdict, SmartVerdict::Good);
    EXPECT_TRUE(r.listed);
    EXPECT_TRUE(r.thresholdsRead);
    EXPECT_EQ(cleared, 1);
    const auto sample = SampleSmartAttributes();
    ASSERT_EQ(rows.size(), sample.size());
    for (size_t i = 0; i < rows.size(); ++i) {
        EXPECT_EQ(rows[i].id, sample[i].id);
        EXPECT_EQ(rows[i].value, sample[i].value);
        EXPECT_EQ(rows[i].threshold, sample[i].threshold);
        EXPECT_EQ(rows[i].raw, sample[i].raw);
    }
    // Messages ran once per row while listing.
    EXPECT_GE(b.host.processMessagesCalls, rows.size());
    // The reads log nothing themselves: the caller writes the verdict.
    EXPECT_TRUE(b.host.logLines.empty());

    // What the drive saw, in order: the port-I/O forms of the registers.
    std::vector<std::pair<uint8_t, std::pair<uint8_t, uint8_t>>> seen;
    for (const TaskFile& tf : b.io.commands) {
        ASSERT_EQ(tf.command, 0xB0);
        EXPECT_EQ(tf.lbaMid, 0x4F);
        EXPECT_EQ(tf.lbaHigh, 0xC2);
        seen.push_back({tf.features, {tf.sectorCount, tf.lbaLow}});
    }
    const std::vector<std::pair<uint8_t, std::pair<uint8_t, uint8_t>>> expected = {
        {0xD8, {0, 0}}, {0xD0, {1, 1}}, {0xD1, {1, 0}}, {0xD8, {0, 0}}, {0xDA, {1, 1}}};
    EXPECT_EQ(seen, expected);
}

TEST(SmartReadPortIo, FailingDriveIsBad) {
    DriveContent c = VirtualDrive::SampleContent();
    c.smartFailing = true;
    Bench b(c);
    const SmartReadResult r = ReadSmart(b.wb);
    EXPECT_EQ(r.verdict, SmartVerdict::Bad);
    EXPECT_TRUE(r.listed);
}

TEST(SmartReadPortIo, AnyFailureInTheStatusCheckIsBad) {
    {
        // The drive aborts RETURN STATUS but leaves 4F/C2 in the registers.
        Bench b;
        b.io.fail = {kSmartFeatureReturnStatus};
        EXPECT_FALSE(SmartStatusGood(b.wb));
    }
    {
        Bench b;
        EXPECT_TRUE(SmartStatusGood(b.wb));
        b.wb.link.abort = true;
        EXPECT_FALSE(SmartStatusGood(b.wb));
    }
}

TEST(SmartReadPortIo, FailedEnableOrReadDataLeavesTheList) {
    for (uint8_t failing : {kSmartFeatureEnable, kSmartFeatureReadData}) {
        SCOPED_TRACE(int(failing));
        DriveContent c = VirtualDrive::SampleContent();
        c.smartFailing = true;
        Bench b(c);
        b.io.fail = {failing};
        bool touched = false;
        const SmartReadResult r = ReadSmart(
            b.wb, {[&] { touched = true; }, [&](const SmartAttribute&) { touched = true; }});
        EXPECT_FALSE(r.listed);
        EXPECT_FALSE(touched) << "the list must stay as it was";
        EXPECT_TRUE(r.attributes.empty());
        // The status check still ran.
        EXPECT_EQ(b.io.commands.back().features, kSmartFeatureReturnStatus);
        EXPECT_EQ(r.verdict, SmartVerdict::Bad);
    }
}

TEST(SmartReadPortIo, RefusedEnableAloneIsNotBad) {
    // Some drives refuse ENABLE OPERATIONS while S.M.A.R.T. is already on;
    // RETURN STATUS alone judges.
    Bench b;
    b.io.fail = {kSmartFeatureEnable};
    EXPECT_TRUE(SmartStatusGood(b.wb));
    EXPECT_EQ(ReadSmart(b.wb).verdict, SmartVerdict::Good);
}

TEST(SmartReadPortIo, FailedThresholdsStillListWithZeroThresholds) {
    Bench b;
    b.io.fail = {kSmartFeatureReadThresholds};
    const SmartReadResult r = ReadSmart(b.wb);
    EXPECT_TRUE(r.listed);
    EXPECT_FALSE(r.thresholdsRead);
    EXPECT_EQ(r.verdict, SmartVerdict::Good);
    ASSERT_EQ(r.attributes.size(), SampleSmartAttributes().size());
    // Not the data sector's bytes left in the sector buffer (flags would show
    // up as thresholds), but no threshold at all.
    for (const SmartAttribute& a : r.attributes) EXPECT_EQ(a.threshold, 0) << int(a.id);
}

TEST(SmartReadPortIo, EmptyFirstSlotListsNothing) {
    std::vector<uint8_t> data(512, 0);
    data[0] = 0x10;
    data[14] = 194;  // behind the empty first slot
    Bench b(FolderWithSmartData("empty", data));
    int cleared = 0;
    const SmartReadResult r = ReadSmart(b.wb, {[&] { ++cleared; }, {}});
    EXPECT_EQ(cleared, 1);  // the old list goes
    EXPECT_TRUE(r.attributes.empty());
    EXPECT_EQ(r.verdict, SmartVerdict::Good);
}

TEST(SmartReadPortIo, AbortWhileListingStopsWithoutAVerdict) {
    Bench b;
    std::vector<SmartAttribute> rows;
    // The window closes while the third row goes in: the next check stops.
    const SmartReadResult r = ReadSmart(b.wb, {{}, [&](const SmartAttribute& a) {
                                                   rows.push_back(a);
                                                   if (rows.size() == 3) b.wb.link.abort = true;
                                               }});
    EXPECT_EQ(r.verdict, SmartVerdict::Stopped);
    EXPECT_EQ(rows.size(), 3u);
    EXPECT_EQ(r.attributes.size(), 3u);
    // No status query was sent after the stop.
    for (const TaskFile& tf : b.io.commands) EXPECT_NE(tf.features, kSmartFeatureReturnStatus);
}

TEST(SmartReadPortIo, ReadClearsAStaleAbortFlag) {
    Bench b;
    b.wb.link.abort = true;
    EXPECT_EQ(ReadSmart(b.wb).verdict, SmartVerdict::Good);
}

TEST(SmartExportText, StopsWhenAbortedAndClearsTheFlagFirst) {
    Bench b;
    std::vector<SmartRow> rows;
    for (const auto& a : SampleSmartAttributes()) {
        SmartAttribute s;
        s.id = a.id;
        rows.push_back(MakeSmartRow(s));
    }
    std::string text;
    b.wb.link.abort = true;
    ASSERT_TRUE(SmartExportText(b.wb, rows, false, text));
    EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), static_cast<long>(rows.size()));
    b.host.onProcessMessages = [&] {
        if (b.host.processMessagesCalls == 2) b.wb.link.abort = true;
    };
    b.host.processMessagesCalls = 0;
    EXPECT_FALSE(SmartExportText(b.wb, rows, true, text));
    EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 2);
}

}  // namespace
}  // namespace qm
