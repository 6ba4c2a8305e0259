// Fuzzes the telemetry script reader and what the library computes from its
// points: any bytes, whole or fed in pieces of fuzzer-chosen sizes, must read
// to the same contents; every point read must be finite with a clock time of
// years 0 to 9999; the summary, trips and the page's JSON of those points must
// neither crash nor produce non-finite numbers or invalid JSON.
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <nlohmann/json.hpp>
#include <string>
#include <string_view>
#include <vector>

#include "library/clip_summary.hpp"
#include "library/summary_json.hpp"
#include "library/trips.hpp"
#include "telemetry/civil_date.hpp"
#include "telemetry/script_reader.hpp"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace camvault;
    if (size < 1)
        return 0;
    const size_t piece = 1 + data[0];
    const std::string_view text(reinterpret_cast<const char*>(data + 1), size - 1);

    const ScriptContents whole = read_telemetry_script(text);
    ScriptReader reader;
    for (size_t at = 0; at < text.size(); at += piece)
        reader.feed(text.substr(at, piece));
    reader.finish();
    const ScriptContents& pieces = reader.contents();
    if (pieces.points != whole.points || pieces.cut != whole.cut ||
        pieces.clip_name != whole.clip_name || pieces.skipped_lines != whole.skipped_lines)
        std::abort();

    const int64_t earliest = days_from_civil(0, 1, 1) * 86400000;
    const int64_t latest = days_from_civil(10000, 1, 1) * 86400000;
    for (const TelemetryPoint& p : whole.points) {
        if (p.time_ms < earliest || p.time_ms >= latest)
            std::abort();
        for (const double v : {p.lat, p.lon, p.speed_kmh, p.heading, p.gx, p.gy, p.gz}) {
            if (!std::isfinite(v))
                std::abort();
        }
    }

    const bool axes_known = (data[0] & 1) != 0;
    const ClipSummary summary = summarize(whole.points, EventThresholds{}, axes_known);
    if (!std::isfinite(summary.distance_m) || summary.distance_m < 0 ||
        !std::isfinite(summary.mean_speed_kmh) || summary.duration_ms < 0)
        std::abort();
    // Event times follow the records, which may go back: only finiteness holds.
    for (const ClipEvent& e : summary.events) {
        if (!std::isfinite(e.peak_g) || !std::isfinite(e.speed_change_kmh))
            std::abort();
    }
    if (detect_events(whole.points, EventThresholds{}, axes_known) != summary.events)
        std::abort();

    std::vector<LibraryClip> clips(2);
    clips[0].movie_path = whole.clip_name;
    clips[0].summary = summary;
    clips[1].movie_path = "/card/" + whole.clip_name + "~";
    const std::vector<Trip> trips = group_trips(clips);
    const std::string json = library_summaries_json(clips, trips);
    if (!nlohmann::json::accept(json))
        std::abort();
    return 0;
}
