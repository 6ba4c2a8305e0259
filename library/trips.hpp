// Trips: clips recorded one after the other on one drive. A dash camera cuts a
// drive into clips of a few minutes with at most a few seconds between them;
// a longer pause (parking, a stop for coffee) starts a new trip.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>
#include <vector>

#include "library/library_clip.hpp"

namespace camvault {

// The pause between one clip's last record and the next clip's first record
// that still belongs to one drive: 10 s, in ms. Cameras leave about a second.
inline constexpr int64_t kDefaultTripGapMs = 10000;

struct Trip {
    // False for a clip without telemetry that could not be placed in a trip:
    // it stands alone and its trip has no times, distance or speeds.
    bool timed = true;
    int64_t start_ms = 0;  // first record of its first clip, as recorded (ms since 1970)
    int64_t end_ms = 0;    // last record of any of its clips
    int64_t duration_ms = 0;
    double distance_m = 0;  // the clips' distances added, metres
    double max_speed_kmh = 0;
    size_t event_count = 0;
    std::vector<size_t> clips;  // indices into the list given to group_trips, in driving order

    bool operator==(const Trip&) const = default;
};

// Groups the clips into trips. Clips with telemetry, in clock order, are one
// trip while each starts within `gap_ms` of the latest end so far (clips that
// overlap, such as a front and a rear camera's, join too). A clip without
// telemetry joins a trip when that is unambiguous: its name sorts right
// between two clips that follow each other in one trip, and its modification
// time lies between theirs; otherwise it is a trip of its own. Trips come by
// start time, then the lone untimed clips by name.
std::vector<Trip> group_trips(std::span<const LibraryClip> clips,
                              int64_t gap_ms = kDefaultTripGapMs);

// Orders file names as a person would: runs of digits by their value
// ("clip9" before "clip10"), everything else byte by byte; names that differ
// only in leading zeros are ordered byte by byte. Negative, 0 or positive.
int compare_clip_names(std::string_view a, std::string_view b);

// The file name of a path: what follows its last '/'.
std::string_view file_name_of(std::string_view path);

}  // namespace camvault
