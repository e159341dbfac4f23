// The operating system's part of the atomic save (common/Files.h) on POSIX
// systems: O_EXCL creation, fsync of the file, rename, fsync of the folder.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>

#include "common/Files.h"

namespace qm::os {
namespace {

std::string FolderOf(const std::string& path) {
    const size_t slash = path.find_last_of('/');
    if (slash == std::string::npos) return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

}  // namespace

bool WriteNewFileDurably(const std::string& path, const uint8_t* data, size_t size,
                         const std::string& like, std::string& error) {
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd < 0) {
        error = std::strerror(errno);
        return false;
    }
    auto fail = [&](int code) {
        ::close(fd);
        ::unlink(path.c_str());
        error = code == ENOSPC ? "no space left on the disk" : std::strerror(code);
        return false;
    };
    struct stat old {};
    if (::stat(like.c_str(), &old) == 0 && S_ISREG(old.st_mode) &&
        ::fchmod(fd, old.st_mode & 07777) != 0)
        return fail(errno);
    size_t done = 0;
    while (done < size) {
        const ssize_t n = ::write(fd, data + done, size - done);
        if (n < 0) {
            if (errno == EINTR) continue;
            return fail(errno);
        }
        done += static_cast<size_t>(n);
    }
    if (::fsync(fd) != 0) return fail(errno);
    if (::close(fd) != 0) {
        const int code = errno;
        ::unlink(path.c_str());
        error = std::strerror(code);
        return false;
    }
    return true;
}

bool ReplaceDurably(const std::string& from, const std::string& to, std::string& error) {
    if (std::rename(from.c_str(), to.c_str()) != 0) {
        error = std::strerror(errno);
        return false;
    }
    // The rename itself is an entry of the folder: flush it too. A folder
    // that cannot be opened for that (some network file systems) still has
    // the new file in place.
    const int dir = ::open(FolderOf(to).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dir >= 0) {
        const bool synced = ::fsync(dir) == 0 || errno == EINVAL;
        const int code = errno;
        ::close(dir);
        if (!synced) {
            error = std::string("the folder could not be flushed: ") + std::strerror(code);
            return false;
        }
    }
    return true;
}

}  // namespace qm::os
