// Finding clips: by when they were recorded, by a place they passed, by the
// events they hold. Pure over summaries; the points of a route are asked for
// only when a clip's bounding box cannot rule the place out.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <vector>

#include "library/clip_summary.hpp"

namespace camvault {

struct PlaceFilter {
    double lat = 0;  // degrees
    double lon = 0;
    double radius_m = 0;  // metres
};

// Every filter that is set must hold (and); an empty filter keeps every clip.
struct SearchFilter {
    // The clip's records overlap [from_ms, to_ms] (both ends included; clock
    // time as recorded, ms since 1970). Either end may be open.
    std::optional<int64_t> from_ms;
    std::optional<int64_t> to_ms;
    // Some record of the route lies within radius_m of the place.
    std::optional<PlaceFilter> place;
    // The clip holds an event of one of these kinds (event_bit); 0: any clip.
    uint32_t event_kinds = 0;
};

constexpr uint32_t event_bit(EventKind kind) {
    return uint32_t{1} << static_cast<unsigned>(kind);
}

// The points of clip `index` (its telemetry read again), or nothing when they
// cannot be had: then the bounding box alone decides, which may keep a clip
// whose route only passes near the place.
using RoutePoints = std::function<std::optional<std::vector<TelemetryPoint>>(size_t index)>;

// False only when the place is certainly farther than its radius from every
// point of `box` (a cheap test: no trigonometry per record).
bool box_may_reach(const GeoBox& box, const PlaceFilter& place);

// Whether the clip passes the filter. `points`, when given, are the clip's
// records for the place filter; null: decided by the bounding box.
bool matches(const ClipSummary& summary, const SearchFilter& filter,
             const std::vector<TelemetryPoint>* points = nullptr);

// The indices of the summaries that pass, in their order. `points` is asked
// only for clips whose box may reach the place.
std::vector<size_t> search(std::span<const ClipSummary> summaries, const SearchFilter& filter,
                           const RoutePoints& points = {});

}  // namespace camvault
