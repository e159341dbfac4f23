#include "common/Files.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <random>

namespace qm {

namespace fs = std::filesystem;

bool ReadFileBytes(const std::string& path, std::vector<uint8_t>& out, std::string& error) {
    std::error_code ec;
    if (fs::is_directory(path, ec)) {
        error = path + ": is a folder, not a file";
        return false;
    }
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        error = path + ": " + std::strerror(errno);
        return false;
    }
    std::vector<uint8_t> bytes;
    // A file of known size in one read; anything else (a pipe) as it comes.
    in.seekg(0, std::ios::end);
    const std::streamoff size = in.tellg();
    in.seekg(0, std::ios::beg);
    if (size >= 0 && in) {
        bytes.resize(static_cast<size_t>(size));
        in.read(reinterpret_cast<char*>(bytes.data()), static_cast<std::streamsize>(size));
        bytes.resize(static_cast<size_t>(in.gcount()));
        if (in.eof()) in.clear(in.rdstate() & ~(std::ios::eofbit | std::ios::failbit));
    } else {
        in.clear();
        bytes.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }
    if (in.bad()) {
        error = path + ": read error";
        return false;
    }
    out = std::move(bytes);
    return true;
}

bool WriteFileAtomic(const std::string& path, const uint8_t* data, size_t size,
                     std::string& error) {
    const fs::path target(path);
    const fs::path folder = target.has_parent_path() ? target.parent_path() : fs::path(".");
    std::error_code ec;
    if (!fs::is_directory(folder, ec)) {
        error = path + ": the folder " + folder.string() + " does not exist";
        return false;
    }
    std::random_device rd;
    // Built by appending: GCC 12 at -O3 (the mingw-w64 release build) reports a
    // false -Wrestrict overlap for a chain of std::string operator+.
    std::string tempName = ".";
    tempName += target.filename().string();
    tempName += ".tmp";
    tempName += std::to_string(rd() % 1000000);
    const fs::path temp = folder / tempName;
    {
        std::ofstream out(temp, std::ios::binary | std::ios::trunc);
        if (!out) {
            error = path + ": " + std::strerror(errno);
            return false;
        }
        out.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
        out.flush();
        if (!out) {
            const int saved = errno;
            out.close();
            fs::remove(temp, ec);
            error = path + ": " + (saved ? std::strerror(saved) : "write error (disk full?)");
            return false;
        }
    }
    fs::rename(temp, target, ec);
    if (ec) {
        fs::remove(temp, ec);
        error = path + ": " + ec.message();
        return false;
    }
    return true;
}

std::vector<uint8_t> ReadFileBytesOrThrow(const std::string& path) {
    std::vector<uint8_t> bytes;
    std::string error;
    if (!ReadFileBytes(path, bytes, error)) throw FileError(error);
    return bytes;
}

void WriteFileAtomicOrThrow(const std::string& path, const std::vector<uint8_t>& data) {
    std::string error;
    if (!WriteFileAtomic(path, data, error)) throw FileError(error);
}

}  // namespace qm
