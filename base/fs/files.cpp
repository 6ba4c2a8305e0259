// Folders and existence checks.
#include "base/fs/files.hpp"

#include <fcntl.h>
#include <sys/stat.h>

#include <cerrno>
#include <cstring>

#include "base/fs/syscalls.hpp"

namespace camvault {

bool path_exists(const std::string& path) {
    struct stat info {};
    return ::lstat(path.c_str(), &info) == 0;
}

bool is_regular_file(const std::string& path) {
    struct stat info {};
    return ::stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode);
}

Result<int> open_regular_file(const std::string& path) {
    // O_NONBLOCK: opening a pipe with no writer would wait for one for ever.
    const int fd = sys::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK, 0);
    if (fd < 0)
        return fail("cannot read " + path + ": " + std::strerror(errno));
    struct stat info {};
    if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
        const int error = S_ISDIR(info.st_mode) ? EISDIR : 0;
        sys::close(fd);
        return fail("cannot read " + path + ": " +
                    (error ? std::strerror(error) : std::string("not a regular file")));
    }
    // Regular files never block; clear the flag all the same for plain reads.
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    return fd;
}

Status create_directories(const std::string& path) {
    size_t pos = 0;
    while (pos != std::string::npos) {
        pos = path.find('/', pos + 1);
        const std::string partial = path.substr(0, pos);
        if (partial.empty())
            continue;
        if (sys::mkdir(partial.c_str(), 0755) != 0 && errno != EEXIST)
            return fail("cannot create folder " + partial + ": " + std::strerror(errno));
    }
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0 || !S_ISDIR(info.st_mode))
        return fail("cannot create folder " + path + ": something else is in the way");
    return {};
}

}  // namespace camvault
