// Fuzzes every freeGPS layout decoder, the per-block dispatch, the moov's
// telemetry tracks, the NMEA text decoder and the GoPro GPMF decoder on arbitrary
// clip bytes: the dispatch over the segmented scan must give exactly what the
// walk over the clip in memory gives (records, fixes and layouts found), the
// moov's gps index and movie header are read from whatever atoms the bytes
// hold (the dispatch reads the header when INNOVV boxes need it), and every
// decoder is also run directly on the bytes as a box, both ways, so that no
// decoder depends on the signature checks to stay inside its bytes.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "telemetry/freegps_layouts.hpp"
#include "telemetry/gpmf.hpp"
#include "telemetry/gps_index.hpp"
#include "telemetry/layout_scan.hpp"
#include "telemetry/movie_tracks.hpp"
#include "telemetry/nmea_text.hpp"
#include "telemetry/track_telemetry.hpp"
#include "tests/support/layout_dispatch.hpp"

namespace {

using namespace camvault;

using camvault::testing::Decoded;

// NaN never equals itself, and a fix has padding bytes: compare each field,
// doubles by their bits.
bool same_bits(double a, double b) {
    return std::memcmp(&a, &b, sizeof a) == 0;
}

bool same_fixes(const std::vector<TelemetryFix>& a, const std::vector<TelemetryFix>& b) {
    if (a.size() != b.size())
        return false;
    for (size_t i = 0; i < a.size(); ++i) {
        const TelemetryFix& x = a[i];
        const TelemetryFix& y = b[i];
        if (x.year != y.year || x.month != y.month || x.day != y.day || x.hour != y.hour ||
            x.minute != y.minute || x.has_accel != y.has_accel || !same_bits(x.second, y.second) ||
            x.second_decimals != y.second_decimals || !same_bits(x.latitude, y.latitude) ||
            !same_bits(x.longitude, y.longitude) || !same_bits(x.speed_kmh, y.speed_kmh) ||
            !same_bits(x.track, y.track) || !same_bits(x.x, y.x) || !same_bits(x.y, y.y) ||
            !same_bits(x.z, y.z))
            return false;
    }
    return true;
}

Decoded dispatch(const std::vector<uint8_t>& clip, const SegmentedScanOptions* options) {
    auto decoded = camvault::testing::dispatch_layouts(clip, options);
    if (!decoded)
        std::abort();
    return *decoded;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 2)
        return 0;
    SegmentedScanOptions options;
    options.segment_size = 1 + data[0] * 37;
    options.piece_size = 1 + data[1] * 3;
    options.workers = 0;  // deterministic: the threaded path has its own tests
    // An exact-size heap copy: any read past the clip's end is caught.
    const std::vector<uint8_t> clip(data + 2, data + size);

    const Decoded memory = dispatch(clip, nullptr);
    const Decoded segmented = dispatch(clip, &options);
    if (memory.records != segmented.records || !same_fixes(memory.fixes, segmented.fixes) ||
        memory.layouts != segmented.layouts)
        std::abort();

    // Every decoder on the bytes as a box, with the length the bytes claim
    // and with their true length.
    const uint64_t claimed = clip.size() >= 4 ? uint64_t{clip[0]} << 24 | uint64_t{clip[1]} << 16 |
                                                    uint64_t{clip[2]} << 8 | clip[3]
                                              : 0;
    for (unsigned l = 0; l < static_cast<unsigned>(TelemetryLayout::count); ++l) {
        const auto layout = static_cast<TelemetryLayout>(l);
        for (BoxWay way : {BoxWay::indexed, BoxWay::scanned}) {
            for (uint64_t length : {claimed, uint64_t{clip.size()}}) {
                FreeGpsState state;
                // A movie time, so that the layout timed by the movie decodes too.
                state.movie_created = static_cast<int64_t>(claimed) - kQuickTimeEpochOffset;
                const size_t n =
                    std::min<size_t>(clip.size(), freegps_bytes_needed(layout, length));
                const std::vector<uint8_t> box(clip.begin(),
                                               clip.begin() + static_cast<ptrdiff_t>(n));
                decode_freegps(
                    layout, box, length, state, [](const TelemetryFix&) { return true; }, way);
                identify_freegps(box, way, length);
            }
        }
    }
    // The bytes as a moov, as a file whose tracks are read, and as text and
    // GPMF samples (one lasting a second, one with no duration, as a sample
    // table short of durations gives).
    timed_text_tracks_of_moov(clip.data(), clip.size());
    decode_track_telemetry(camvault::testing::memory_reader(clip), clip.size(),
                           [](const TelemetryFix&) { return true; });
    NmeaTextDecoder text([](const TelemetryFix&) { return true; });
    text.sample(clip);
    GpmfDecoder gpmf([](const TelemetryFix&) { return true; });
    gpmf.sample(clip, 1.0);
    gpmf.sample(clip, 0.0);
    return 0;
}
