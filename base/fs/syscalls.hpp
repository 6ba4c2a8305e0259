// The system calls of the file layer behind one seam, so that tests can make
// fsync, close, rename, link or an exclusive create fail on purpose. Production
// code calls camvault::sys::*; nothing else in base/fs calls the C library's
// file functions directly.
#pragma once

#include <sys/types.h>

#include <functional>

namespace camvault::sys {

int open(const char* path, int flags, mode_t mode);
ssize_t write(int fd, const void* data, size_t size);
int fsync(int fd);
int close(int fd);
int rename(const char* from, const char* to);
// rename that fails with EEXIST instead of replacing `to`.
int rename_noreplace(const char* from, const char* to);
int link(const char* from, const char* to);
int unlink(const char* path);
int mkdir(const char* path, mode_t mode);

// The replaceable table behind the functions above. Each entry defaults to the
// real call; a test swaps entries through SyscallOverride.
struct SyscallTable {
    std::function<int(const char*, int, mode_t)> open;
    std::function<ssize_t(int, const void*, size_t)> write;
    std::function<int(int)> fsync;
    std::function<int(int)> close;
    std::function<int(const char*, const char*)> rename;
    std::function<int(const char*, const char*)> rename_noreplace;
    std::function<int(const char*, const char*)> link;
    std::function<int(const char*)> unlink;
    std::function<int(const char*, mode_t)> mkdir;
};

// The real calls.
SyscallTable real_syscalls();

// Installs a table for the lifetime of the object (tests, one thread), then
// puts the previous one back.
class SyscallOverride {
  public:
    explicit SyscallOverride(SyscallTable table);
    ~SyscallOverride();
    SyscallOverride(const SyscallOverride&) = delete;
    SyscallOverride& operator=(const SyscallOverride&) = delete;

  private:
    SyscallTable previous_;
};

}  // namespace camvault::sys
