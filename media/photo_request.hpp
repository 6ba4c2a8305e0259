// The get_photo command's argument: which movie, and which frame of it.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace camvault::media {

// A point in a movie as a count over a timescale (counts per second).
struct MediaTime {
    int64_t count = 0;
    int32_t timescale = 1;

    // The time in nanoseconds; negative counts stay negative.
    int64_t nanoseconds() const;
};

struct PhotoRequest {
    std::string movie_url;  // field 0, untouched: URL parsing decodes its escapes
    int32_t minutes = 0;
    int32_t seconds = 0;
    bool complete = false;  // false when the text holds fewer than three fields
};

// The leading decimal integer of `field` as C's strtol reads it (leading
// blanks, one sign), clamped to the 32-bit range; 0 when there are no digits.
int32_t read_leading_int32(std::string_view field);

// The request in a get_photo command URL text: every "http://get_photo/"
// removed, the rest split at ";", fields beyond the third ignored.
PhotoRequest parse_photo_command(std::string_view command_url_text);

// The frame the page asks for: (minutes * 60 + seconds) * 30 + 30 over
// timescale 30, in 32-bit arithmetic that wraps as the camera app's did.
MediaTime frame_position(int32_t minutes, int32_t seconds);

}  // namespace camvault::media
