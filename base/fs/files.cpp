// Folders and existence checks.
#include "base/fs/files.hpp"

#include <sys/stat.h>

#include <cerrno>
#include <cstring>

#include "base/fs/syscalls.hpp"

namespace camvault {

bool path_exists(const std::string& path) {
    struct stat info {};
    return ::lstat(path.c_str(), &info) == 0;
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
