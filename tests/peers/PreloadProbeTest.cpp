// Runs with libqmvd-preload.so preloaded: the node seen through every way a
// program opens, stats, copies and closes it.
#include <fcntl.h>
#include <linux/fs.h>
#include <scsi/sg.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

namespace {

bool IsNode(int fd) {
    uint64_t bytes = 0;
    return ioctl(fd, BLKGETSIZE64, &bytes) == 0 && bytes == 976773168ULL * 512;
}

class PreloadProbe : public ::testing::Test {
  protected:
    void SetUp() override {
        const char* preload = std::getenv("LD_PRELOAD");
        if (!preload || !std::strstr(preload, "qmvd-preload")) GTEST_SKIP() << "not preloaded";
    }
};

TEST_F(PreloadProbe, EveryOpenVariantGivesTheNode) {
    const int fds[] = {open("/dev/sdqv", O_RDONLY | O_NONBLOCK), open64("/dev/qmvd0", O_RDWR),
                       openat(AT_FDCWD, "/dev/sdqv", O_RDWR | O_CLOEXEC),
                       openat64(AT_FDCWD, "/dev/qmvd0", O_RDONLY)};
    for (int fd : fds) {
        ASSERT_GE(fd, 0) << std::strerror(errno);
        EXPECT_TRUE(IsNode(fd));
        EXPECT_EQ(close(fd), 0);
    }
    // O_CLOEXEC is kept on the descriptor that stands for the node.
    const int fd = open("/dev/sdqv", O_RDWR | O_CLOEXEC);
    ASSERT_GE(fd, 0);
    EXPECT_TRUE(fcntl(fd, F_GETFD) & FD_CLOEXEC);
    close(fd);
    // Other paths are untouched.
    EXPECT_LT(open("/dev/sdqw", O_RDONLY), 0);
    EXPECT_EQ(errno, ENOENT);
}

TEST_F(PreloadProbe, StatReportsABlockDevice) {
    struct stat st {};
    ASSERT_EQ(stat("/dev/sdqv", &st), 0);
    EXPECT_TRUE(S_ISBLK(st.st_mode));
    EXPECT_EQ(major(st.st_rdev), 8u);
    ASSERT_EQ(lstat("/dev/qmvd0", &st), 0);
    EXPECT_TRUE(S_ISBLK(st.st_mode));
    const int fd = open("/dev/qmvd0", O_RDWR);
    ASSERT_GE(fd, 0);
    std::memset(&st, 0, sizeof st);
    ASSERT_EQ(fstat(fd, &st), 0);
    EXPECT_TRUE(S_ISBLK(st.st_mode));
    ASSERT_EQ(fstatat(fd, "", &st, AT_EMPTY_PATH), 0);
    EXPECT_TRUE(S_ISBLK(st.st_mode));
    struct statx sx {};
    ASSERT_EQ(statx(AT_FDCWD, "/dev/sdqv", 0, STATX_BASIC_STATS, &sx), 0);
    EXPECT_TRUE(S_ISBLK(sx.stx_mode));
    EXPECT_EQ(sx.stx_rdev_major, 8u);
    close(fd);
    // The placeholder behind the descriptor is no longer the node once closed.
    ASSERT_EQ(stat("/dev/null", &st), 0);
    EXPECT_TRUE(S_ISCHR(st.st_mode));
}

TEST_F(PreloadProbe, CopiesFollowTheNodeAndCloseForgetsIt) {
    const int fd = open("/dev/sdqv", O_RDWR);
    ASSERT_GE(fd, 0);
    const int a = dup(fd);
    const int b = fcntl(fd, F_DUPFD_CLOEXEC, 100);
    const int c = dup2(fd, 90);
    const int d = dup3(fd, 91, O_CLOEXEC);
    for (int copy : {a, b, c, d}) {
        ASSERT_GE(copy, 0);
        EXPECT_TRUE(IsNode(copy)) << copy;
    }
    EXPECT_GE(b, 100);
    // dup2 over a node descriptor makes it the other file.
    const int plain = open("/proc/self/status", O_RDONLY);
    ASSERT_GE(plain, 0);
    ASSERT_EQ(dup2(plain, a), a);
    EXPECT_FALSE(IsNode(a));
    for (int x : {plain, a, b, c, d}) close(x);
    // A number reused for a regular file after close is that file again.
    close(fd);
    const int reused = open("/proc/self/status", O_RDONLY);
    ASSERT_GE(reused, 0);
    uint64_t bytes = 0;
    EXPECT_EQ(ioctl(reused, BLKGETSIZE64, &bytes), -1);
    EXPECT_EQ(errno, ENOTTY);
    close(reused);
}

TEST_F(PreloadProbe, ThreadsShareTheDrive) {
    const int fd = open("/dev/sdqv", O_RDWR);
    ASSERT_GE(fd, 0);
    std::atomic<int> good{0}, bad{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t)
        threads.emplace_back([&] {
            for (int i = 0; i < 200; ++i) {
                uint8_t cdb[16] = {0x85, 0x08, 0x0E, 0, 0, 0, 1, 0, 0, 0, 0, 0, 0, 0x40, 0xEC, 0};
                uint8_t data[512] = {}, sense[32] = {};
                sg_io_hdr_t h{};
                h.interface_id = 'S';
                h.dxfer_direction = SG_DXFER_FROM_DEV;
                h.cmd_len = 16;
                h.cmdp = cdb;
                h.dxferp = data;
                h.dxfer_len = sizeof data;
                h.sbp = sense;
                h.mx_sb_len = sizeof sense;
                h.timeout = 20000;
                const bool ok = ioctl(fd, SG_IO, &h) == 0 && h.status == 0 && data[510] == 0xA5 &&
                                std::memcmp(data + 54, "DW", 2) == 0;
                (ok ? good : bad)++;
            }
        });
    for (auto& t : threads) t.join();
    EXPECT_EQ(good, 800);
    EXPECT_EQ(bad, 0);
    close(fd);
}

}  // namespace
