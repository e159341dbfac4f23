#include "platform/windows/WinRing0PortIo.h"

#include <windows.h>

#include "platform/Platform.h"
#include "platform/windows/WindowsDeviceIo.h"

namespace qm {

namespace {

#ifdef _WIN64
constexpr const char* kLibraryName = "WinRing0x64.dll";
constexpr const char* kDriverName = "WinRing0x64.sys";
#else
constexpr const char* kLibraryName = "WinRing0.dll";
constexpr const char* kDriverName = "WinRing0.sys";
#endif

using InitializeOlsFn = BOOL(WINAPI*)();
using DeinitializeOlsFn = VOID(WINAPI*)();
using GetDllStatusFn = DWORD(WINAPI*)();
using ReadIoPortByteFn = BYTE(WINAPI*)(WORD);
using ReadIoPortWordFn = WORD(WINAPI*)(WORD);
using WriteIoPortByteFn = VOID(WINAPI*)(WORD, BYTE);
using WriteIoPortWordFn = VOID(WINAPI*)(WORD, WORD);
using ReadPciConfigDwordFn = DWORD(WINAPI*)(DWORD, BYTE);

template <typename Fn>
bool Find(HMODULE module, const char* name, Fn& fn) {
    fn = reinterpret_cast<Fn>(reinterpret_cast<void*>(GetProcAddress(module, name)));
    return fn != nullptr;
}

std::string SystemText(DWORD code) {
    return WindowsDeviceIo().ErrorText(code);
}

}  // namespace

struct WinRing0PortIo::Library {
    HMODULE module = nullptr;
    InitializeOlsFn initialize = nullptr;
    DeinitializeOlsFn deinitialize = nullptr;  // optional
    GetDllStatusFn status = nullptr;           // optional
    ReadIoPortByteFn readByte = nullptr;
    ReadIoPortWordFn readWord = nullptr;
    WriteIoPortByteFn writeByte = nullptr;
    WriteIoPortWordFn writeWord = nullptr;
    ReadPciConfigDwordFn readPci = nullptr;
};

std::string WinRing0StatusText(uint32_t status) {
    switch (status) {
        case 0:
            return "no error";
        case 1:
            return "unsupported platform";
        case 2:
            return "driver not loaded (run as administrator)";
        case 3:
            return std::string("driver not found (") + kDriverName + " belongs next to " +
                   kLibraryName + ")";
        case 4:
            return "driver unloaded by another process";
        case 5:
            return "driver not loaded from a network drive";
        default:
            return "unknown error " + std::to_string(status);
    }
}

WinRing0PortIo::WinRing0PortIo() = default;

WinRing0PortIo::~WinRing0PortIo() {
    if (!lib_) return;
    if (lib_->deinitialize) lib_->deinitialize();
    FreeLibrary(lib_->module);
}

bool WinRing0PortIo::InitializeOls() {
    if (lib_) return true;
    reason_.clear();
    // By full path: the library installs a kernel driver, so it must never be
    // picked up from the current folder or the search path.
    const std::string path = platform::ProgramFolder() + "\\" + kLibraryName;
    const HMODULE module = LoadLibraryExA(path.c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
    if (!module) {
        reason_ = path + ": " + SystemText(GetLastError());
        return false;
    }
    Library lib;
    lib.module = module;
    const char* missing = nullptr;
    if (!Find(module, "InitializeOls", lib.initialize))
        missing = "InitializeOls";
    else if (!Find(module, "ReadIoPortByte", lib.readByte))
        missing = "ReadIoPortByte";
    else if (!Find(module, "ReadIoPortWord", lib.readWord))
        missing = "ReadIoPortWord";
    else if (!Find(module, "WriteIoPortByte", lib.writeByte))
        missing = "WriteIoPortByte";
    else if (!Find(module, "WriteIoPortWord", lib.writeWord))
        missing = "WriteIoPortWord";
    else if (!Find(module, "ReadPciConfigDword", lib.readPci))
        missing = "ReadPciConfigDword";
    if (missing) {
        reason_ = path + ": the library has no " + missing;
        FreeLibrary(module);
        return false;
    }
    Find(module, "DeinitializeOls", lib.deinitialize);
    Find(module, "GetDllStatus", lib.status);

    if (!lib.initialize()) {
        reason_ = std::string(kLibraryName) + " could not start its driver";
        if (lib.status) reason_ += ": " + WinRing0StatusText(lib.status());
        if (lib.deinitialize) lib.deinitialize();
        FreeLibrary(module);
        return false;
    }
    lib_ = std::make_unique<Library>(lib);
    return true;
}

// Before a successful InitializeOls the ports read as a floating bus and
// writes go nowhere.
uint8_t WinRing0PortIo::ReadIoPortByte(uint16_t port) {
    return lib_ ? lib_->readByte(port) : 0xFF;
}

uint16_t WinRing0PortIo::ReadIoPortWord(uint16_t port) {
    return lib_ ? lib_->readWord(port) : 0xFFFF;
}

void WinRing0PortIo::WriteIoPortByte(uint16_t port, uint8_t value) {
    if (lib_) lib_->writeByte(port, value);
}

void WinRing0PortIo::WriteIoPortWord(uint16_t port, uint16_t value) {
    if (lib_) lib_->writeWord(port, value);
}

uint32_t WinRing0PortIo::ReadPciConfigDword(uint32_t address, uint8_t offset) {
    return lib_ ? lib_->readPci(address, offset) : 0xFFFFFFFFu;
}

}  // namespace qm
