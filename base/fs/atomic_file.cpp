// A file written whole or not at all, through a temporary file and a rename.
#include "base/fs/atomic_file.hpp"

#include <fcntl.h>

#include <cerrno>
#include <cstring>

#include "base/fs/syscalls.hpp"
#include "base/fs/temporary.hpp"

namespace camvault {

AtomicFileWriter::~AtomicFileWriter() {
    discard();
}

void AtomicFileWriter::discard() {
    if (fd_ >= 0) {
        sys::close(fd_);
        fd_ = -1;
    }
    if (!temp_.empty()) {
        sys::unlink(temp_.c_str());
        temp_.clear();
    }
}

bool AtomicFileWriter::fail(int errnum) {
    error_ = "cannot write " + target_ + ": " + std::strerror(errnum);
    discard();
    return false;
}

bool AtomicFileWriter::open(const std::string& target) {
    discard();
    target_ = target;
    error_.clear();
    const size_t slash = target.rfind('/');
    const std::string folder = slash == std::string::npos ? "." : target.substr(0, slash);
    for (int attempt = 0; attempt < 100; ++attempt) {
        std::string temp = temporary_path_in(folder);
        // 0666 so that the file gets the user's usual permissions through the umask.
        fd_ = sys::open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd_ >= 0) {
            temp_ = std::move(temp);
            return true;
        }
        if (errno != EEXIST)
            return fail(errno);
    }
    return fail(EEXIST);
}

bool AtomicFileWriter::append(std::string_view bytes) {
    if (fd_ < 0)
        return false;
    while (!bytes.empty()) {
        const ssize_t n = sys::write(fd_, bytes.data(), bytes.size());
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return fail(errno);
        }
        bytes.remove_prefix(static_cast<size_t>(n));
    }
    return true;
}

bool AtomicFileWriter::commit() {
    if (fd_ < 0)
        return false;
    const int fd = fd_;
    fd_ = -1;
    // Without the flush a crash right after the rename can leave an empty file
    // where the old one was.
    if (sys::fsync(fd) != 0 && errno != EINVAL) {
        const int errnum = errno;
        sys::close(fd);
        return fail(errnum);
    }
    // close() is where some file systems (NFS, FUSE) report a failed write.
    if (sys::close(fd) != 0)
        return fail(errno);
    if (sys::rename(temp_.c_str(), target_.c_str()) != 0)
        return fail(errno);
    temp_.clear();
    return true;
}

Status write_file_atomically(const std::string& path, std::string_view content) {
    AtomicFileWriter writer;
    if (!writer.open(path) || !writer.append(content) || !writer.commit())
        return fail(writer.error());
    return {};
}

}  // namespace camvault
