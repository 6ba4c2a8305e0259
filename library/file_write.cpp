// Whole-file atomic writes and folder creation on POSIX.
#include "library/file_write.hpp"

#include <sys/stat.h>

#include <cerrno>
#include <cstring>

#include "telemetry/atomic_file.hpp"

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
        if (partial.empty())
            continue;
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
    AtomicFileWriter writer;
    if (!writer.open(path) || !writer.append(content) || !writer.commit()) {
        return {false, writer.error()};
    }
    return {true, {}};
}

}  // namespace camvault
