#pragma once
// File reading and atomic writing. Every file the program saves goes through
// WriteFileAtomic: a temporary file in the same folder, then a rename, so a
// crash or a full disk never leaves a half-written file under the real name.
#include <cstdint>
#include <stdexcept>
#include <string>
#include <vector>

namespace qm {

// A file operation that failed; what() carries the path and the system's text.
// Thrown only by the *OrThrow helpers, caught at the event boundary (the GUI's
// standard error box, the command line's main).
class FileError : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};

bool ReadFileBytes(const std::string& path, std::vector<uint8_t>& out, std::string& error);
bool WriteFileAtomic(const std::string& path, const uint8_t* data, size_t size, std::string& error);
inline bool WriteFileAtomic(const std::string& path, const std::vector<uint8_t>& data,
                            std::string& error) {
    return WriteFileAtomic(path, data.data(), data.size(), error);
}

// A file written piece by piece and put in place whole: the pieces go to a
// temporary file in the target's folder and Commit renames it over the
// target. Dropped without Commit, the temporary file is removed and the
// target stays as it was. WriteFileAtomic is Open, one Append, Commit.
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

}  // namespace qm
