#include <signal.h>
#include <sys/resource.h>
#include <sys/utsname.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <ctime>
#include <filesystem>

#include "common/Format.h"
#include "common/Ini.h"
#include "common/OsText.h"
#include "platform/Platform.h"
#include "platform/linux/LinuxPortIo.h"

namespace qm::platform {

std::unique_ptr<PortIo> CreatePortIo() {
    return std::make_unique<LinuxPortIo>();
}

struct InterruptWatch::Impl {
    sigset_t set{};
    sigset_t previous{};
};

// SIGINT and SIGTERM are blocked and collected with a zero-time sigtimedwait on
// every poll: no handler, no shared flag.
InterruptWatch::InterruptWatch() : impl_(std::make_unique<Impl>()) {
    sigemptyset(&impl_->set);
    sigaddset(&impl_->set, SIGINT);
    sigaddset(&impl_->set, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &impl_->set, &impl_->previous);
}

InterruptWatch::~InterruptWatch() {
    pthread_sigmask(SIG_SETMASK, &impl_->previous, nullptr);
}

bool InterruptWatch::Pending() {
    const timespec zero{0, 0};
    return sigtimedwait(&impl_->set, nullptr, &zero) > 0;
}

// Linux keeps a nice value per thread; PRIO_PROCESS with 0 names the
// calling thread. An unprivileged user may lower it down to the floor that
// RLIMIT_NICE allows (usually not at all); raising it back is always allowed.
void TimingPriority::Raise() {
    if (raised_) return;
    errno = 0;
    const int nice = getpriority(PRIO_PROCESS, 0);
    if (nice == -1 && errno != 0) return;
    savedThread_ = nice;
    raised_ = true;
    int floor = 19;
    rlimit limit{};
    if (getrlimit(RLIMIT_NICE, &limit) == 0 && limit.rlim_cur != RLIM_INFINITY)
        floor = 20 - static_cast<int>(std::min<rlim_t>(limit.rlim_cur, 40));
    if (geteuid() == 0) floor = -20;
    const int target = std::max(nice - 10, floor);
    if (target < nice) setpriority(PRIO_PROCESS, 0, target);  // refused: stays as it is
}

void TimingPriority::Restore() {
    if (!raised_) return;
    raised_ = false;
    setpriority(PRIO_PROCESS, 0, savedThread_);
}

std::string ProgramFolder() {
    char path[PATH_MAX];
    const ssize_t n = readlink("/proc/self/exe", path, sizeof path - 1);
    if (n <= 0) return ".";
    path[n] = 0;
    return std::filesystem::path(path).parent_path().string();
}

std::string DataFilesFolder() {
    const std::string program = ProgramFolder();
    // The build tree keeps its copies beside the executables; a package
    // installs them under the prefix's share/ folder.
    std::error_code ec;
    if (std::filesystem::exists(std::filesystem::path(program) / "Errors.ini", ec)) return program;
    const std::filesystem::path installed =
        std::filesystem::path(program).parent_path() / "share" / "quillmark";
    if (std::filesystem::is_directory(installed, ec)) return installed.string();
    return program;
}

std::string UserDataFolder() {
    std::string base;
    if (const char* xdg = std::getenv("XDG_DATA_HOME"); xdg && *xdg)
        base = xdg;
    else if (const char* home = std::getenv("HOME"); home && *home)
        base = std::string(home) + "/.local/share";
    else
        base = "/tmp";
    return base + "/quillmark";
}

std::string OperatingSystemText() {
    std::string text;
    if (!ReadWholeFile("/etc/os-release", text)) ReadWholeFile("/usr/lib/os-release", text);
    std::string name = OsReleaseValue(text, "PRETTY_NAME");
    if (name.empty()) name = "Linux";
    utsname u{};
    bool is64 = sizeof(void*) == 8;
    if (uname(&u) == 0) {
        const std::string m = u.machine;
        is64 = m == "x86_64" || m == "aarch64" || m == "ppc64le" || m == "s390x" || m == "riscv64";
    }
    return name + (is64 ? " x64" : " x32");
}

bool StderrIsTerminal() {
    return isatty(2) == 1;
}

}  // namespace qm::platform
