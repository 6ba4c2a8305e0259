// Finding clips by time, place and events.
#include "library/search.hpp"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace camvault {

namespace {

constexpr double kRadToDeg = 180.0 / std::numbers::pi;

// An angle in degrees brought into [0, 360).
double wrap360(double degrees) {
    const double r = std::fmod(degrees, 360.0);
    return r < 0 ? r + 360.0 : r;
}

// Degrees of longitude from `lon` to the span [west, east] the short way
// round: 0 inside it. The span may cross the antimeridian only as a box that
// was given so (west > east); a route's box never does.
double longitude_gap(double lon, double west, double east) {
    const double width = wrap360(east - west);
    if (wrap360(lon - west) <= width)
        return 0;
    return std::min(wrap360(west - lon), wrap360(lon - east));
}

bool in_time(const ClipSummary& s, const SearchFilter& f) {
    if (!f.from_ms && !f.to_ms)
        return true;
    if (s.records == 0)
        return false;
    const int64_t first = std::min(s.first_ms, s.last_ms);
    const int64_t last = std::max(s.first_ms, s.last_ms);
    return (!f.to_ms || first <= *f.to_ms) && (!f.from_ms || last >= *f.from_ms);
}

bool has_event(const ClipSummary& s, const SearchFilter& f) {
    if (f.event_kinds == 0)
        return true;
    return std::any_of(s.events.begin(), s.events.end(), [&](const ClipEvent& e) {
        return (f.event_kinds & event_bit(e.kind)) != 0;
    });
}

bool route_reaches(const std::vector<TelemetryPoint>& points, const PlaceFilter& place) {
    return std::any_of(points.begin(), points.end(), [&](const TelemetryPoint& p) {
        return has_fix(p) && haversine_m(place.lat, place.lon, p.lat, p.lon) <= place.radius_m;
    });
}

}  // namespace

bool box_may_reach(const GeoBox& box, const PlaceFilter& place) {
    if (!(place.radius_m >= 0))
        return false;
    // Any two points d apart differ in latitude by at most d (along a meridian)...
    const double reach = place.radius_m / kEarthRadiusM;  // radians
    const double reach_deg = reach * kRadToDeg;
    if (place.lat < box.min_lat - reach_deg || place.lat > box.max_lat + reach_deg)
        return false;
    // ...and, by the haversine formula, sin(d/2) >= cos(lat_max) sin(dlon/2),
    // lat_max being the larger absolute latitude of the two.
    const double lat_max = std::min(
        90.0, std::max({std::fabs(place.lat), std::fabs(box.min_lat), std::fabs(box.max_lat)}) +
                  reach_deg);
    const double cos_lat = std::cos(lat_max / kRadToDeg);
    const double sine = std::sin(std::min(reach, std::numbers::pi) / 2);
    if (cos_lat <= 0 || sine >= cos_lat)
        return true;  // near a pole, or a radius wider than the parallel: no bound
    const double dlon_deg = 2 * std::asin(sine / cos_lat) * kRadToDeg;
    return longitude_gap(place.lon, box.min_lon, box.max_lon) <= dlon_deg;
}

bool matches(const ClipSummary& summary, const SearchFilter& filter,
             const std::vector<TelemetryPoint>* points) {
    if (!in_time(summary, filter) || !has_event(summary, filter))
        return false;
    if (!filter.place)
        return true;
    if (!summary.has_position || !box_may_reach(summary.bounds, *filter.place))
        return false;
    return points == nullptr || route_reaches(*points, *filter.place);
}

std::vector<size_t> search(std::span<const ClipSummary> summaries, const SearchFilter& filter,
                           const RoutePoints& points) {
    std::vector<size_t> found;
    for (size_t i = 0; i < summaries.size(); ++i) {
        const ClipSummary& s = summaries[i];
        // Everything that needs no points first, so that points are read only
        // for clips that pass the rest.
        if (!matches(s, filter, nullptr))
            continue;
        if (filter.place && points) {
            const std::optional<std::vector<TelemetryPoint>> route = points(i);
            if (route && !route_reaches(*route, *filter.place))
                continue;
        }
        found.push_back(i);
    }
    return found;
}

}  // namespace camvault
