// The moov's `gps ` box: the list of freeGPS boxes (offset and size) that
// Novatek-based cameras write so readers need not search the movie data.
// Container reading only; the boxes themselves are decoded elsewhere.
#pragma once

#include <cstdint>
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

// The entry of the box that starts at `offset`, or nullptr.
const GpsIndexEntry* find_gps_entry(const std::vector<GpsIndexEntry>& index, uint64_t offset);

}  // namespace camvault
