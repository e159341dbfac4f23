// Reading only what is a file of a sane size, and the one atomic save.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <string>
#include <vector>

#include "common/Files.h"
#include "common/Ini.h"

namespace qm {
namespace {

namespace fs = std::filesystem;

struct TempFolder {
    fs::path path;
    TempFolder() {
        path = fs::temp_directory_path() /
               ("qm-files-" + std::to_string(::getpid()) + "-" +
                ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(path);
        fs::create_directories(path);
    }
    ~TempFolder() { fs::remove_all(path); }
    std::vector<std::string> Names() const {
        std::vector<std::string> names;
        for (const auto& e : fs::directory_iterator(path)) names.push_back(e.path().filename());
        return names;
    }
};

TEST(FileRead, OnlyRegularFilesUpToTheLimit) {
    TempFolder dir;
    std::vector<uint8_t> bytes;
    std::string error;
    // A FIFO with no writer would block the open; /dev/zero has no end.
    const fs::path fifo = dir.path / "pipe.rpm";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    EXPECT_FALSE(ReadFileBytes(fifo, bytes, error));
    EXPECT_NE(error.find("not a regular file"), std::string::npos) << error;
    EXPECT_FALSE(ReadFileBytes("/dev/zero", bytes, error));
    std::string text, reason;
    EXPECT_FALSE(ReadWholeFile(fifo, text, &reason));

    const std::vector<uint8_t> image(4096, 0x5A);
    ASSERT_TRUE(WriteFileAtomic(dir.path / "m.rpm", image, error)) << error;
    EXPECT_FALSE(ReadFileBytes(dir.path / "m.rpm", bytes, error, 4095));
    EXPECT_NE(error.find("4096 bytes"), std::string::npos) << error;
    ASSERT_TRUE(ReadFileBytes(dir.path / "m.rpm", bytes, error, 4096)) << error;
    EXPECT_EQ(bytes, image);
    // The system's files announce no size of their own and are still read.
    EXPECT_TRUE(ReadWholeFile("/proc/self/stat", text, &reason)) << reason;
    EXPECT_FALSE(text.empty());
}

TEST(AtomicSave, ReplacesTheFileKeepsItsModeAndItsLink) {
    TempFolder dir;
    std::string error;
    const fs::path real = dir.path / "module.rpm";
    const fs::path link = dir.path / "link.rpm";
    ASSERT_TRUE(WriteFileAtomic(real, std::vector<uint8_t>{1, 2, 3}, error)) << error;
    fs::permissions(real, fs::perms::owner_read | fs::perms::owner_write);
    fs::create_symlink("module.rpm", link);

    ASSERT_TRUE(WriteFileAtomic(link, std::vector<uint8_t>{9, 8}, error)) << error;
    EXPECT_TRUE(fs::is_symlink(link));
    std::vector<uint8_t> back;
    ASSERT_TRUE(ReadFileBytes(real, back, error));
    EXPECT_EQ(back, (std::vector<uint8_t>{9, 8}));
    EXPECT_EQ(fs::status(real).permissions() & fs::perms::all,
              fs::perms::owner_read | fs::perms::owner_write);
    // No temporary file is left behind, and a save into a missing folder
    // changes nothing.
    EXPECT_EQ(dir.Names().size(), 2u);
    EXPECT_FALSE(WriteFileAtomic(dir.path / "no" / "x.rpm", back, error));
    EXPECT_EQ(dir.Names().size(), 2u);
}

}  // namespace
}  // namespace qm
