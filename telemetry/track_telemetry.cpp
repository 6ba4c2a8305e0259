// Telemetry in the movie's own tracks, found through its sample tables.
#include "telemetry/track_telemetry.hpp"

#include <string_view>
#include <vector>

#include "telemetry/gpmf.hpp"
#include "telemetry/movie_tracks.hpp"
#include "telemetry/nmea_text.hpp"

namespace camvault {

TrackTelemetryResult decode_track_telemetry(const PositionalReader& read, uint64_t size,
                                            const FixSink& sink) {
    TrackTelemetryResult result;
    std::vector<uint8_t> buf;
    for (const TimedTextTrack& track : read_timed_text_tracks(read, size)) {
        bool any = false;
        const FixSink counted = [&](const TelemetryFix& fix) {
            any = true;
            return sink(fix);
        };
        const bool gpmf = std::string_view(track.handler.data(), 4) == "meta";
        NmeaTextDecoder text(counted);
        GpmfDecoder metadata(counted);
        const uint32_t max_sample = gpmf ? kMaxGpmfSample : kMaxTextSample;
        for (size_t i = 0; i < track.samples.size(); ++i) {
            const SampleSpan& s = track.samples[i];
            if (s.size > max_sample || s.offset > size || size - s.offset < s.size)
                continue;
            buf.resize(s.size);
            size_t done = 0;
            while (done < s.size) {
                const ptrdiff_t got = read(buf.data() + done, s.size - done, s.offset + done);
                if (got < 0) {
                    result.read_error = static_cast<int>(-got);
                    return result;
                }
                if (got == 0)
                    break;
                done += static_cast<size_t>(got);
            }
            // A sample without a duration (a short time table, no timescale)
            // gives all its entries the time of its first.
            const double seconds = i < track.durations.size() && track.timescale != 0
                                       ? static_cast<double>(track.durations[i]) / track.timescale
                                       : 0.0;
            if (!(gpmf ? metadata.sample({buf.data(), done}, seconds)
                       : text.sample({buf.data(), done}))) {
                result.stopped = true;
                return result;
            }
        }
        if (any)
            result.layouts |=
                layout_bit(gpmf ? TelemetryLayout::gopro_gpmf : TelemetryLayout::nmea_text_track);
    }
    return result;
}

}  // namespace camvault
