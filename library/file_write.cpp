// Whole-file atomic writes and folder creation on POSIX.
#include "library/file_write.hpp"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <vector>

namespace camvault {
namespace {

WriteResult failure(std::string_view what, const std::string& path, int error_number) {
    return {false, std::string(what) + " " + path + ": " + std::strerror(error_number)};
}

}  // namespace

bool path_exists(const std::string& path) {
    struct stat info {};
    return ::lstat(path.c_str(), &info) == 0;
}

WriteResult create_directories(const std::string& path) {
    std::string partial;
    size_t pos = 0;
    while (pos != std::string::npos) {
        pos = path.find('/', pos + 1);
        partial = path.substr(0, pos);
        if (partial.empty()) continue;
        if (::mkdir(partial.c_str(), 0755) != 0 && errno != EEXIST) {
            return failure("cannot create folder", partial, errno);
        }
    }
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0 || !S_ISDIR(info.st_mode)) {
        return {false, "cannot create folder " + path + ": something else is in the way"};
    }
    return {true, {}};
}

WriteResult write_file_atomically(const std::string& path, std::string_view content) {
    std::string temp_template = path + ".XXXXXX";
    std::vector<char> temp(temp_template.begin(), temp_template.end());
    temp.push_back('\0');
    const int fd = ::mkstemp(temp.data());
    if (fd < 0) {
        return failure("cannot write", path, errno);
    }
    const std::string temp_path(temp.data());
    size_t written = 0;
    while (written < content.size()) {
        const ssize_t n = ::write(fd, content.data() + written, content.size() - written);
        if (n < 0) {
            if (errno == EINTR) continue;
            const int error_number = errno;
            ::close(fd);
            ::unlink(temp_path.c_str());
            return failure("cannot write", path, error_number);
        }
        written += static_cast<size_t>(n);
    }
    // mkstemp makes the file private; settings and scripts are ordinary files.
    ::fchmod(fd, 0644);
    if (::fsync(fd) != 0 || ::close(fd) != 0) {
        const int error_number = errno;
        ::unlink(temp_path.c_str());
        return failure("cannot write", path, error_number);
    }
    if (::rename(temp_path.c_str(), path.c_str()) != 0) {
        const int error_number = errno;
        ::unlink(temp_path.c_str());
        return failure("cannot replace", path, error_number);
    }
    return {true, {}};
}

}  // namespace camvault
