// The operating system's part of the atomic save (common/Files.h) on
// Windows: a new file flushed with FlushFileBuffers, then MoveFileEx with
// write-through. NTFS journals the folder entry itself.
#include <windows.h>

#include <algorithm>
#include <filesystem>
#include <string>

#include "common/Files.h"

namespace qm::os {
namespace {

std::string SystemText(DWORD code) {
    char* text = nullptr;
    const DWORD n = FormatMessageA(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
        nullptr, code, 0, reinterpret_cast<char*>(&text), 0, nullptr);
    std::string s = n && text ? std::string(text, n) : "error " + std::to_string(code);
    if (text) LocalFree(text);
    while (!s.empty() && (s.back() == '\n' || s.back() == '\r' || s.back() == ' ')) s.pop_back();
    return s;
}

}  // namespace

bool WriteNewFileDurably(const std::string& path, const uint8_t* data, size_t size,
                         const std::string& /*like*/, std::string& error) {
    // Attributes are not carried over: a read-only target refuses the
    // replacement below, which is reported.
    const std::wstring wide = std::filesystem::path(path).wstring();
    HANDLE h = CreateFileW(wide.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) {
        error = SystemText(GetLastError());
        return false;
    }
    auto fail = [&](DWORD code) {
        CloseHandle(h);
        DeleteFileW(wide.c_str());
        error = SystemText(code);
        return false;
    };
    size_t done = 0;
    while (done < size) {
        const DWORD part = static_cast<DWORD>(std::min<size_t>(size - done, 1u << 30));
        DWORD written = 0;
        if (!WriteFile(h, data + done, part, &written, nullptr)) return fail(GetLastError());
        done += written;
    }
    if (!FlushFileBuffers(h)) return fail(GetLastError());
    CloseHandle(h);
    return true;
}

bool ReplaceDurably(const std::string& from, const std::string& to, std::string& error) {
    const std::wstring a = std::filesystem::path(from).wstring();
    const std::wstring b = std::filesystem::path(to).wstring();
    if (!MoveFileExW(a.c_str(), b.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
        error = SystemText(GetLastError());
        return false;
    }
    return true;
}

}  // namespace qm::os
