// The map picture of an evidence pack: the route of the exported stretch
// drawn with cairo on a plain background (no tiles, no network), start and
// end as dots, the moment of the event as a marker of its own, a scale bar
// and a north arrow.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "base/result.hpp"
#include "media/route_map_plan.hpp"

namespace camvault::media {

struct RouteMapRequest {
    std::vector<GeoPoint> route;    // in driving order
    std::optional<GeoPoint> event;  // where the event happened
    int width = 800;
    int height = 600;
};

// Draws the map and writes it as a PNG file at `png_path` (whole or not at
// all). Fails for a route without a point or a picture under 64 x 64 pixels.
Status write_route_map(const std::string& png_path, const RouteMapRequest& request);

}  // namespace camvault::media
