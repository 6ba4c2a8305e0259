// The map picture of an evidence pack, drawn with cairo.
#include "media/route_map.hpp"

#include <cairo.h>

#include <cmath>
#include <cstdio>
#include <numbers>

#include "base/fs/atomic_file.hpp"
#include "base/handle.hpp"

namespace camvault::media {

namespace {

using SurfacePtr = UniqueHandle<cairo_surface_t, cairo_surface_destroy>;
using CairoPtr = UniqueHandle<cairo_t, cairo_destroy>;

constexpr int kMargin = 48;

void set_colour(cairo_t* cr, unsigned rgb) {
    cairo_set_source_rgb(cr, (rgb >> 16 & 0xff) / 255.0, (rgb >> 8 & 0xff) / 255.0,
                         (rgb & 0xff) / 255.0);
}

void dot(cairo_t* cr, MapPixel at, double radius, unsigned fill) {
    cairo_arc(cr, at.x, at.y, radius, 0, 2 * std::numbers::pi);
    set_colour(cr, fill);
    cairo_fill_preserve(cr);
    set_colour(cr, 0xffffff);
    cairo_set_line_width(cr, 2);
    cairo_stroke(cr);
}

// A diamond with a ring around it: unlike the round start and end dots even
// where it lies on one of them.
void event_marker(cairo_t* cr, MapPixel at) {
    cairo_arc(cr, at.x, at.y, 15, 0, 2 * std::numbers::pi);
    set_colour(cr, 0xe8590c);
    cairo_set_line_width(cr, 3);
    cairo_stroke(cr);
    cairo_move_to(cr, at.x, at.y - 9);
    cairo_line_to(cr, at.x + 9, at.y);
    cairo_line_to(cr, at.x, at.y + 9);
    cairo_line_to(cr, at.x - 9, at.y);
    cairo_close_path(cr);
    cairo_fill(cr);
}

void scale_bar(cairo_t* cr, const MapProjection& projection, int height) {
    const double metres = scale_bar_metres(projection.metres_per_pixel() * 160);
    const double length = metres / projection.metres_per_pixel();
    const double x = 20, y = height - 24.5;
    set_colour(cr, 0x212529);
    cairo_set_line_width(cr, 2);
    cairo_move_to(cr, x, y - 6);
    cairo_line_to(cr, x, y);
    cairo_line_to(cr, x + length, y);
    cairo_line_to(cr, x + length, y - 6);
    cairo_stroke(cr);
    char label[32];
    if (metres >= 1000)
        std::snprintf(label, sizeof label, "%g km", metres / 1000);
    else
        std::snprintf(label, sizeof label, "%g m", metres);
    cairo_select_font_face(cr, "sans-serif", CAIRO_FONT_SLANT_NORMAL, CAIRO_FONT_WEIGHT_NORMAL);
    cairo_set_font_size(cr, 13);
    cairo_move_to(cr, x + length + 8, y + 4);
    cairo_show_text(cr, label);
}

void north_arrow(cairo_t* cr, int width) {
    const double x = width - 32, y = 24;
    set_colour(cr, 0x212529);
    cairo_move_to(cr, x, y);
    cairo_line_to(cr, x + 8, y + 22);
    cairo_line_to(cr, x, y + 17);
    cairo_line_to(cr, x - 8, y + 22);
    cairo_close_path(cr);
    cairo_fill(cr);
    cairo_select_font_face(cr, "sans-serif", CAIRO_FONT_SLANT_NORMAL, CAIRO_FONT_WEIGHT_BOLD);
    cairo_set_font_size(cr, 13);
    cairo_move_to(cr, x - 4.5, y + 38);
    cairo_show_text(cr, "N");
}

cairo_status_t append_png(void* closure, const unsigned char* data, unsigned int length) {
    static_cast<std::string*>(closure)->append(reinterpret_cast<const char*>(data), length);
    return CAIRO_STATUS_SUCCESS;
}

}  // namespace

Status write_route_map(const std::string& png_path, const RouteMapRequest& request) {
    if (request.route.empty())
        return fail("cannot draw a map of a route without a position");
    if (request.width < 64 || request.height < 64 || request.width > 8192 || request.height > 8192)
        return fail("a map picture is 64 to 8192 pixels wide and high");
    SurfacePtr surface(
        cairo_image_surface_create(CAIRO_FORMAT_RGB24, request.width, request.height));
    CairoPtr cr(cairo_create(surface.get()));
    cairo_t* c = cr.get();
    cairo_set_antialias(c, CAIRO_ANTIALIAS_BEST);
    set_colour(c, 0xf1efe9);
    cairo_paint(c);

    std::vector<GeoPoint> fitted = request.route;
    if (request.event)
        fitted.push_back(*request.event);
    const auto projection = MapProjection::fit(fitted, request.width, request.height, kMargin);

    // The route: a white casing under a blue line, legible on any print.
    for (const auto& [width, colour] : {std::pair{8.0, 0xffffffu}, std::pair{4.0, 0x1c64d8u}}) {
        for (size_t i = 0; i < request.route.size(); ++i) {
            const MapPixel p = projection(request.route[i]);
            i == 0 ? cairo_move_to(c, p.x, p.y) : cairo_line_to(c, p.x, p.y);
        }
        set_colour(c, colour);
        cairo_set_line_width(c, width);
        cairo_set_line_join(c, CAIRO_LINE_JOIN_ROUND);
        cairo_set_line_cap(c, CAIRO_LINE_CAP_ROUND);
        cairo_stroke(c);
    }
    dot(c, projection(request.route.front()), 7, 0x2b8a3e);
    dot(c, projection(request.route.back()), 7, 0xc92a2a);
    if (request.event)
        event_marker(c, projection(*request.event));
    scale_bar(c, projection, request.height);
    north_arrow(c, request.width);
    cairo_surface_flush(surface.get());

    std::string png;
    if (cairo_surface_write_to_png_stream(surface.get(), append_png, &png) != CAIRO_STATUS_SUCCESS)
        return fail("cannot encode the map picture " + png_path);
    return write_file_atomically(png_path, png);
}

}  // namespace camvault::media
