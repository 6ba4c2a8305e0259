// The manifest of an evidence pack: what each file of the pack is (name,
// size, SHA-256), the clips it was cut from, the clock settings its times
// were written with and the CamVault that made it; manifest.json as text and
// back, and the `sha256sum` line that seals the manifest itself. Pure.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "base/result.hpp"

namespace camvault::media {

inline constexpr std::string_view kManifestName = "manifest.json";
inline constexpr std::string_view kManifestSealName = "manifest.sha256";

struct PackEntry {
    std::string name;  // a plain file name inside the pack's folder
    uint64_t size = 0;
    std::string sha256;  // 64 lower-case hexadecimal digits

    bool operator==(const PackEntry&) const = default;
};

// A clip the pack's movie was cut from, as the library knows it.
struct PackSource {
    std::string name;
    uint64_t size = 0;
    std::string fingerprint;  // library/fingerprint.hpp

    bool operator==(const PackSource&) const = default;
};

// The clock settings the pack's route files and stamps were written with:
// UTC = camera time + clock_correction_s - utc_offset_minutes.
struct PackClock {
    int64_t clock_correction_s = 0;
    int utc_offset_minutes = 0;

    bool operator==(const PackClock&) const = default;
};

struct PackManifest {
    std::string name;     // the pack's folder name
    std::string created;  // ISO 8601 UTC, e.g. "2026-12-06T17:04:05Z"
    std::string version;  // CamVault's
    PackClock clock;
    std::vector<PackSource> sources;
    std::vector<PackEntry> files;  // every file of the pack but the manifest and its seal

    bool operator==(const PackManifest&) const = default;
};

// True for a name a pack may hold: no folder part, not "." or "..", no
// control characters, not one of the manifest's own names. A manifest read
// from a pack anyone may have edited names only such files.
bool is_pack_file_name(std::string_view name);

// manifest.json: indented, keys in a fixed order, ending in a line feed.
std::string manifest_json(const PackManifest& manifest);

// Reads manifest.json back; refuses text that is not such a manifest (a file
// name that is_pack_file_name refuses, a hash that is not 64 hex digits, a
// name listed twice).
Result<PackManifest> parse_manifest(std::string_view text);

// "<hash>  manifest.json\n": the line `sha256sum -c` checks.
std::string manifest_seal(std::string_view manifest_sha256);
// The hash of a seal, or a failure when the text is not exactly one such line.
Result<std::string> parse_manifest_seal(std::string_view text);

// True for 64 lower-case hexadecimal digits.
bool is_sha256_text(std::string_view text);

}  // namespace camvault::media
