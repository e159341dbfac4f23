#include "platform/windows/SetupApiEnumerator.h"

// clang-format off
#include <windows.h>
#include <setupapi.h>
// clang-format on

#include <cstring>
#include <string>
#include <vector>

#include "platform/windows/DiskEnumeration.h"
#include "platform/windows/WindowsDeviceIo.h"

namespace qm {

namespace {

// The disk device interface class.
constexpr GUID kDiskInterfaceClass = {
    0x53F56307, 0xB6BF, 0x11D0, {0x94, 0xF2, 0x00, 0xA0, 0xC9, 0x1E, 0xFB, 0x8B}};
constexpr DWORD kPresentInterfaces = DIGCF_PRESENT | DIGCF_DEVICEINTERFACE;
static_assert(kPresentInterfaces == 0x12);

template <typename Fn>
bool Find(HMODULE module, const char* name, Fn& fn) {
    fn = reinterpret_cast<Fn>(reinterpret_cast<void*>(GetProcAddress(module, name)));
    return fn != nullptr;
}

}  // namespace

struct SetupApiLibrary {
    HMODULE module = nullptr;
    decltype(&SetupDiGetClassDevsA) getClassDevs = nullptr;
    decltype(&SetupDiDestroyDeviceInfoList) destroyList = nullptr;
    decltype(&SetupDiEnumDeviceInfo) enumDeviceInfo = nullptr;
    decltype(&SetupDiEnumDeviceInterfaces) enumInterfaces = nullptr;
    decltype(&SetupDiGetDeviceInterfaceDetailA) interfaceDetail = nullptr;
    decltype(&SetupDiGetDeviceRegistryPropertyA) registryProperty = nullptr;
    decltype(&SetupDiGetDeviceInterfaceAlias) interfaceAlias = nullptr;
    bool complete = false;

    SetupApiLibrary() {
        // From the system folder only, never from the program's or the
        // current folder.
        char system[MAX_PATH] = {};
        const UINT n = GetSystemDirectoryA(system, MAX_PATH);
        if (n == 0 || n >= MAX_PATH) return;
        const std::string path = std::string(system) + "\\setupapi.dll";
        module = LoadLibraryA(path.c_str());
        if (!module) return;
        complete = Find(module, "SetupDiGetClassDevsA", getClassDevs) &&
                   Find(module, "SetupDiDestroyDeviceInfoList", destroyList) &&
                   Find(module, "SetupDiEnumDeviceInfo", enumDeviceInfo) &&
                   Find(module, "SetupDiEnumDeviceInterfaces", enumInterfaces) &&
                   Find(module, "SetupDiGetDeviceInterfaceDetailA", interfaceDetail) &&
                   Find(module, "SetupDiGetDeviceRegistryPropertyA", registryProperty) &&
                   Find(module, "SetupDiGetDeviceInterfaceAlias", interfaceAlias);
    }
    ~SetupApiLibrary() {
        if (module) FreeLibrary(module);
    }
};

namespace {

// The walk's steps on the device-setup library.
class SetupApiSource : public DiskInterfaceSource {
  public:
    explicit SetupApiSource(const SetupApiLibrary& lib) : lib_(lib) {}

    bool Available() const override { return lib_.complete; }

    bool OpenSet() override {
        set_ = lib_.getClassDevs(&kDiskInterfaceClass, nullptr, nullptr, kPresentInterfaces);
        return set_ != INVALID_HANDLE_VALUE;
    }

    void CloseSet() override {
        if (set_ != INVALID_HANDLE_VALUE) lib_.destroyList(set_);
        set_ = INVALID_HANDLE_VALUE;
    }

    Step SelectInterface(uint32_t index) override {
        interface_ = {};
        interface_.cbSize = sizeof interface_;
        deviceSelected_ = false;
        if (lib_.enumInterfaces(set_, nullptr, &kDiskInterfaceClass, index, &interface_))
            return Step::Found;
        return GetLastError() == ERROR_NO_MORE_ITEMS ? Step::NoMoreItems : Step::Failed;
    }

    bool InterfacePath(std::string& path) override {
        // The first call only tells the size and must say so.
        DWORD required = 0;
        if (lib_.interfaceDetail(set_, &interface_, nullptr, 0, &required, nullptr) ||
            GetLastError() != ERROR_INSUFFICIENT_BUFFER ||
            required < sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_A))
            return false;
        std::vector<uint8_t> buffer(required + 1, 0);
        auto* detail = reinterpret_cast<SP_DEVICE_INTERFACE_DETAIL_DATA_A*>(buffer.data());
        detail->cbSize = sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_A);
        device_ = {};
        device_.cbSize = sizeof device_;
        if (!lib_.interfaceDetail(set_, &interface_, detail, required, nullptr, &device_))
            return false;
        deviceSelected_ = true;
        path = detail->DevicePath;
        return true;
    }

    bool FriendlyName(std::string& name) override {
        if (!deviceSelected_) return false;
        std::vector<BYTE> buffer(256, 0);
        for (int attempt = 0; attempt < 2; ++attempt) {
            DWORD required = 0;
            if (lib_.registryProperty(set_, &device_, SPDRP_FRIENDLYNAME, nullptr, buffer.data(),
                                      static_cast<DWORD>(buffer.size() - 1), &required)) {
                const char* text = reinterpret_cast<const char*>(buffer.data());
                name.assign(text, strnlen(text, buffer.size()));
                return true;
            }
            if (GetLastError() != ERROR_INSUFFICIENT_BUFFER) return false;
            buffer.assign(required + 1, 0);
        }
        return false;
    }

  private:
    const SetupApiLibrary& lib_;
    HDEVINFO set_ = INVALID_HANDLE_VALUE;
    SP_DEVICE_INTERFACE_DATA interface_{};
    SP_DEVINFO_DATA device_{};
    bool deviceSelected_ = false;
};

}  // namespace

SetupApiEnumerator::SetupApiEnumerator() : lib_(std::make_unique<SetupApiLibrary>()) {}

SetupApiEnumerator::~SetupApiEnumerator() = default;

int SetupApiEnumerator::EnumerateDrives(DriveTable& table) {
    SetupApiSource source(*lib_);
    WindowsDeviceIo io;
    return EnumerateDiskInterfaces(source, io, table);
}

}  // namespace qm
