#include <signal.h>
#include <sys/utsname.h>
#include <unistd.h>

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

std::string ProgramFolder() {
    char path[PATH_MAX];
    const ssize_t n = readlink("/proc/self/exe", path, sizeof path - 1);
    if (n <= 0) return ".";
    path[n] = 0;
    return std::filesystem::path(path).parent_path().string();
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
