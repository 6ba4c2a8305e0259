// Never-overwrite naming and publishing.
#include "base/fs/unique_names.hpp"

#include <fcntl.h>

#include <cerrno>
#include <cstring>

#include "base/fs/syscalls.hpp"
#include "base/fs/temporary.hpp"

namespace camvault {
namespace {

// Enough attempts for any burst of same-second files; beyond it something is wrong.
constexpr int kMaxAttempts = 10000;

std::string join(std::string_view dir, std::string_view name) {
    std::string path(dir);
    if (path.empty() || path.back() != '/')
        path += '/';
    path += name;
    return path;
}

// Takes `path` with an exclusive create: true when it was free.
bool create_exclusive(const std::string& path, std::string& error) {
    const int fd = sys::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
    if (fd >= 0) {
        sys::close(fd);
        return true;
    }
    if (errno != EEXIST)
        error = "cannot create " + path + ": " + std::strerror(errno);
    return false;
}

}  // namespace

std::string numbered_name(std::string_view stem, std::string_view extension, int attempt) {
    std::string name(stem);
    if (attempt > 1)
        name += "-" + std::to_string(attempt);
    name += '.';
    name += extension;
    return name;
}

Result<std::string> claim_free_name(std::string_view dir, std::string_view stem,
                                    std::string_view extension, const ClaimFn& claim) {
    for (int attempt = 1; attempt <= kMaxAttempts; ++attempt) {
        std::string path = join(dir, numbered_name(stem, extension, attempt));
        std::string error;
        if (claim(path, error))
            return path;
        if (!error.empty())
            return fail(error);
    }
    return fail("no free file name for " + std::string(stem));
}

Result<std::string> publish_without_overwrite(const std::string& temp_path, std::string_view dir,
                                              std::string_view stem, std::string_view extension) {
    return claim_free_name(dir, stem, extension, [&](const std::string& path, std::string& error) {
        // RENAME_NOREPLACE makes "is the name free" and "take it" one step.
        if (sys::rename_noreplace(temp_path.c_str(), path.c_str()) == 0)
            return true;
        if (errno == EEXIST)
            return false;
        if (errno == EINVAL || errno == ENOSYS) {
            // File systems without RENAME_NOREPLACE: a hard link fails the same way
            // on an existing name.
            if (sys::link(temp_path.c_str(), path.c_str()) == 0) {
                sys::unlink(temp_path.c_str());
                return true;
            }
            if (errno == EEXIST)
                return false;
            // Nor hard links (some FUSE and network file systems): reserve the
            // name with an exclusive create, then rename over the placeholder.
            if (!create_exclusive(path, error))
                return false;
            if (sys::rename(temp_path.c_str(), path.c_str()) == 0)
                return true;
            const int rename_error = errno;
            sys::unlink(path.c_str());
            errno = rename_error;
        }
        error = "cannot write " + path + ": " + std::strerror(errno);
        return false;
    });
}

Result<std::string> create_new_file(std::string_view dir, std::string_view stem,
                                    std::string_view extension) {
    return claim_free_name(dir, stem, extension, create_exclusive);
}

Result<std::string> write_new_file(std::string_view dir, std::string_view stem,
                                   std::string_view extension, std::string_view bytes) {
    const std::string shown = join(dir, numbered_name(stem, extension, 1));
    const std::string temp = temporary_path_in(dir);
    const int fd = sys::open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
    if (fd < 0)
        return fail("cannot write " + shown + ": " + std::strerror(errno));
    int error = 0;
    while (!bytes.empty() && error == 0) {
        const ssize_t n = sys::write(fd, bytes.data(), bytes.size());
        if (n >= 0)
            bytes.remove_prefix(static_cast<size_t>(n));
        else if (errno != EINTR)
            error = errno;
    }
    if (error == 0 && sys::fsync(fd) != 0 && errno != EINVAL)
        error = errno;
    if (sys::close(fd) != 0 && error == 0)
        error = errno;
    if (error != 0) {
        sys::unlink(temp.c_str());
        return fail("cannot write " + shown + ": " + std::strerror(error));
    }
    auto published = publish_without_overwrite(temp, dir, stem, extension);
    if (!published)
        sys::unlink(temp.c_str());
    return published;
}

}  // namespace camvault
