// The library's summaries as JSON for the page.
#include "library/summary_json.hpp"

#include <cmath>
#include <nlohmann/json.hpp>

namespace camvault {

namespace {

using nlohmann::json;

// Rounded to `decimals` places so that the shortest text that reads back is
// short: 51.5074005, not 51.507400500000003. Not finite: null.
json rounded(double value, int decimals) {
    if (!std::isfinite(value))
        return nullptr;
    const double scale = std::pow(10.0, decimals);
    const double r = std::round(value * scale) / scale;
    return r == 0 ? 0.0 : r;  // no "-0.0"
}

json position(double lat, double lon) {
    return json::array({rounded(lat, 7), rounded(lon, 7)});
}

json event_json(const ClipEvent& e) {
    return {
        {"kind", event_kind_name(e.kind)},
        {"basis", event_basis_name(e.basis)},
        {"start_ms", e.start_ms},
        {"peak_ms", e.peak_ms},
        {"end_ms", e.end_ms},
        {"peak_g", rounded(e.peak_g, 2)},
        {"speed_change_kmh", rounded(e.speed_change_kmh, 1)},
        {"at", e.has_position ? position(e.lat, e.lon) : json(nullptr)},
    };
}

json clip_json(const LibraryClip& clip, const json& trip) {
    json out = {
        {"movie", clip.movie_path},
        {"telemetry", clip.telemetry_path.empty() ? json(nullptr) : json(clip.telemetry_path)},
        {"key", clip.key.empty() ? json(nullptr) : json(clip.key)},
        {"present", clip.present},
        // When the movie was last written: the only date a clip without GPS has.
        {"mtime_ms", clip.mtime_ms > 0 ? json(clip.mtime_ms) : json(nullptr)},
        {"layout", clip.layout.empty() ? json(nullptr) : json(clip.layout)},
        {"cut", clip.telemetry_cut},
        // null: not known yet (the clip's telemetry was never summarised).
        {"has_telemetry", clip.summary ? json(clip.timed()) : json(nullptr)},
        {"trip", trip},
    };
    if (!clip.timed()) {
        // Known facts only: without records nothing of the rest is known.
        for (const char* key :
             {"start_ms", "end_ms", "duration_ms", "records", "distance_m", "max_speed_kmh",
              "mean_speed_kmh", "route", "axes_known", "has_gsensor", "gsensor_flat"})
            out[key] = nullptr;
        out["events"] = json::array();
        return out;
    }
    const ClipSummary& s = *clip.summary;
    out["start_ms"] = s.first_ms;
    out["end_ms"] = s.last_ms;
    out["duration_ms"] = s.duration_ms;
    out["records"] = s.records;
    out["distance_m"] = std::isfinite(s.distance_m) ? std::llround(s.distance_m) : 0;
    out["max_speed_kmh"] = rounded(s.max_speed_kmh, 1);
    out["mean_speed_kmh"] = rounded(s.mean_speed_kmh, 1);
    if (s.has_position) {
        out["route"] = {
            {"south", rounded(s.bounds.min_lat, 7)},       {"west", rounded(s.bounds.min_lon, 7)},
            {"north", rounded(s.bounds.max_lat, 7)},       {"east", rounded(s.bounds.max_lon, 7)},
            {"start", position(s.start_lat, s.start_lon)}, {"end", position(s.end_lat, s.end_lon)},
        };
    } else {
        out["route"] = nullptr;
    }
    out["axes_known"] = s.axes_known;
    out["has_gsensor"] = s.has_gsensor;
    out["gsensor_flat"] = s.gsensor_flat;
    json events = json::array();
    for (const ClipEvent& e : s.events)
        events.push_back(event_json(e));
    out["events"] = std::move(events);
    return out;
}

json trip_json(const Trip& trip, size_t clip_count) {
    json clips = json::array();
    for (const size_t i : trip.clips) {
        if (i < clip_count)
            clips.push_back(i);
    }
    if (!trip.timed) {
        return {{"timed", false},        {"start_ms", nullptr},
                {"end_ms", nullptr},     {"duration_ms", nullptr},
                {"distance_m", nullptr}, {"max_speed_kmh", nullptr},
                {"events", 0},           {"clips", std::move(clips)}};
    }
    return {
        {"timed", true},
        {"start_ms", trip.start_ms},
        {"end_ms", trip.end_ms},
        {"duration_ms", trip.duration_ms},
        {"distance_m", std::isfinite(trip.distance_m) ? std::llround(trip.distance_m) : 0},
        {"max_speed_kmh", rounded(trip.max_speed_kmh, 1)},
        {"events", trip.event_count},
        {"clips", std::move(clips)},
    };
}

}  // namespace

std::string library_summaries_json(std::span<const LibraryClip> clips,
                                   std::span<const Trip> trips) {
    std::vector<json> trip_of(clips.size(), nullptr);
    json trip_list = json::array();
    for (size_t t = 0; t < trips.size(); ++t) {
        for (const size_t i : trips[t].clips) {
            if (i < clips.size() && trip_of[i].is_null())
                trip_of[i] = t;
        }
        trip_list.push_back(trip_json(trips[t], clips.size()));
    }
    json clip_list = json::array();
    for (size_t i = 0; i < clips.size(); ++i)
        clip_list.push_back(clip_json(clips[i], trip_of[i]));
    const json doc = {
        {"version", 1}, {"clips", std::move(clip_list)}, {"trips", std::move(trip_list)}};
    return doc.dump(-1, ' ', true, json::error_handler_t::replace);
}

}  // namespace camvault
