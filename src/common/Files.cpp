#include "common/Files.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
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

struct AtomicFileWriter::Impl {
    fs::path target, temp;
    std::ofstream out;
};

AtomicFileWriter::~AtomicFileWriter() {
    Discard();
}

void AtomicFileWriter::Discard() {
    if (!impl_) return;
    std::error_code ec;
    impl_->out.close();
    fs::remove(impl_->temp, ec);
    delete impl_;
    impl_ = nullptr;
}

bool AtomicFileWriter::IsOpen() const {
    return impl_ != nullptr;
}

bool AtomicFileWriter::Open(const std::string& path, std::string& error) {
    Discard();
    path_ = path;
    size_ = 0;
    const fs::path target(path);
    const fs::path folder = target.has_parent_path() ? target.parent_path() : fs::path(".");
    std::error_code ec;
    if (!fs::is_directory(folder, ec)) {
        error = path + ": the folder " + folder.string() + " does not exist";
        return false;
    }
    if (fs::is_directory(target, ec)) {
        error = path + ": is a folder, not a file";
        return false;
    }
    std::random_device rd;
    // Built by appending: GCC 12 at -O3 (the mingw-w64 release build) reports a
    // false -Wrestrict overlap for a chain of std::string operator+.
    std::string tempName = ".";
    tempName += target.filename().string();
    tempName += ".tmp";
    tempName += std::to_string(rd() % 1000000);
    auto impl = std::make_unique<Impl>();
    impl->target = target;
    impl->temp = folder / tempName;
    impl->out.open(impl->temp, std::ios::binary | std::ios::trunc);
    if (!impl->out) {
        error = path + ": " + std::strerror(errno);
        return false;
    }
    impl_ = impl.release();
    return true;
}

bool AtomicFileWriter::Append(const uint8_t* data, size_t size, std::string& error) {
    if (!impl_) {
        error = path_ + ": not open for writing";
        return false;
    }
    if (size)
        impl_->out.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
    if (!impl_->out) {
        const int saved = errno;
        error = path_ + ": " + (saved ? std::strerror(saved) : "write error (disk full?)");
        Discard();
        return false;
    }
    size_ += size;
    return true;
}

bool AtomicFileWriter::Commit(std::string& error) {
    if (!impl_) {
        error = path_ + ": not open for writing";
        return false;
    }
    impl_->out.flush();
    if (!impl_->out) {
        const int saved = errno;
        error = path_ + ": " + (saved ? std::strerror(saved) : "write error (disk full?)");
        Discard();
        return false;
    }
    impl_->out.close();
    std::error_code ec;
    fs::rename(impl_->temp, impl_->target, ec);
    if (ec) {
        error = path_ + ": " + ec.message();
        Discard();
        return false;
    }
    delete impl_;
    impl_ = nullptr;
    return true;
}

void AtomicFileWriter::OpenOrThrow(const std::string& path) {
    std::string error;
    if (!Open(path, error)) throw FileError(error);
}

void AtomicFileWriter::AppendOrThrow(const uint8_t* data, size_t size) {
    std::string error;
    if (!Append(data, size, error)) throw FileError(error);
}

void AtomicFileWriter::CommitOrThrow() {
    std::string error;
    if (!Commit(error)) throw FileError(error);
}

bool WriteFileAtomic(const std::string& path, const uint8_t* data, size_t size,
                     std::string& error) {
    AtomicFileWriter w;
    return w.Open(path, error) && w.Append(data, size, error) && w.Commit(error);
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
