// Telemetry kept in the movie's own tracks rather than in boxes inside the
// movie data: NMEA sentences in QuickTime text and subtitle tracks, GoPro
// GPMF in `gpmd` metadata tracks. The
// samples are found through the moov's sample tables and read one by one, so
// the movie data is never searched for them.
#pragma once

#include <cstdint>

#include "telemetry/fix.hpp"
#include "telemetry/segmented_scan.hpp"

namespace camvault {

struct TrackTelemetryResult {
    bool stopped = false;  // the sink asked to stop
    int read_error = 0;    // errno of a failed read
    LayoutSet layouts = 0;
};

// Samples larger than this are not text a camera writes; they are skipped.
inline constexpr uint32_t kMaxTextSample = 64 * 1024;
// GPMF samples carry a second of every sensor (a few to some tens of
// kilobytes); larger ones are skipped.
inline constexpr uint32_t kMaxGpmfSample = 1024 * 1024;

// Hands the fixes of every text, subtitle or gpmd track to the sink, track
// by track, each in sample order.
TrackTelemetryResult decode_track_telemetry(const PositionalReader& read, uint64_t size,
                                            const FixSink& sink);

}  // namespace camvault
