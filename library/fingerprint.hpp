// A clip's identity by content, read cheaply: its size and a hash of its first
// and its last 64 KB. Camera clips of the same name on two cards differ there
// (their headers and indexes hold times and sizes), so this tells them apart
// while reading at most 128 KB of a clip on a slow card.
#pragma once

#include <cstdint>
#include <span>
#include <string>

#include "base/result.hpp"

namespace camvault {

inline constexpr size_t kFingerprintEdge = 64 * 1024;

// "<size>-<hash of the first 64 KB>-<hash of the last 64 KB>" in hexadecimal.
std::string fingerprint_of(uint64_t size, std::span<const uint8_t> first,
                           std::span<const uint8_t> last);

struct ClipIdentity {
    uint64_t size = 0;
    int64_t mtime_ns = 0;
    std::string fingerprint;
};

// Reads the edges of a regular file (never blocking on anything else).
Result<ClipIdentity> identify_clip(const std::string& path);

}  // namespace camvault
