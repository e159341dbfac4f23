// Drive folders with a service area: reading, writing back, persisting.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "VscHost.h"
#include "vdrive/SampleServiceArea.h"

namespace qm {
namespace {

namespace fs = std::filesystem;

class ServiceFolder : public ::testing::Test {
  protected:
    void SetUp() override {
        dir = fs::temp_directory_path() /
              ("qm-sa-" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()) + "-" +
               ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(dir);
        fs::create_directories(dir);
    }
    void TearDown() override { fs::remove_all(dir); }
    void Write(const fs::path& rel, const std::vector<uint8_t>& bytes) {
        fs::create_directories((dir / rel).parent_path());
        std::ofstream(dir / rel, std::ios::binary)
            .write(reinterpret_cast<const char*>(bytes.data()),
                   static_cast<std::streamsize>(bytes.size()));
    }
    fs::path dir;
};

TEST_F(ServiceFolder, SavedDriveReadsBackTheSame) {
    const DriveContent sample = VirtualDrive::SampleContent();
    std::string error;
    ASSERT_TRUE(VirtualDrive::SaveFolder(dir.string(), sample, error)) << error;
    EXPECT_TRUE(fs::exists(dir / "modules" / "~id0033.rpm"));
    EXPECT_TRUE(fs::exists(dir / "tables" / "0D-0002.bin"));
    EXPECT_TRUE(fs::exists(dir / "tables" / "01-0000.bin"));
    DriveContent back;
    ASSERT_TRUE(VirtualDrive::LoadFolder(dir.string(), back, error)) << error;
    EXPECT_EQ(back.model, sample.model);
    EXPECT_EQ(back.sectors, sample.sectors);
    EXPECT_EQ(back.identify, VirtualDrive(sample).Content().identify);
    EXPECT_EQ(back.smartData, sample.smartData);
    EXPECT_EQ(back.serviceArea.modules, sample.serviceArea.modules);
    EXPECT_EQ(back.serviceArea.tables, sample.serviceArea.tables);
}

TEST_F(ServiceFolder, ShortNamesPaddingAndAMissingDirectory) {
    std::vector<uint8_t> m = MakeRoylModule(0x33, std::vector<uint8_t>(12, 0));
    m.resize(100);  // not whole sectors on disk: padded with zeros
    Write("drive.ini", {'[', 'I', 'd', 'e', 'n', 't', 'i', 't', 'y', ']', '\n'});
    Write("modules/~id33.rpm", m);
    Write("tables/d-2.bin", std::vector<uint8_t>(512, 7));
    DriveContent c;
    std::string error;
    ASSERT_TRUE(VirtualDrive::LoadFolder(dir.string(), c, error)) << error;
    ASSERT_TRUE(c.serviceArea.Module(0x33));
    EXPECT_EQ(c.serviceArea.Module(0x33)->size(), 512u);
    ASSERT_TRUE(c.serviceArea.Table(0x0D, 2));
    ASSERT_TRUE(c.serviceArea.Module(0x01));  // built from what is there
    EXPECT_EQ(GetU16(c.serviceArea.Module(0x01)->data() + kRoylHeaderLength), 2);
    EXPECT_FALSE(c.serviceArea.Module(0x28));  // nothing of the sample leaks in

    Write("modules/~id0033.rpm", m);
    EXPECT_FALSE(VirtualDrive::LoadFolder(dir.string(), c, error));
    EXPECT_NE(error.find("second file"), std::string::npos) << error;
    fs::remove(dir / "modules" / "~id0033.rpm");
    Write("modules/notes.txt", {'x'});
    EXPECT_FALSE(VirtualDrive::LoadFolder(dir.string(), c, error));
    EXPECT_NE(error.find("notes.txt"), std::string::npos) << error;
}

TEST_F(ServiceFolder, ModuleWritesReachTheFolderOnlyWhenPersisting) {
    const DriveContent sample = VirtualDrive::SampleContent();
    std::string error;
    ASSERT_TRUE(VirtualDrive::SaveFolder(dir.string(), sample, error)) << error;
    DriveContent c;
    ASSERT_TRUE(VirtualDrive::LoadFolder(dir.string(), c, error)) << error;
    const fs::path file = dir / "modules" / "~id000A.rpm";
    const auto before = fs::file_size(file);
    std::vector<uint8_t> m = *c.serviceArea.Module(0x0A);
    m[kRoylHeaderLength + 9] = 0x99;
    SealImage(m);
    {
        VirtualDrive d(c);
        test::VscHost host(d);
        ASSERT_TRUE(host.WriteModule(0x0A, m));
        DriveContent again;
        ASSERT_TRUE(VirtualDrive::LoadFolder(dir.string(), again, error));
        EXPECT_NE(*again.serviceArea.Module(0x0A), m);  // memory only
    }
    VirtualDrive d(c);
    d.SetPersistFolder(dir.string());
    test::VscHost host(d);
    ASSERT_TRUE(host.WriteModule(0x0A, m));
    DriveContent again;
    ASSERT_TRUE(VirtualDrive::LoadFolder(dir.string(), again, error));
    EXPECT_EQ(*again.serviceArea.Module(0x0A), m);
    EXPECT_EQ(fs::file_size(file), before);
    EXPECT_FALSE(fs::exists(dir / "modules" / "~id000A.rpm.tmp"));

    // A folder that cannot take the file: the write fails and memory keeps the old module.
    VirtualDrive d2(c);
    d2.SetPersistFolder((dir / "drive.ini").string());  // a file, not a folder
    test::VscHost host2(d2);
    EXPECT_FALSE(host2.WriteModule(0x0A, m));
    EXPECT_EQ(host2.Word(), 0x0108);
    EXPECT_NE(*d2.ServiceAreaNow().Module(0x0A), m);
}

TEST_F(ServiceFolder, FaultsComeFromDriveIni) {
    const std::string ini = "[Identity]\nModel=WDC X\n[Faults]\nModuleStatus.21=0x0F01\n";
    Write("drive.ini", std::vector<uint8_t>(ini.begin(), ini.end()));
    DriveContent c;
    std::string error;
    ASSERT_TRUE(VirtualDrive::LoadFolder(dir.string(), c, error)) << error;
    VirtualDrive d(c);
    test::VscHost host(d);
    std::vector<uint8_t> image;
    EXPECT_FALSE(host.ReadModule(0x21, image));
    EXPECT_EQ(host.Word(), 0x0F01);
    EXPECT_TRUE(host.ReadModule(0x28, image));  // the sample's service area otherwise
    const std::string bad = "[Faults]\nRemoveAfterChunks=many\n";
    Write("drive.ini", std::vector<uint8_t>(bad.begin(), bad.end()));
    EXPECT_FALSE(VirtualDrive::LoadFolder(dir.string(), c, error));
    EXPECT_NE(error.find("RemoveAfterChunks"), std::string::npos) << error;
}

}  // namespace
}  // namespace qm
