// The file layer's system calls, routed through a table tests can replace.
#include "base/fs/syscalls.hpp"

#include <fcntl.h>
#include <stdio.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

namespace camvault::sys {
namespace {

SyscallTable& table() {
    static SyscallTable current = real_syscalls();
    return current;
}

}  // namespace

SyscallTable real_syscalls() {
    SyscallTable t;
    t.open = [](const char* path, int flags, mode_t mode) { return ::open(path, flags, mode); };
    t.write = [](int fd, const void* data, size_t size) { return ::write(fd, data, size); };
    t.fsync = [](int fd) { return ::fsync(fd); };
    t.close = [](int fd) { return ::close(fd); };
    t.rename = [](const char* from, const char* to) { return ::rename(from, to); };
    t.rename_noreplace = [](const char* from, const char* to) {
        return ::renameat2(AT_FDCWD, from, AT_FDCWD, to, RENAME_NOREPLACE);
    };
    t.link = [](const char* from, const char* to) { return ::link(from, to); };
    t.unlink = [](const char* path) { return ::unlink(path); };
    t.mkdir = [](const char* path, mode_t mode) { return ::mkdir(path, mode); };
    return t;
}

int open(const char* path, int flags, mode_t mode) {
    return table().open(path, flags, mode);
}
ssize_t write(int fd, const void* data, size_t size) {
    return table().write(fd, data, size);
}
int fsync(int fd) {
    return table().fsync(fd);
}
int close(int fd) {
    return table().close(fd);
}
int rename(const char* from, const char* to) {
    return table().rename(from, to);
}
int rename_noreplace(const char* from, const char* to) {
    return table().rename_noreplace(from, to);
}
int link(const char* from, const char* to) {
    return table().link(from, to);
}
int unlink(const char* path) {
    return table().unlink(path);
}
int mkdir(const char* path, mode_t mode) {
    return table().mkdir(path, mode);
}

SyscallOverride::SyscallOverride(SyscallTable replacement) : previous_(std::move(table())) {
    table() = std::move(replacement);
}

SyscallOverride::~SyscallOverride() {
    table() = std::move(previous_);
}

}  // namespace camvault::sys
