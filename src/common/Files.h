#pragma once
// File reading and the one atomic save.
//
// Every file the program writes goes through WriteFileAtomic: the bytes go
// into a new temporary file in the target's folder, which is flushed to the
// disk, then renamed over the target, and the folder is flushed too. A crash,
// a power cut or a full disk leaves either the old file or the new one under
// the real name, never a part of one. A symbolic link keeps pointing where it
// did (the file it names is replaced), and a replaced file keeps its
// permission bits.
//
// Every file the program reads (module images, tables, INI files) must be a
// regular file no larger than the largest input the program accepts: a FIFO,
// a device such as /dev/zero or a multi-gigabyte image gives a clear error,
// never a hang or an attempt to hold it all in memory.
#include <cstddef>
#include <cstdint>
#include <stdexcept>
#include <string>
#include <vector>

namespace qm {

// The largest file the program reads: a module of 32768 sectors (16 MiB),
// the largest image it accepts from a drive or a file.
constexpr size_t kMaxInputFileBytes = size_t{32768} * 512;

// A file operation that failed; what() carries the path and the system's text.
// Thrown only by the *OrThrow helpers, caught at the event boundary (the GUI's
// standard error box, the command line's main).
class FileError : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};

// Reads a whole regular file of at most `limit` bytes. `error` gets the path
// and the reason when it fails.
bool ReadFileBytes(const std::string& path, std::vector<uint8_t>& out, std::string& error,
                   size_t limit = kMaxInputFileBytes);
// The same into text; `reason` gets the reason alone, without the path.
bool ReadFileText(const std::string& path, std::string& out, std::string& reason,
                  size_t limit = kMaxInputFileBytes);
bool WriteFileAtomic(const std::string& path, const uint8_t* data, size_t size, std::string& error);
inline bool WriteFileAtomic(const std::string& path, const std::vector<uint8_t>& data,
                            std::string& error) {
    return WriteFileAtomic(path, data.data(), data.size(), error);
}

// A file built piece by piece and put in place whole. Open checks at once
// that the file can be made there (folder, rights), so work that ends in the
// file can be refused before it starts; the pieces are kept in memory and
// Commit saves them with WriteFileAtomic. Dropped without Commit, nothing is
// written and the target stays as it was.
class AtomicFileWriter {
  public:
    AtomicFileWriter() = default;
    ~AtomicFileWriter();
    AtomicFileWriter(const AtomicFileWriter&) = delete;
    AtomicFileWriter& operator=(const AtomicFileWriter&) = delete;

    // False (with the path and the system's text in error) when the file
    // cannot be made there: no such folder, no right to write in it, or the
    // name is a folder.
    bool Open(const std::string& path, std::string& error);
    bool Append(const uint8_t* data, size_t size, std::string& error);
    bool Commit(std::string& error);
    bool IsOpen() const;
    const std::string& Path() const { return path_; }
    uint64_t Size() const { return size_; }

    // The same, throwing FileError.
    void OpenOrThrow(const std::string& path);
    void AppendOrThrow(const uint8_t* data, size_t size);
    void CommitOrThrow();

  private:
    void Discard();
    struct Impl;
    Impl* impl_ = nullptr;
    std::string path_;
    uint64_t size_ = 0;
};

std::vector<uint8_t> ReadFileBytesOrThrow(const std::string& path);
void WriteFileAtomicOrThrow(const std::string& path, const std::vector<uint8_t>& data);

// The operating system's part of the atomic save, implemented once per OS in
// platform/<os>/DurableFile.cpp (linked into the core library).
namespace os {
// Creates `path`, which must not exist yet, writes the bytes, gives it the
// permission bits of `like` when that file exists, and flushes it to the disk.
// Removes what it created when any step fails.
bool WriteNewFileDurably(const std::string& path, const uint8_t* data, size_t size,
                         const std::string& like, std::string& error);
// Renames `from` over `to` and flushes the folder's entries to the disk.
bool ReplaceDurably(const std::string& from, const std::string& to, std::string& error);
}  // namespace os

}  // namespace qm
