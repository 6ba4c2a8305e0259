// Clip fingerprints.
#include "library/fingerprint.hpp"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <vector>

#include "base/fs/files.hpp"
#include "base/fs/unique_fd.hpp"

namespace camvault {
namespace {

// 64-bit FNV-1a: enough to tell clips apart, not meant against forgery.
uint64_t fnv1a(std::span<const uint8_t> bytes) {
    uint64_t hash = 0xcbf29ce484222325ull;
    for (uint8_t b : bytes) {
        hash ^= b;
        hash *= 0x100000001b3ull;
    }
    return hash;
}

std::string hex(uint64_t value) {
    static constexpr char kDigits[] = "0123456789abcdef";
    std::string out(16, '0');
    for (int i = 15; i >= 0; --i, value >>= 4)
        out[static_cast<size_t>(i)] = kDigits[value & 15];
    return out;
}

}  // namespace

std::string fingerprint_of(uint64_t size, std::span<const uint8_t> first,
                           std::span<const uint8_t> last) {
    return std::to_string(size) + "-" + hex(fnv1a(first)) + "-" + hex(fnv1a(last));
}

Result<ClipIdentity> identify_clip(const std::string& path) {
    const auto opened = open_regular_file(path);
    if (!opened)
        return opened.failure();
    const int fd = *opened;
    const UniqueFd closer(fd);
    struct stat info {};
    if (::fstat(fd, &info) != 0)
        return fail("cannot read " + path + ": " + std::strerror(errno));
    const auto size = static_cast<uint64_t>(info.st_size);
    const auto read_at = [&](uint64_t offset, size_t length) -> Result<std::vector<uint8_t>> {
        std::vector<uint8_t> bytes(length);
        size_t done = 0;
        while (done < length) {
            const ssize_t n =
                ::pread(fd, bytes.data() + done, length - done, static_cast<off_t>(offset + done));
            if (n < 0 && errno == EINTR)
                continue;
            if (n < 0)
                return fail("cannot read " + path + ": " + std::strerror(errno));
            if (n == 0)
                break;
            done += static_cast<size_t>(n);
        }
        bytes.resize(done);
        return bytes;
    };
    const size_t edge = static_cast<size_t>(std::min<uint64_t>(size, kFingerprintEdge));
    auto first = read_at(0, edge);
    if (!first)
        return first.failure();
    auto last = read_at(size - edge, edge);
    if (!last)
        return last.failure();
    ClipIdentity identity;
    identity.size = size;
    identity.mtime_ns =
        static_cast<int64_t>(info.st_mtim.tv_sec) * 1'000'000'000 + info.st_mtim.tv_nsec;
    identity.fingerprint = fingerprint_of(size, *first, *last);
    return identity;
}

}  // namespace camvault
