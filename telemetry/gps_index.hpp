// The moov's `gps ` box: the list of freeGPS boxes (offset and size) that
// Novatek-based cameras write so readers need not search the movie data; and
// the movie header's creation time, which times the boxes that carry none.
// Container reading only; the boxes themselves are decoded elsewhere.
#pragma once

#include <cstdint>
#include <optional>
#include <vector>

#include "telemetry/segmented_scan.hpp"

namespace camvault {

struct GpsIndexEntry {
    uint64_t offset = 0;
    uint32_t size = 0;
    bool operator<(const GpsIndexEntry& o) const { return offset < o.offset; }
};

// Entries no clip needs more of: an hour at one box a second is 3,600.
inline constexpr uint32_t kMaxGpsIndexEntries = 1u << 20;

// The entries of the `gps ` box directly inside the top-level moov, sorted by
// offset; empty when there is none, or when the file cannot be read (the scan
// then treats every box as unindexed). Reads only atom headers and the box.
std::vector<GpsIndexEntry> read_gps_index(const PositionalReader& read, uint64_t size);

// Seconds from 1904-01-01 (QuickTime's epoch) to 1970-01-01.
inline constexpr int64_t kQuickTimeEpochOffset = 2082844800;
// 9999-12-31 23:59:59 in seconds since 1970: the last time a key's year holds.
inline constexpr int64_t kLatestMovieTime = 253402300799;

// The creation time in the top-level moov's mvhd, in seconds since
// 1970-01-01 read as UTC (the camera's clock, as every record key). Nothing
// when there is no mvhd, it cannot be read, or its time is 0 (never set: what
// a muxer writes without a date) or beyond year 9999 (no key holds it).
std::optional<int64_t> read_movie_creation_time(const PositionalReader& read, uint64_t size);

// The entry of the box that starts at `offset`, or nullptr.
const GpsIndexEntry* find_gps_entry(const std::vector<GpsIndexEntry>& index, uint64_t offset);

}  // namespace camvault
