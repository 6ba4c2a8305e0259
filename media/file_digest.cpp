// SHA-256 of files and bytes through GLib's GChecksum.
#include "media/file_digest.hpp"

#include <fcntl.h>
#include <glib.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <vector>

#include "base/fs/unique_fd.hpp"
#include "base/handle.hpp"

namespace camvault::media {

namespace {

using ChecksumPtr = UniqueHandle<GChecksum, g_checksum_free>;

constexpr size_t kChunk = 1 << 20;

}  // namespace

Error file_error(const std::string& what, const std::string& path, int errnum) {
    return fail("cannot " + what + " " + path + ": " + std::strerror(errnum));
}

Result<FileDigest> digest_of(const ChunkSource& feed, const std::string& what) {
    ChecksumPtr sum(g_checksum_new(G_CHECKSUM_SHA256));
    std::vector<uint8_t> buf(kChunk);
    FileDigest d;
    for (;;) {
        const ptrdiff_t n = feed(buf.data(), buf.size());
        if (n < 0)
            return file_error("read", what, static_cast<int>(-n));
        if (n == 0)
            break;
        g_checksum_update(sum.get(), buf.data(), n);
        d.size += static_cast<uint64_t>(n);
    }
    d.sha256 = g_checksum_get_string(sum.get());
    return d;
}

std::string sha256_of_text(std::string_view text) {
    ChecksumPtr sum(g_checksum_new(G_CHECKSUM_SHA256));
    g_checksum_update(sum.get(), reinterpret_cast<const guchar*>(text.data()),
                      static_cast<gssize>(text.size()));
    return g_checksum_get_string(sum.get());
}

Result<FileDigest> digest_of_file(const std::string& path) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return file_error("read", path, errno);
    const UniqueFd closer(fd);
    return digest_of(
        [fd](uint8_t* buf, size_t size) -> ptrdiff_t {
            for (;;) {
                const ssize_t n = ::read(fd, buf, size);
                if (n >= 0)
                    return n;
                if (errno != EINTR)
                    return -errno;
            }
        },
        path);
}

Result<std::string> sha256_of_file(const std::string& path) {
    auto d = digest_of_file(path);
    if (!d)
        return d.failure();
    return d->sha256;
}

}  // namespace camvault::media
