// SHA-256 of files and bytes through GLib's GChecksum, read in chunks so that
// memory stays small whatever a file's size. Blocking file reads.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

#include "base/result.hpp"

namespace camvault::media {

struct FileDigest {
    uint64_t size = 0;
    std::string sha256;  // 64 lower-case hexadecimal digits
};

// Hands out the next bytes: how many it put in the buffer, 0 at the end, or
// -errno.
using ChunkSource = std::function<ptrdiff_t(uint8_t* buf, size_t size)>;

// The digest of everything `feed` hands out; `what` names it in errors.
Result<FileDigest> digest_of(const ChunkSource& feed, const std::string& what);

Result<FileDigest> digest_of_file(const std::string& path);

// The SHA-256 of a file as 64 hexadecimal digits.
Result<std::string> sha256_of_file(const std::string& path);

std::string sha256_of_text(std::string_view text);

// "cannot <what> <path>: <strerror>".
Error file_error(const std::string& what, const std::string& path, int errnum);

}  // namespace camvault::media
