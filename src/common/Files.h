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

std::vector<uint8_t> ReadFileBytesOrThrow(const std::string& path);
void WriteFileAtomicOrThrow(const std::string& path, const std::vector<uint8_t>& data);

}  // namespace qm
