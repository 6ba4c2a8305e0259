// Which frame of which movie a snapshot takes, and the frame arithmetic.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "media/snapshot_stamp.hpp"

namespace camvault::media {

// A point in a movie as a count over a timescale (counts per second).
struct MediaTime {
    int64_t count = 0;
    int32_t timescale = 1;

    // The time in nanoseconds; negative counts stay negative.
    int64_t nanoseconds() const;
};

// A frame of a movie the page asks for: the movie's URL and the minute and
// second it shows.
struct FrameRequest {
    std::string movie_url;
    int32_t minutes = 0;
    int32_t seconds = 0;
    bool complete = false;  // false when the page sent fewer than three fields
    // The exact media time of the frame on screen, when the page sent it: then
    // that frame is taken instead of the whole second after the minute and second.
    std::optional<int64_t> exact_ms;
    // The frame's clock time, place and speed, for a clip with telemetry: the
    // still is named after that time and carries the facts.
    std::optional<SnapshotStamp> stamp;
};

// The position that takes the frame on screen at `exact_ms`: half a
// millisecond on, since a time rounded to the millisecond may fall just before
// the start of the frame shown (1/29.97 s is no whole number of milliseconds).
int64_t exact_frame_position_ns(int64_t exact_ms);

// The frame the page asks for: (minutes * 60 + seconds) * 30 + 30 over
// timescale 30. Nothing when that count does not fit 32 bits: such a time lies
// outside any movie (wrapped around it would name a frame from elsewhere).
std::optional<MediaTime> frame_position(int32_t minutes, int32_t seconds);

}  // namespace camvault::media
