// Telemetry in the movie's own tracks, found through its sample tables.
#include "telemetry/track_telemetry.hpp"

#include <vector>

#include "telemetry/movie_tracks.hpp"
#include "telemetry/nmea_text.hpp"

namespace camvault {

TrackTelemetryResult decode_track_telemetry(const PositionalReader& read, uint64_t size,
                                            const FixSink& sink) {
    TrackTelemetryResult result;
    std::vector<uint8_t> buf;
    for (const TimedTextTrack& track : read_timed_text_tracks(read, size)) {
        bool any = false;
        NmeaTextDecoder decoder([&](const TelemetryFix& fix) {
            any = true;
            return sink(fix);
        });
        for (const SampleSpan& s : track.samples) {
            if (s.size > kMaxTextSample || s.offset > size || size - s.offset < s.size)
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
            if (!decoder.sample({buf.data(), done})) {
                result.stopped = true;
                return result;
            }
        }
        if (any)
            result.layouts |= layout_bit(TelemetryLayout::nmea_text_track);
    }
    return result;
}

}  // namespace camvault
