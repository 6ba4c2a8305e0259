// Stamps and never-overwrite publishing of snapshots, exports and recordings.
#include "media/file_names.hpp"

#include <fcntl.h>
#include <stdio.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstring>

namespace camvault::media {
namespace {

// Enough attempts for any burst of same-second files; beyond it something is wrong.
constexpr int kMaxAttempts = 10000;

std::string format_tm(const char* pattern, const std::tm& local) {
    char buffer[64];
    const size_t n = std::strftime(buffer, sizeof buffer, pattern, &local);
    return std::string(buffer, n);
}

std::string join(std::string_view dir, std::string_view name) {
    std::string path(dir);
    if (path.empty() || path.back() != '/')
        path += '/';
    path += name;
    return path;
}

}  // namespace

// %Y is the calendar year and %d the day of the month (the week-based %G and
// day-of-year %j are what went wrong before).
std::string snapshot_stamp(const std::tm& local) {
    return format_tm("%Y_%m%d_%H%M%S", local);
}
std::string export_stamp(const std::tm& local) {
    return format_tm("%Y%m%d_%H%M%S", local);
}
std::string recording_stamp(const std::tm& local) {
    return format_tm("%Y%m%d%H%M%S", local);
}

std::tm local_now() {
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    return local;
}

std::string numbered_name(std::string_view stem, std::string_view extension, int attempt) {
    std::string name(stem);
    if (attempt > 1)
        name += "-" + std::to_string(attempt);
    name += '.';
    name += extension;
    return name;
}

ClaimResult claim_free_name(std::string_view dir, std::string_view stem, std::string_view extension,
                            const ClaimFn& claim) {
    ClaimResult result;
    for (int attempt = 1; attempt <= kMaxAttempts; ++attempt) {
        const std::string path = join(dir, numbered_name(stem, extension, attempt));
        std::string error;
        if (claim(path, error)) {
            result.path = path;
            return result;
        }
        if (!error.empty()) {
            result.error = error;
            return result;
        }
    }
    result.error = "no free file name for " + std::string(stem);
    return result;
}

ClaimResult publish_without_overwrite(const std::string& temp_path, std::string_view dir,
                                      std::string_view stem, std::string_view extension) {
    return claim_free_name(dir, stem, extension, [&](const std::string& path, std::string& error) {
        // RENAME_NOREPLACE makes "is the name free" and "take it" one step.
        if (renameat2(AT_FDCWD, temp_path.c_str(), AT_FDCWD, path.c_str(), RENAME_NOREPLACE) == 0)
            return true;
        if (errno == EEXIST)
            return false;
        if (errno == EINVAL || errno == ENOSYS) {
            // File systems without RENAME_NOREPLACE: a hard link fails the same way
            // on an existing name.
            if (link(temp_path.c_str(), path.c_str()) == 0) {
                unlink(temp_path.c_str());
                return true;
            }
            if (errno == EEXIST)
                return false;
            // Nor hard links (some FUSE and network file systems): reserve the
            // name with an exclusive create, then rename over the placeholder.
            const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
            if (fd < 0) {
                if (errno == EEXIST)
                    return false;
            } else {
                close(fd);
                if (rename(temp_path.c_str(), path.c_str()) == 0)
                    return true;
                const int rename_error = errno;
                unlink(path.c_str());
                errno = rename_error;
            }
        }
        error = std::string("cannot write ") + path + ": " + std::strerror(errno);
        return false;
    });
}

ClaimResult create_new_file(std::string_view dir, std::string_view stem,
                            std::string_view extension) {
    return claim_free_name(dir, stem, extension, [](const std::string& path, std::string& error) {
        const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
        if (fd >= 0) {
            close(fd);
            return true;
        }
        if (errno == EEXIST)
            return false;
        error = std::string("cannot create ") + path + ": " + std::strerror(errno);
        return false;
    });
}

std::string temporary_path(std::string_view dir, std::string_view stem,
                           std::string_view extension) {
    static std::atomic<unsigned> counter{0};
    std::string name = ".";
    name += stem;
    name += ".part-" + std::to_string(getpid()) + "-" + std::to_string(counter++);
    name += '.';
    name += extension;
    return join(dir, name);
}

}  // namespace camvault::media
