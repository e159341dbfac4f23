#include "platform/windows/WindowsDeviceIo.h"

// clang-format off
#include <windows.h>
#include <winioctl.h>
#include <ntddscsi.h>
// clang-format on

#include <cstddef>

#include "platform/windows/PassThroughLayout.h"

namespace qm {

// The control codes and the records the conversion assumes, held against the
// system's own definitions.
static_assert(kIoctlAtaPassThrough == IOCTL_ATA_PASS_THROUGH);
static_assert(kIoctlScsiPassThrough == IOCTL_SCSI_PASS_THROUGH);
static_assert(kIoctlStorageGetDeviceNumber == IOCTL_STORAGE_GET_DEVICE_NUMBER);
static_assert(kIoctlStorageQueryProperty == IOCTL_STORAGE_QUERY_PROPERTY);
static_assert(sizeof(STORAGE_DEVICE_NUMBER) == 12);
static_assert(sizeof(STORAGE_PROPERTY_QUERY) == 12);
static_assert(offsetof(STORAGE_ADAPTER_DESCRIPTOR, MaximumTransferLength) == 8);
static_assert(offsetof(STORAGE_ADAPTER_DESCRIPTOR, AdapterUsesPio) == 20);
static_assert(offsetof(STORAGE_ADAPTER_DESCRIPTOR, BusType) == 24);

#ifdef _WIN64
namespace layout = winlayout;
static_assert(sizeof(ATA_PASS_THROUGH_EX) == layout::kAtaLayout.size64);
static_assert(offsetof(ATA_PASS_THROUGH_EX, DataTransferLength) ==
              layout::ata::kDataTransferLength);
static_assert(offsetof(ATA_PASS_THROUGH_EX, ReservedAsUlong) + 4 == layout::ata::kCommonEnd);
static_assert(offsetof(ATA_PASS_THROUGH_EX, DataBufferOffset) == layout::ata::kDataBufferOffset64);
static_assert(offsetof(ATA_PASS_THROUGH_EX, PreviousTaskFile) == layout::ata::kTaskFiles64);
static_assert(sizeof(SCSI_PASS_THROUGH) == layout::kScsiLayout.size64);
static_assert(offsetof(SCSI_PASS_THROUGH, SenseInfoLength) == layout::scsi::kSenseInfoLength);
static_assert(offsetof(SCSI_PASS_THROUGH, DataTransferLength) == layout::scsi::kDataTransferLength);
static_assert(offsetof(SCSI_PASS_THROUGH, TimeOutValue) + 4 == layout::scsi::kCommonEnd);
static_assert(offsetof(SCSI_PASS_THROUGH, DataBufferOffset) == layout::scsi::kDataBufferOffset64);
static_assert(offsetof(SCSI_PASS_THROUGH, SenseInfoOffset) == layout::scsi::kSenseInfoOffset64);
static_assert(offsetof(SCSI_PASS_THROUGH, Cdb) == layout::scsi::kCdb64);
#else
// A 32-bit build (also under WOW64, which converts for the driver) passes the
// blocks as they are.
static_assert(sizeof(ATA_PASS_THROUGH_EX) == winlayout::kAtaLayout.size32);
static_assert(sizeof(SCSI_PASS_THROUGH) == winlayout::kScsiLayout.size32);
#endif

namespace {

HANDLE ToHandle(DeviceHandle handle) {
    return reinterpret_cast<HANDLE>(handle);
}

}  // namespace

DeviceHandle WindowsDeviceIo::Open(const std::string& path) {
    const HANDLE h =
        CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                    nullptr, OPEN_EXISTING, 0, nullptr);
    if (h == INVALID_HANDLE_VALUE) {
        lastError_ = GetLastError();
        return kInvalidDeviceHandle;
    }
    return reinterpret_cast<DeviceHandle>(h);
}

void WindowsDeviceIo::Close(DeviceHandle handle) {
    if (handle != kInvalidDeviceHandle) CloseHandle(ToHandle(handle));
}

bool WindowsDeviceIo::Control(DeviceHandle handle, uint32_t code, uint8_t* block, uint32_t inSize,
                              uint32_t outSize, uint32_t& bytesReturned) {
    bytesReturned = 0;
    // The invalid handle's value is also the current-process pseudo handle;
    // never hand it to the device call.
    if (handle == kInvalidDeviceHandle) {
        lastError_ = ERROR_INVALID_HANDLE;
        return false;
    }
    DWORD returned = 0;
#ifdef _WIN64
    if (winlayout::LayoutForControlCode(code)) {
        winlayout::NativeRequest native;
        if (!winlayout::ToNative64(code, block, inSize, outSize, native)) {
            lastError_ = ERROR_INVALID_PARAMETER;
            return false;
        }
        if (!DeviceIoControl(ToHandle(handle), code, native.block.data(), native.inSize,
                             native.block.data(), native.outSize, &returned, nullptr)) {
            lastError_ = GetLastError();
            return false;
        }
        bytesReturned = winlayout::FromNative64(code, native, returned, block, inSize, outSize);
        return true;
    }
#endif
    if (!DeviceIoControl(ToHandle(handle), code, block, inSize, block, outSize, &returned,
                         nullptr)) {
        lastError_ = GetLastError();
        return false;
    }
    bytesReturned = returned;
    return true;
}

std::string WindowsDeviceIo::ErrorText(uint32_t code) const {
    char* text = nullptr;
    const DWORD n = FormatMessageA(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
        nullptr, code, 0, reinterpret_cast<char*>(&text), 0, nullptr);
    std::string message = n && text ? std::string(text, n) : std::string();
    if (text) LocalFree(text);
    // System messages end in a line break; the log adds its own.
    while (!message.empty() &&
           (message.back() == '\r' || message.back() == '\n' || message.back() == ' '))
        message.pop_back();
    if (message.empty()) message = "Error " + std::to_string(code);
    return message;
}

}  // namespace qm
