// The arithmetic of the map picture of an evidence pack: Web-Mercator
// projection of a route fitted into a picture with a margin, and a round
// length for its scale bar. Pure.
#pragma once

#include <span>

namespace camvault::media {

struct GeoPoint {
    double latitude = 0;   // degrees, south negative
    double longitude = 0;  // degrees, west negative
};

struct MapPixel {
    double x = 0;
    double y = 0;
};

// Web-Mercator world coordinates: x from 0 (180 W) to 1 (180 E), y from 0
// (85.05 N) to 1 (85.05 S); latitudes beyond are held at the edge.
MapPixel web_mercator(GeoPoint point);

class MapProjection {
  public:
    // The largest scale, equal on both axes, that puts every point at least
    // `margin` pixels inside a `width` x `height` picture, the route centred.
    // A route shorter than about 100 m (or a single point) is shown as if it
    // were that long, so that a standing car is not blown up to the picture.
    static MapProjection fit(std::span<const GeoPoint> points, int width, int height, int margin);

    MapPixel operator()(GeoPoint point) const;
    // Ground metres one pixel spans at the route's middle latitude.
    double metres_per_pixel() const { return metres_per_pixel_; }

  private:
    double scale_ = 1;  // pixels per world unit
    double centre_x_ = 0.5, centre_y_ = 0.5;
    double width_ = 0, height_ = 0;
    double metres_per_pixel_ = 0;
};

// The longest of 1, 2 and 5 times a power of ten metres that is at most
// `longest` metres (at least 1).
double scale_bar_metres(double longest);

}  // namespace camvault::media
