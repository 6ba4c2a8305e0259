// What a still of a clip with telemetry carries: the footage's clock time,
// where and how fast the car was. The page works these out for the frame on
// screen (with the clock correction, as it shows them) and sends them with
// the snapshot; this names the file after the clock time and turns the facts
// into the PNG's text chunks.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace camvault::media {

struct SnapshotStamp {
    // The frame's time on the camera's clock, corrected, read as UTC:
    // milliseconds since 1970-01-01 00:00.
    int64_t clock_ms = 0;
    std::optional<double> latitude;   // degrees, south negative
    std::optional<double> longitude;  // degrees, west negative
    std::optional<double> speed_kmh;
    std::optional<double> heading;  // degrees clockwise from north
    // The caption strip's lines in the page's language; none: no strip.
    std::vector<std::string> caption;
};

// "2026-06-01_09-00-05.500"; nothing for a time outside the years 1 to 9999.
std::optional<std::string> clock_file_stamp(int64_t clock_ms);
// "2026-06-01T09:00:05.500" (ISO 8601, no zone: the camera's clock).
std::optional<std::string> clock_text(int64_t clock_ms);

// "<clip stem>_<clock_file_stamp>" for the movie at `clip_path`; nothing when
// the stamp's time is none.
std::optional<std::string> stamped_snapshot_stem(const std::string& clip_path,
                                                 const SnapshotStamp& stamp);

// The PNG text chunks (keyword, text) of a still of `clip_name`: the clip,
// the clock time, the position, speed and heading where known, and the
// software. Keywords are Latin-1 without spaces at the ends, 1 to 79 bytes.
using PngText = std::vector<std::pair<std::string, std::string>>;
PngText snapshot_text_chunks(const std::string& clip_name, const SnapshotStamp& stamp,
                             const std::string& software);

// How a still of the clip at `clip_path` is written: with a stamp whose time
// is a real one, named after it with its text chunks and caption lines;
// otherwise `plain_stem`, no text, no caption.
struct StillWriting {
    std::string stem;
    PngText text;
    std::vector<std::string> caption;
};
StillWriting still_writing(const std::string& clip_path, const std::optional<SnapshotStamp>& stamp,
                           std::string plain_stem, const std::string& software);

}  // namespace camvault::media
