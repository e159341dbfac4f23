// Drive folders: what a technician can hand the virtual drive, and what is refused.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "vdrive/VirtualDrive.h"

namespace qm {
namespace {

namespace fs = std::filesystem;

class DriveFolder : public ::testing::Test {
  protected:
    void SetUp() override {
        dir = fs::temp_directory_path() /
              ("qm-folder-" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()) +
               "-" + ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(dir);
        fs::create_directories(dir);
    }
    void TearDown() override { fs::remove_all(dir); }
    void Write(const std::string& name, const std::string& bytes) {
        std::ofstream(dir / name, std::ios::binary) << bytes;
    }
    bool Load(DriveContent& c, std::string& error) {
        return VirtualDrive::LoadFolder(dir.string(), c, error);
    }
    fs::path dir;
};

TEST_F(DriveFolder, IdentityAndSmartStatusFromDriveIni) {
    Write("drive.ini",
          "[Identity]\nModel=WDC WD10EZEX-00BN5A0\nFirmware=01.01A01\nSerial=WD-WCC3F0000001\n"
          "Sectors=1953525168\n[Smart]\nStatus=Failing\n");
    DriveContent c;
    std::string error;
    ASSERT_TRUE(Load(c, error)) << error;
    VirtualDrive d(c);
    EXPECT_EQ(d.Sectors(), 1953525168u);
    EXPECT_TRUE(d.Content().smartFailing);
    TaskFile tf;
    tf.command = 0xB0;
    tf.features = 0xDA;
    tf.lbaMid = 0x4F;
    tf.lbaHigh = 0xC2;
    const AtaReply r = d.Execute(tf);
    EXPECT_EQ(r.regs.lbaMid, 0xF4);
    EXPECT_EQ(r.regs.lbaHigh, 0x2C);
}

TEST_F(DriveFolder, RawIdentifySectorIsUsedAsIsAndGivesTheCapacity) {
    DriveContent sample = VirtualDrive::SampleContent();
    sample.sectors = 12345;
    const auto s = BuildIdentifySector(sample);
    Write("identify.bin", std::string(s.begin(), s.end()) + "trailing bytes are ignored");
    DriveContent c;
    std::string error;
    ASSERT_TRUE(Load(c, error)) << error;
    VirtualDrive d(c);
    EXPECT_EQ(d.IdentifySector(), s);
    EXPECT_EQ(d.Sectors(), 12345u);
}

TEST_F(DriveFolder, MissingOrShortFilesAreRefusedByName) {
    DriveContent c;
    std::string error;
    EXPECT_FALSE(Load(c, error));
    EXPECT_NE(error.find("drive.ini"), std::string::npos) << error;

    Write("drive.ini", "[Identity]\nModel=X\n");
    Write("smart-data.bin", std::string(100, '\0'));
    error.clear();
    EXPECT_FALSE(Load(c, error));
    EXPECT_NE(error.find("smart-data.bin"), std::string::npos) << error;

    fs::remove(dir / "smart-data.bin");
    Write("smart-thresholds.bin", "");
    error.clear();
    EXPECT_FALSE(Load(c, error));
    EXPECT_NE(error.find("smart-thresholds.bin"), std::string::npos) << error;
}

TEST_F(DriveFolder, NonsenseValuesAreRefused) {
    DriveContent c;
    std::string error;
    Write("drive.ini", "[Identity]\nSectors=lots\n");
    EXPECT_FALSE(Load(c, error));
    EXPECT_NE(error.find("Sectors"), std::string::npos);
    Write("drive.ini", "[Smart]\nStatus=meh\n");
    EXPECT_FALSE(Load(c, error));
    EXPECT_NE(error.find("Status"), std::string::npos);
}

}  // namespace
}  // namespace qm
