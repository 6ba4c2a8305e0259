// Web-Mercator projection of a route fitted into a picture.
#include "media/route_map_plan.hpp"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace camvault::media {

namespace {

constexpr double kLatitudeLimit = 85.05112878;
constexpr double kEarthCircumference = 40'075'016.686;  // metres at the equator
constexpr double kShortestShownMetres = 100;

}  // namespace

MapPixel web_mercator(GeoPoint p) {
    const double lat = std::clamp(p.latitude, -kLatitudeLimit, kLatitudeLimit);
    const double phi = lat * std::numbers::pi / 180;
    return {(p.longitude + 180) / 360,
            (1 - std::log(std::tan(phi) + 1 / std::cos(phi)) / std::numbers::pi) / 2};
}

MapProjection MapProjection::fit(std::span<const GeoPoint> points, int width, int height,
                                 int margin) {
    MapProjection m;
    m.width_ = width;
    m.height_ = height;
    if (points.empty())
        return m;
    double min_x = 1, max_x = 0, min_y = 1, max_y = 0, min_lat = 90, max_lat = -90;
    for (const auto& p : points) {
        const MapPixel w = web_mercator(p);
        min_x = std::min(min_x, w.x);
        max_x = std::max(max_x, w.x);
        min_y = std::min(min_y, w.y);
        max_y = std::max(max_y, w.y);
        min_lat = std::min(min_lat, p.latitude);
        max_lat = std::max(max_lat, p.latitude);
    }
    m.centre_x_ = (min_x + max_x) / 2;
    m.centre_y_ = (min_y + max_y) / 2;
    const double mid_lat = std::clamp((min_lat + max_lat) / 2, -kLatitudeLimit, kLatitudeLimit);
    // World units per metre grow towards the poles by 1 / cos(latitude).
    const double metres_per_unit = kEarthCircumference * std::cos(mid_lat * std::numbers::pi / 180);
    const double shortest = kShortestShownMetres / metres_per_unit;
    const double span_x = std::max(max_x - min_x, shortest);
    const double span_y = std::max(max_y - min_y, shortest);
    const double room_x = std::max(1, width - 2 * margin);
    const double room_y = std::max(1, height - 2 * margin);
    m.scale_ = std::min(room_x / span_x, room_y / span_y);
    m.metres_per_pixel_ = metres_per_unit / m.scale_;
    return m;
}

MapPixel MapProjection::operator()(GeoPoint point) const {
    const MapPixel w = web_mercator(point);
    return {width_ / 2 + (w.x - centre_x_) * scale_, height_ / 2 + (w.y - centre_y_) * scale_};
}

double scale_bar_metres(double longest) {
    if (!(longest > 1))
        return 1;
    const double power = std::pow(10.0, std::floor(std::log10(longest)));
    for (const double step : {5.0, 2.0, 1.0})
        if (step * power <= longest)
            return step * power;
    return power;
}

}  // namespace camvault::media
