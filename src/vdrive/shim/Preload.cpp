// libqmvd-preload.so: loaded with LD_PRELOAD, it shows a virtual drive as a
// disk node (/dev/qmvd0 and /dev/sdqv) to programs that were never built for
// it. Opening the node gives a real descriptor (of /dev/null) that this
// library remembers; stat calls on the node or the descriptor report a block
// device, and ioctl calls on the descriptor go to the PeerDevice. Everything
// else goes straight to the C library.
//
// The C library's functions are looked up lazily with dlsym(RTLD_NEXT). The
// drive is built on the first open of the node, never from a constructor.
// While this library works (building the drive, reading its folder, writing
// the trace) the calls it makes itself pass straight through, so nothing
// recurses into the device or takes its lock twice.
#include <dlfcn.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <mutex>

#include "vdrive/shim/PeerDevice.h"

namespace {

using qm::peer::IsDevicePath;

// Descriptors that stand for the node. A descriptor at or above the limit
// is never handed out for it.
constexpr int kMaxFds = 65536;
std::atomic<uint8_t> g_ours[kMaxFds];

bool Ours(int fd) {
    return fd >= 0 && fd < kMaxFds && g_ours[fd].load(std::memory_order_acquire);
}
void Mark(int fd, bool ours) {
    if (fd >= 0 && fd < kMaxFds) g_ours[fd].store(ours ? 1 : 0, std::memory_order_release);
}

// Depth of this library's own work on this thread: calls made meanwhile are passed through.
__thread int t_inside = 0;
struct Inside {
    Inside() { ++t_inside; }
    ~Inside() { --t_inside; }
    Inside(const Inside&) = delete;
    Inside& operator=(const Inside&) = delete;
};

std::mutex g_mutex;                        // guards the device and its creation
qm::peer::PeerDevice* g_device = nullptr;  // lives until the process ends
bool g_failed = false;

// The next definition of a function (the C library's).
template <typename Fn>
Fn Next(std::atomic<Fn>& slot, const char* name) {
    Fn fn = slot.load(std::memory_order_acquire);
    if (!fn) {
        fn = reinterpret_cast<Fn>(dlsym(RTLD_NEXT, name));
        slot.store(fn, std::memory_order_release);
    }
    return fn;
}
#define QMVD_REAL(name, ...)                            \
    using name##_fn = __VA_ARGS__;                      \
    static std::atomic<name##_fn> slot_##name{nullptr}; \
    const name##_fn real_##name = Next(slot_##name, #name)

using OpenFn = int (*)(const char*, int, ...);
using OpenatFn = int (*)(int, const char*, int, ...);
using Open2Fn = int (*)(const char*, int);
using Openat2Fn = int (*)(int, const char*, int);

// The device, built on first use. Call with g_mutex held.
qm::peer::PeerDevice* Device() {
    if (g_device || g_failed) return g_device;
    Inside inside;
    auto* d = new qm::peer::PeerDevice;
    std::string error;
    if (!d->Start(qm::peer::Settings::FromEnvironment(), error)) {
        std::fprintf(stderr, "qmvd-preload: cannot start the virtual drive: %s\n", error.c_str());
        delete d;
        g_failed = true;
        return nullptr;
    }
    g_device = d;
    return d;
}

// Opens the node: a descriptor of /dev/null stands for it.
int OpenNode(int flags) {
    QMVD_REAL(open, OpenFn);
    {
        std::lock_guard<std::mutex> lock(g_mutex);
        if (!Device()) {
            errno = ENXIO;
            return -1;
        }
    }
    const int fd = real_open("/dev/null", O_RDWR | (flags & O_CLOEXEC));
    if (fd < 0) return -1;
    if (fd >= kMaxFds) {
        QMVD_REAL(close, int (*)(int));
        real_close(fd);
        errno = EMFILE;
        return -1;
    }
    Mark(fd, true);
    return fd;
}

bool Intercept(const char* path) {
    return t_inside == 0 && IsDevicePath(path);
}

mode_t ModeArg(int flags, va_list ap) {
    return (flags & O_CREAT) || (flags & O_TMPFILE) == O_TMPFILE ? va_arg(ap, mode_t) : 0;
}

// What stat says about the node: a block device (8:240), root:disk, 0660.
void FillStat(struct stat* st) {
    std::memset(st, 0, sizeof *st);
    st->st_dev = makedev(0, 5);
    st->st_ino = 0x716D7664;
    st->st_mode = S_IFBLK | 0660;
    st->st_nlink = 1;
    st->st_uid = 0;
    st->st_gid = 6;
    st->st_rdev = makedev(8, 240);
    st->st_blksize = 4096;
    const timespec now{std::time(nullptr), 0};
    st->st_atim = st->st_mtim = st->st_ctim = now;
}

void FillStatx(struct statx* sx) {
    std::memset(sx, 0, sizeof *sx);
    sx->stx_mask = STATX_BASIC_STATS;
    sx->stx_blksize = 4096;
    sx->stx_nlink = 1;
    sx->stx_uid = 0;
    sx->stx_gid = 6;
    sx->stx_mode = S_IFBLK | 0660;
    sx->stx_ino = 0x716D7664;
    sx->stx_rdev_major = 8;
    sx->stx_rdev_minor = 240;
    sx->stx_dev_major = 0;
    sx->stx_dev_minor = 5;
    const int64_t now = std::time(nullptr);
    sx->stx_atime.tv_sec = sx->stx_mtime.tv_sec = sx->stx_ctime.tv_sec = now;
}

// A path-or-descriptor stat call that is about the node.
bool AboutNode(int dirfd, const char* path, int flags) {
    if (t_inside) return false;
    if (IsDevicePath(path)) return true;
    return path && path[0] == '\0' && (flags & AT_EMPTY_PATH) && Ours(dirfd);
}

}  // namespace

#define QMVD_EXPORT(sym) __asm__(sym) __attribute__((visibility("default")))

// ---- open -----------------------------------------------------------------

extern "C" int qmvd_open(const char* path, int flags, ...) QMVD_EXPORT("open");
extern "C" int qmvd_open(const char* path, int flags, ...) {
    va_list ap;
    va_start(ap, flags);
    const mode_t mode = ModeArg(flags, ap);
    va_end(ap);
    if (Intercept(path)) return OpenNode(flags);
    QMVD_REAL(open, OpenFn);
    return real_open(path, flags, mode);
}

extern "C" int qmvd_open64(const char* path, int flags, ...) QMVD_EXPORT("open64");
extern "C" int qmvd_open64(const char* path, int flags, ...) {
    va_list ap;
    va_start(ap, flags);
    const mode_t mode = ModeArg(flags, ap);
    va_end(ap);
    if (Intercept(path)) return OpenNode(flags);
    QMVD_REAL(open64, OpenFn);
    return real_open64(path, flags, mode);
}

extern "C" int qmvd___open_2(const char* path, int flags) QMVD_EXPORT("__open_2");
extern "C" int qmvd___open_2(const char* path, int flags) {
    if (Intercept(path)) return OpenNode(flags);
    QMVD_REAL(__open_2, Open2Fn);
    return real___open_2(path, flags);
}

extern "C" int qmvd___open64_2(const char* path, int flags) QMVD_EXPORT("__open64_2");
extern "C" int qmvd___open64_2(const char* path, int flags) {
    if (Intercept(path)) return OpenNode(flags);
    QMVD_REAL(__open64_2, Open2Fn);
    return real___open64_2(path, flags);
}

extern "C" int qmvd_openat(int dirfd, const char* path, int flags, ...) QMVD_EXPORT("openat");
extern "C" int qmvd_openat(int dirfd, const char* path, int flags, ...) {
    va_list ap;
    va_start(ap, flags);
    const mode_t mode = ModeArg(flags, ap);
    va_end(ap);
    if (Intercept(path)) return OpenNode(flags);
    QMVD_REAL(openat, OpenatFn);
    return real_openat(dirfd, path, flags, mode);
}

extern "C" int qmvd_openat64(int dirfd, const char* path, int flags, ...) QMVD_EXPORT("openat64");
extern "C" int qmvd_openat64(int dirfd, const char* path, int flags, ...) {
    va_list ap;
    va_start(ap, flags);
    const mode_t mode = ModeArg(flags, ap);
    va_end(ap);
    if (Intercept(path)) return OpenNode(flags);
    QMVD_REAL(openat64, OpenatFn);
    return real_openat64(dirfd, path, flags, mode);
}

extern "C" int qmvd___openat_2(int dirfd, const char* path, int flags) QMVD_EXPORT("__openat_2");
extern "C" int qmvd___openat_2(int dirfd, const char* path, int flags) {
    if (Intercept(path)) return OpenNode(flags);
    QMVD_REAL(__openat_2, Openat2Fn);
    return real___openat_2(dirfd, path, flags);
}

extern "C" int qmvd___openat64_2(int dirfd, const char* path, int flags)
    QMVD_EXPORT("__openat64_2");
extern "C" int qmvd___openat64_2(int dirfd, const char* path, int flags) {
    if (Intercept(path)) return OpenNode(flags);
    QMVD_REAL(__openat64_2, Openat2Fn);
    return real___openat64_2(dirfd, path, flags);
}

// ---- close and dup --------------------------------------------------------

extern "C" int qmvd_close(int fd) QMVD_EXPORT("close");
extern "C" int qmvd_close(int fd) {
    Mark(fd, false);  // before the number can be handed out again
    QMVD_REAL(close, int (*)(int));
    return real_close(fd);
}

extern "C" int qmvd_dup(int fd) QMVD_EXPORT("dup");
extern "C" int qmvd_dup(int fd) {
    QMVD_REAL(dup, int (*)(int));
    const int copy = real_dup(fd);
    if (copy >= 0 && Ours(fd)) Mark(copy, true);
    return copy;
}

namespace {
int Dup2Like(int fd, int target, int result) {
    if (result >= 0 && result != fd) Mark(result, Ours(fd));
    (void)target;
    return result;
}
}  // namespace

extern "C" int qmvd_dup2(int fd, int target) QMVD_EXPORT("dup2");
extern "C" int qmvd_dup2(int fd, int target) {
    QMVD_REAL(dup2, int (*)(int, int));
    return Dup2Like(fd, target, real_dup2(fd, target));
}

extern "C" int qmvd_dup3(int fd, int target, int flags) QMVD_EXPORT("dup3");
extern "C" int qmvd_dup3(int fd, int target, int flags) {
    QMVD_REAL(dup3, int (*)(int, int, int));
    return Dup2Like(fd, target, real_dup3(fd, target, flags));
}

namespace {
int FcntlLike(int (*real)(int, int, ...), int fd, int cmd, va_list ap) {
    // Every command's argument fits in a machine word; pass it on as one.
    const unsigned long arg = va_arg(ap, unsigned long);
    const int result = real(fd, cmd, arg);
    if ((cmd == F_DUPFD || cmd == F_DUPFD_CLOEXEC) && result >= 0 && Ours(fd)) Mark(result, true);
    return result;
}
}  // namespace

extern "C" int qmvd_fcntl(int fd, int cmd, ...) QMVD_EXPORT("fcntl");
extern "C" int qmvd_fcntl(int fd, int cmd, ...) {
    QMVD_REAL(fcntl, int (*)(int, int, ...));
    va_list ap;
    va_start(ap, cmd);
    const int result = FcntlLike(real_fcntl, fd, cmd, ap);
    va_end(ap);
    return result;
}

extern "C" int qmvd_fcntl64(int fd, int cmd, ...) QMVD_EXPORT("fcntl64");
extern "C" int qmvd_fcntl64(int fd, int cmd, ...) {
    QMVD_REAL(fcntl64, int (*)(int, int, ...));
    va_list ap;
    va_start(ap, cmd);
    const int result = FcntlLike(real_fcntl64, fd, cmd, ap);
    va_end(ap);
    return result;
}

// ---- stat -----------------------------------------------------------------

#define QMVD_PATH_STAT(name, stype)                                                    \
    extern "C" int qmvd_##name(const char* path, struct stype* st) QMVD_EXPORT(#name); \
    extern "C" int qmvd_##name(const char* path, struct stype* st) {                   \
        if (AboutNode(AT_FDCWD, path, 0)) {                                            \
            FillStat(reinterpret_cast<struct stat*>(st));                              \
            return 0;                                                                  \
        }                                                                              \
        QMVD_REAL(name, int (*)(const char*, struct stype*));                          \
        return real_##name(path, st);                                                  \
    }
QMVD_PATH_STAT(stat, stat)
QMVD_PATH_STAT(lstat, stat)
QMVD_PATH_STAT(stat64, stat64)
QMVD_PATH_STAT(lstat64, stat64)

#define QMVD_FD_STAT(name, stype)                                            \
    extern "C" int qmvd_##name(int fd, struct stype* st) QMVD_EXPORT(#name); \
    extern "C" int qmvd_##name(int fd, struct stype* st) {                   \
        if (t_inside == 0 && Ours(fd)) {                                     \
            FillStat(reinterpret_cast<struct stat*>(st));                    \
            return 0;                                                        \
        }                                                                    \
        QMVD_REAL(name, int (*)(int, struct stype*));                        \
        return real_##name(fd, st);                                          \
    }
QMVD_FD_STAT(fstat, stat)
QMVD_FD_STAT(fstat64, stat64)

#define QMVD_AT_STAT(name, stype)                                                          \
    extern "C" int qmvd_##name(int dirfd, const char* path, struct stype* st, int flags)   \
        QMVD_EXPORT(#name);                                                                \
    extern "C" int qmvd_##name(int dirfd, const char* path, struct stype* st, int flags) { \
        if (AboutNode(dirfd, path, flags)) {                                               \
            FillStat(reinterpret_cast<struct stat*>(st));                                  \
            return 0;                                                                      \
        }                                                                                  \
        QMVD_REAL(name, int (*)(int, const char*, struct stype*, int));                    \
        return real_##name(dirfd, path, st, flags);                                        \
    }
QMVD_AT_STAT(fstatat, stat)
QMVD_AT_STAT(fstatat64, stat64)

// The older names with a version argument. Where the C library no longer
// offers one to link against, the current call does the work.
#define QMVD_XSTAT(name, plain, stype)                                                          \
    extern "C" int qmvd_##name(int ver, const char* path, struct stype* st) QMVD_EXPORT(#name); \
    extern "C" int qmvd_##name(int ver, const char* path, struct stype* st) {                   \
        if (AboutNode(AT_FDCWD, path, 0)) {                                                     \
            FillStat(reinterpret_cast<struct stat*>(st));                                       \
            return 0;                                                                           \
        }                                                                                       \
        QMVD_REAL(name, int (*)(int, const char*, struct stype*));                              \
        if (real_##name) return real_##name(ver, path, st);                                     \
        QMVD_REAL(plain, int (*)(const char*, struct stype*));                                  \
        return real_##plain(path, st);                                                          \
    }
QMVD_XSTAT(__xstat, stat, stat)
QMVD_XSTAT(__lxstat, lstat, stat)
QMVD_XSTAT(__xstat64, stat64, stat64)
QMVD_XSTAT(__lxstat64, lstat64, stat64)

#define QMVD_FXSTAT(name, plain, stype)                                               \
    extern "C" int qmvd_##name(int ver, int fd, struct stype* st) QMVD_EXPORT(#name); \
    extern "C" int qmvd_##name(int ver, int fd, struct stype* st) {                   \
        if (t_inside == 0 && Ours(fd)) {                                              \
            FillStat(reinterpret_cast<struct stat*>(st));                             \
            return 0;                                                                 \
        }                                                                             \
        QMVD_REAL(name, int (*)(int, int, struct stype*));                            \
        if (real_##name) return real_##name(ver, fd, st);                             \
        QMVD_REAL(plain, int (*)(int, struct stype*));                                \
        return real_##plain(fd, st);                                                  \
    }
QMVD_FXSTAT(__fxstat, fstat, stat)
QMVD_FXSTAT(__fxstat64, fstat64, stat64)

#define QMVD_FXSTATAT(name, plain, stype)                                                         \
    extern "C" int qmvd_##name(int ver, int dirfd, const char* path, struct stype* st, int flags) \
        QMVD_EXPORT(#name);                                                                       \
    extern "C" int qmvd_##name(int ver, int dirfd, const char* path, struct stype* st,            \
                               int flags) {                                                       \
        if (AboutNode(dirfd, path, flags)) {                                                      \
            FillStat(reinterpret_cast<struct stat*>(st));                                         \
            return 0;                                                                             \
        }                                                                                         \
        QMVD_REAL(name, int (*)(int, int, const char*, struct stype*, int));                      \
        if (real_##name) return real_##name(ver, dirfd, path, st, flags);                         \
        QMVD_REAL(plain, int (*)(int, const char*, struct stype*, int));                          \
        return real_##plain(dirfd, path, st, flags);                                              \
    }
QMVD_FXSTATAT(__fxstatat, fstatat, stat)
QMVD_FXSTATAT(__fxstatat64, fstatat64, stat64)

extern "C" int qmvd_statx(int dirfd, const char* path, int flags, unsigned int mask,
                          struct statx* sx) QMVD_EXPORT("statx");
extern "C" int qmvd_statx(int dirfd, const char* path, int flags, unsigned int mask,
                          struct statx* sx) {
    if (AboutNode(dirfd, path, flags)) {
        FillStatx(sx);
        return 0;
    }
    QMVD_REAL(statx, int (*)(int, const char*, int, unsigned int, struct statx*));
    return real_statx(dirfd, path, flags, mask, sx);
}

// ---- ioctl ----------------------------------------------------------------

extern "C" int qmvd_ioctl(int fd, unsigned long request, ...) QMVD_EXPORT("ioctl");
extern "C" int qmvd_ioctl(int fd, unsigned long request, ...) {
    va_list ap;
    va_start(ap, request);
    void* arg = va_arg(ap, void*);
    va_end(ap);
    if (t_inside == 0 && Ours(fd)) {
        std::lock_guard<std::mutex> lock(g_mutex);
        Inside inside;
        qm::peer::PeerDevice* device = Device();
        if (!device) {
            errno = ENXIO;
            return -1;
        }
        return device->Ioctl(request, arg);
    }
    QMVD_REAL(ioctl, int (*)(int, unsigned long, ...));
    return real_ioctl(fd, request, arg);
}
