// The words written into an exported movie's picture when the driver asks for
// them: for every second of the movie, the clock time (corrected), the speed
// and the position of the record at that moment. Pure: the pieces' spans and
// lengths and the records come in, timed captions go out.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "telemetry/route_export.hpp"

namespace camvault {

struct CaptionPiece {
    // The camera clock at the piece's first frame, in milliseconds as
    // recorded; nothing when its clip has no telemetry (the piece gets no
    // captions, but its length still counts).
    std::optional<int64_t> clock_start_ms;
    int64_t length_ms = 0;  // how long the piece lasts in the movie
};

struct TimedCaption {
    size_t piece = 0;
    int64_t start_ms = 0;  // after the piece's first frame
    int64_t duration_ms = 0;
    std::string text;
    bool operator==(const TimedCaption&) const = default;
};

struct CaptionStyle {
    int64_t clock_correction_s = 0;
    bool miles = false;  // mph instead of km/h
};

// One caption per second of each piece with records, the text of the record
// nearest that moment (within two seconds; none further away):
// "2026-06-01 09:00:05   52 km/h   51.50736 N  0.12776 W".
std::vector<TimedCaption> burn_in_captions(const std::vector<CaptionPiece>& pieces,
                                           const std::vector<RoutePoint>& points,
                                           const CaptionStyle& style);

// The text of one record at clock time `clock_ms` (as recorded).
std::string caption_text(const RoutePoint& point, int64_t clock_ms, const CaptionStyle& style);

}  // namespace camvault
