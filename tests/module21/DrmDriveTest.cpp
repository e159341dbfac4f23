// Module 0x21 on the virtual drive: edits written through the journaled
// module write and seen in S.M.A.R.T., the sample's three module layouts, and
// the checks that keep a foreign image off the drive.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <random>

#include "common/Bytes.h"
#include "common/ScriptedHost.h"
#include "common/Workbench.h"
#include "module21/Drm21.h"
#include "smart/SmartRead.h"
#include "vdrive/Mount.h"
#include "vdrive/SampleSmart.h"
#include "vendor/Modules.h"

namespace qm {
namespace {

namespace fs = std::filesystem;

class DrmDrive : public ::testing::Test {
  protected:
    void SetUp() override {
        std::random_device rd;
        dir = fs::temp_directory_path() / ("qm-m21-" + std::to_string(rd()));
        fs::create_directories(dir);
        wb.dataFolder = (dir / "data").string();
    }
    void TearDown() override {
        std::error_code ec;
        fs::remove_all(dir, ec);
    }
    void Mount(const std::string& folder) {
        std::string error;
        ASSERT_TRUE(MountVirtualDrive(folder, mounted, error)) << error;
        auto clock = std::make_shared<int64_t>(0);
        mounted.drive->SetClock([clock] { return *clock += 1'000'000; });
        mounted.AttachTo(wb);
        wb.portIoReady = true;
        wb.link.mode = TransportMode::PortIo;
        wb.link.basePort = 0x1F0;
        wb.link.controlPort = 0x3F6;
    }
    // A drive folder holding only drive.ini with these lines.
    std::string Folder(const std::string& ini) {
        const fs::path d = dir / "drive";
        fs::create_directories(d);
        std::ofstream(d / "drive.ini") << ini;
        return d.string();
    }
    std::vector<uint8_t> Read() {
        std::vector<uint8_t> image;
        EXPECT_TRUE(ReadModule(wb, kDrmModuleId, image));
        return image;
    }

    fs::path dir;
    ScriptedHost host;
    Workbench wb{host};
    MountedDrive mounted;
};

TEST_F(DrmDrive, HiddenAttributeLeavesSmartAndShowComesBack) {
    Mount("");
    std::vector<uint8_t> image = Read();
    const DrmDirectory d = ParseDrmDirectory(image);
    const DrmAttributeTable t = LocateDrmAttributes(image.data(), image.size(), d);
    const auto rows = DecodeDrmAttributes(t);
    ASSERT_EQ(rows.size(), SampleSmartAttributes().size());
    // Hide id 4 (row 2); change the value of id 5 through its entry.
    ASSERT_EQ(rows[2].id, 4);
    ASSERT_TRUE(SetDrmAttributeHidden(image, t, rows[2].slot, true));
    uint8_t entry[12];
    std::copy_n(image.begin() + static_cast<long>(rows[3].slotOffset), 12, entry);
    entry[3] = 77;
    ASSERT_TRUE(WriteDrmAttributeEntry(image, t, rows[3].slot, entry));
    std::string message;
    ASSERT_TRUE(WriteDrmModule(wb, image, message)) << message;

    SmartReadResult smart = ReadSmart(wb);
    ASSERT_TRUE(smart.listed);
    ASSERT_EQ(smart.attributes.size(), rows.size() - 1);
    EXPECT_EQ(smart.attributes[2].id, 5);  // the slots after it moved up...
    EXPECT_EQ(smart.attributes[2].value, 77);
    EXPECT_EQ(smart.attributes[2].threshold, 140);  // ...with their thresholds
    for (const SmartAttribute& a : smart.attributes) EXPECT_NE(a.id, 4);

    ASSERT_TRUE(SetDrmAttributeHidden(image, t, rows[2].slot, false));
    ASSERT_TRUE(WriteDrmModule(wb, image, message)) << message;
    EXPECT_EQ(ReadSmart(wb).attributes.size(), rows.size());
}

TEST_F(DrmDrive, SampleLayoutsDecodeAlike) {
    struct Case {
        const char* key;
        const char* directory;
        const char* attributes;
        bool royl;
    } cases[] = {{"DRM2", "DRM2", "DRM2: Section Ver:500", true},
                 {"STD", "STD", "STD: Section Ver:042", true},
                 {"std-old", "STD", "STD: Section Ver:042", false}};
    std::vector<DrmAttribute> first;
    for (const Case& c : cases) {
        Mount(Folder(std::string("[ServiceArea]\nModule21=") + c.key + "\n"));
        const std::vector<uint8_t> image = Read();
        EXPECT_EQ(CheckModuleImage(image, kDrmModuleId), "") << c.key;
        const DrmDirectory d = ParseDrmDirectory(image);
        EXPECT_STREQ(d.label(), c.directory);
        EXPECT_EQ(d.royl, c.royl);
        ASSERT_EQ(d.sections.size(), 12u);
        EXPECT_TRUE(d.sections[10].empty());
        EXPECT_TRUE(d.problems.empty());
        const DrmAttributeTable t = LocateDrmAttributes(image.data(), image.size(), d);
        EXPECT_EQ(t.label, c.attributes);
        auto rows = DecodeDrmAttributes(t);
        for (DrmAttribute& r : rows) r.slotOffset = 0;
        ASSERT_EQ(rows.size(), SampleSmartAttributes().size());
        if (first.empty()) first = rows;
        for (size_t i = 0; i < rows.size(); ++i) {
            EXPECT_EQ(rows[i].id, first[i].id);
            EXPECT_EQ(rows[i].raw, first[i].raw);
            EXPECT_EQ(rows[i].threshold, first[i].threshold);
        }
        // The drive reads its attributes out of the same module.
        EXPECT_EQ(ReadSmart(wb).attributes.size(), rows.size()) << c.key;
    }
    std::string error;
    MountedDrive m;
    EXPECT_FALSE(MountVirtualDrive(Folder("[ServiceArea]\nModule21=DRM3\n"), m, error));
    EXPECT_NE(error.find("Module21"), std::string::npos);
}

TEST_F(DrmDrive, ForeignImagesNeverReachTheDrive) {
    Mount("");
    const std::vector<uint8_t> original = Read();
    std::string message;
    // A dropped file of another module, and an image of another size.
    std::vector<uint8_t> foreign = original;
    PutU16(foreign.data() + 8, 0x33);
    EXPECT_FALSE(WriteDrmModule(wb, foreign, message));
    EXPECT_NE(message.find("module 0033"), std::string::npos) << message;
    std::vector<uint8_t> longer = original;
    longer.resize(original.size() + 512);
    EXPECT_FALSE(WriteDrmModule(wb, longer, message));
    std::vector<uint8_t> none;
    EXPECT_FALSE(WriteDrmModule(wb, none, message));
    EXPECT_EQ(Read(), original);
    // With SHIFT the image goes to the chosen file instead, checksum fixed.
    host.shift = true;
    host.saveAnswers.push_back((dir / "m21.rpm").string());
    std::vector<uint8_t> edited = original;
    edited[200] ^= 0xFF;
    ASSERT_TRUE(WriteDrmModule(wb, edited, message));
    EXPECT_EQ(host.dialogsShown.back().fileName, "~id0021.rpm");
    std::ifstream f(dir / "m21.rpm", std::ios::binary);
    std::vector<uint8_t> saved((std::istreambuf_iterator<char>(f)), {});
    EXPECT_EQ(saved, edited);
    EXPECT_TRUE(ModuleChecksumValid(saved));
    host.shift = false;
    EXPECT_EQ(Read(), original);
}

}  // namespace
}  // namespace qm
