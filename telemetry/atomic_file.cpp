// A file written whole or not at all, through a temporary file and a rename.
#include "telemetry/atomic_file.hpp"

#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstring>

namespace camvault {

namespace {

// ".A.data.tmp-<pid>-<n>" beside the target: hidden, so that nothing lists it.
std::string temp_name_for(const std::string& target, unsigned attempt) {
    static std::atomic<unsigned> counter{0};
    const size_t slash = target.rfind('/');
    const std::string folder = slash == std::string::npos ? "" : target.substr(0, slash + 1);
    const std::string name = slash == std::string::npos ? target : target.substr(slash + 1);
    return folder + "." + name + ".tmp-" + std::to_string(::getpid()) + "-" +
           std::to_string(counter.fetch_add(1) + attempt);
}

constexpr std::string_view kTempMark = ".tmp-";

// The writer's process id in a temporary name, or 0 when the name is not one.
pid_t writer_of(std::string_view name) {
    if (name.empty() || name.front() != '.') return 0;
    const size_t mark = name.rfind(kTempMark);
    if (mark == std::string_view::npos) return 0;
    pid_t pid = 0;
    size_t i = mark + kTempMark.size();
    for (; i < name.size() && name[i] >= '0' && name[i] <= '9'; ++i) {
        pid = pid * 10 + (name[i] - '0');
        if (pid > 4194304) return 0;  // above any Linux pid
    }
    return i < name.size() && name[i] == '-' ? pid : 0;
}

}  // namespace

void remove_abandoned_temporary_files(const std::string& folder) {
    DIR* dir = ::opendir(folder.c_str());
    if (!dir) return;
    while (const dirent* entry = ::readdir(dir)) {
        const pid_t pid = writer_of(entry->d_name);
        if (pid > 0 && ::kill(pid, 0) != 0 && errno == ESRCH) {
            ::unlinkat(::dirfd(dir), entry->d_name, 0);
        }
    }
    ::closedir(dir);
}

AtomicFileWriter::~AtomicFileWriter() {
    discard();
}

void AtomicFileWriter::discard() {
    if (fd_ >= 0) {
        ::close(fd_);
        fd_ = -1;
    }
    if (!temp_.empty()) {
        ::unlink(temp_.c_str());
        temp_.clear();
    }
}

bool AtomicFileWriter::fail(const std::string& what, int errnum) {
    error_ = what + ": " + std::strerror(errnum);
    discard();
    return false;
}

bool AtomicFileWriter::open(const std::string& target) {
    discard();
    target_ = target;
    error_.clear();
    for (unsigned attempt = 0; attempt < 100; ++attempt) {
        std::string temp = temp_name_for(target, attempt);
        // 0666 so that the file gets the user's usual permissions through the umask.
        fd_ = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd_ >= 0) {
            temp_ = std::move(temp);
            return true;
        }
        if (errno != EEXIST) {
            return fail("cannot write " + target_, errno);
        }
    }
    return fail("cannot write " + target_, EEXIST);
}

bool AtomicFileWriter::append(std::string_view bytes) {
    if (fd_ < 0) {
        return false;
    }
    while (!bytes.empty()) {
        const ssize_t n = ::write(fd_, bytes.data(), bytes.size());
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return fail("cannot write " + target_, errno);
        }
        bytes.remove_prefix(static_cast<size_t>(n));
    }
    return true;
}

bool AtomicFileWriter::commit() {
    if (fd_ < 0) {
        return false;
    }
    const int fd = fd_;
    fd_ = -1;
    // Without the flush a crash right after the rename can leave an empty file
    // where the old one was.
    if (::fsync(fd) != 0 && errno != EINVAL) {
        const int errnum = errno;
        ::close(fd);
        return fail("cannot write " + target_, errnum);
    }
    // close() is where some file systems (NFS, FUSE) report a failed write.
    if (::close(fd) != 0) {
        return fail("cannot write " + target_, errno);
    }
    if (::rename(temp_.c_str(), target_.c_str()) != 0) {
        return fail("cannot write " + target_, errno);
    }
    temp_.clear();
    return true;
}

}  // namespace camvault
