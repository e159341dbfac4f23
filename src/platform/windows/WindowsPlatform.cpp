// The Windows backends of the seams and the process-level services.
#include <io.h>
#include <windows.h>

#include <atomic>
#include <cstdlib>
#include <string>
#include <vector>

#include "common/OsText.h"
#include "platform/Platform.h"
#include "platform/windows/SetupApiEnumerator.h"
#include "platform/windows/WinRing0PortIo.h"
#include "platform/windows/WindowsDeviceIo.h"

namespace qm::platform {

std::unique_ptr<PortIo> CreatePortIo() {
    return std::make_unique<WinRing0PortIo>();
}

std::unique_ptr<DeviceIo> CreateDeviceIo() {
    return std::make_unique<WindowsDeviceIo>();
}

std::unique_ptr<DriveEnumerator> CreateDriveEnumerator() {
    return std::make_unique<SetupApiEnumerator>();
}

namespace {

// The one process-wide flag: the console calls its control handler on a
// thread of its own and hands it no context, so the handler can only leave
// its news in a global. Nothing but the handler and InterruptWatch touches it.
std::atomic<bool> g_interruptRequested{false};

BOOL WINAPI OnConsoleControl(DWORD event) {
    if (event == CTRL_C_EVENT || event == CTRL_BREAK_EVENT) {
        g_interruptRequested.store(true);
        return TRUE;  // handled: the program stops at its next poll
    }
    return FALSE;  // closing, logoff, shutdown: the default handler ends the process
}

}  // namespace

struct InterruptWatch::Impl {
    bool installed = false;
};

InterruptWatch::InterruptWatch() : impl_(std::make_unique<Impl>()) {
    g_interruptRequested.store(false);
    impl_->installed = SetConsoleCtrlHandler(OnConsoleControl, TRUE) != FALSE;
}

InterruptWatch::~InterruptWatch() {
    if (impl_->installed) SetConsoleCtrlHandler(OnConsoleControl, FALSE);
}

bool InterruptWatch::Pending() {
    return g_interruptRequested.exchange(false);
}

// HIGH_PRIORITY_CLASS and THREAD_PRIORITY_HIGHEST need no privilege; the
// real-time class would (and would starve the machine around a polling loop).
void TimingPriority::Raise() {
    if (raised_) return;
    savedProcess_ = static_cast<int>(GetPriorityClass(GetCurrentProcess()));
    savedThread_ = GetThreadPriority(GetCurrentThread());
    raised_ = true;
    SetPriorityClass(GetCurrentProcess(), HIGH_PRIORITY_CLASS);
    SetThreadPriority(GetCurrentThread(), THREAD_PRIORITY_HIGHEST);
}

void TimingPriority::Restore() {
    if (!raised_) return;
    raised_ = false;
    if (savedProcess_) SetPriorityClass(GetCurrentProcess(), static_cast<DWORD>(savedProcess_));
    if (savedThread_ != THREAD_PRIORITY_ERROR_RETURN)
        SetThreadPriority(GetCurrentThread(), savedThread_);
}

std::string ProgramFolder() {
    std::vector<char> path(MAX_PATH);
    for (;;) {
        const DWORD n = GetModuleFileNameA(nullptr, path.data(), static_cast<DWORD>(path.size()));
        if (n == 0) return ".";
        if (n < path.size()) {
            const std::string file(path.data(), n);
            const size_t slash = file.find_last_of("\\/");
            return slash == std::string::npos ? "." : file.substr(0, slash);
        }
        if (path.size() >= 32768) return ".";
        path.resize(path.size() * 2);
    }
}

// The data files sit beside the program file on Windows, installed or not.
std::string DataFilesFolder() {
    return ProgramFolder();
}

std::string UserDataFolder() {
    if (const char* appData = std::getenv("APPDATA"); appData && *appData)
        return std::string(appData) + "\\Quillmark";
    if (const char* profile = std::getenv("USERPROFILE"); profile && *profile)
        return std::string(profile) + "\\AppData\\Roaming\\Quillmark";
    return ProgramFolder() + "\\Quillmark";
}

namespace {

bool SystemIs64Bit() {
#ifdef _WIN64
    return true;
#else
    // A 32-bit program on a 64-bit system runs under WOW64.
    using IsWow64ProcessFn = BOOL(WINAPI*)(HANDLE, PBOOL);
    const HMODULE kernel = GetModuleHandleA("kernel32.dll");
    const auto isWow64 = kernel ? reinterpret_cast<IsWow64ProcessFn>(reinterpret_cast<void*>(
                                      GetProcAddress(kernel, "IsWow64Process")))
                                : nullptr;
    BOOL wow64 = FALSE;
    return isWow64 && isWow64(GetCurrentProcess(), &wow64) && wow64;
#endif
}

}  // namespace

std::string OperatingSystemText() {
    // RtlGetVersion reports the true version, where GetVersionEx answers what
    // the program's manifest claims to know about.
    using RtlGetVersionFn = LONG(WINAPI*)(RTL_OSVERSIONINFOEXW*);
    RTL_OSVERSIONINFOEXW info{};
    info.dwOSVersionInfoSize = sizeof info;
    std::string name = "Windows";
    const HMODULE ntdll = GetModuleHandleA("ntdll.dll");
    const auto getVersion = ntdll ? reinterpret_cast<RtlGetVersionFn>(reinterpret_cast<void*>(
                                        GetProcAddress(ntdll, "RtlGetVersion")))
                                  : nullptr;
    if (getVersion && getVersion(&info) == 0)
        name = WindowsVersionName(info.dwPlatformId, info.dwMajorVersion, info.dwMinorVersion,
                                  info.dwBuildNumber, info.wProductType == VER_NT_WORKSTATION);
    return name + (SystemIs64Bit() ? " x64" : " x32");
}

bool StderrIsTerminal() {
    return _isatty(2) != 0;
}

}  // namespace qm::platform
