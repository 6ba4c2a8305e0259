// Caption strip drawn with cairo's text API (one font, left-aligned lines).
#include "media/caption_strip.hpp"

#include <cairo.h>

#include <algorithm>
#include <memory>

namespace camvault::media {
namespace {

struct SurfaceDeleter {
    void operator()(cairo_surface_t* s) const { cairo_surface_destroy(s); }
};
struct ContextDeleter {
    void operator()(cairo_t* c) const { cairo_destroy(c); }
};

constexpr const char* kFont = "DejaVu Sans";

// The size at which the widest line fits `room` pixels, no bigger than
// `wanted` (a narrow clip gets smaller text rather than lines cut off).
double fitted_font_size(const std::vector<std::string>& lines, double wanted, double room) {
    std::unique_ptr<cairo_surface_t, SurfaceDeleter> scratch(
        cairo_image_surface_create(CAIRO_FORMAT_RGB24, 1, 1));
    std::unique_ptr<cairo_t, ContextDeleter> cr(cairo_create(scratch.get()));
    cairo_select_font_face(cr.get(), kFont, CAIRO_FONT_SLANT_NORMAL, CAIRO_FONT_WEIGHT_NORMAL);
    cairo_set_font_size(cr.get(), wanted);
    double widest = 0;
    for (const auto& line : lines) {
        cairo_text_extents_t extents{};
        cairo_text_extents(cr.get(), line.c_str(), &extents);
        widest = std::max(widest, extents.x_advance);
    }
    if (widest <= room || widest <= 0)
        return wanted;
    return std::max(6.0, wanted * room / widest);
}

}  // namespace

RgbImage with_caption_strip(const RgbImage& image, const std::vector<std::string>& lines) {
    if (lines.empty() || image.empty() || (image.channels != 3 && image.channels != 4))
        return image;
    double font_px = std::clamp(image.width / 60.0, 12.0, 40.0);
    font_px = fitted_font_size(lines, font_px, image.width - 1.2 * font_px);
    const double line_px = font_px * 1.35;
    const int strip = static_cast<int>(line_px * lines.size() + font_px);
    const int height = image.height + strip;
    std::unique_ptr<cairo_surface_t, SurfaceDeleter> surface(
        cairo_image_surface_create(CAIRO_FORMAT_RGB24, image.width, height));
    if (cairo_surface_status(surface.get()) != CAIRO_STATUS_SUCCESS)
        return image;
    cairo_surface_flush(surface.get());
    unsigned char* data = cairo_image_surface_get_data(surface.get());
    const int stride = cairo_image_surface_get_stride(surface.get());
    // The footage as it is: copied pixel for pixel into the top of the surface.
    for (int y = 0; y < image.height; ++y) {
        const uint8_t* in = image.pixels.data() + static_cast<size_t>(y) * image.stride;
        auto* out = reinterpret_cast<uint32_t*>(data + static_cast<size_t>(y) * stride);
        for (int x = 0; x < image.width; ++x) {
            const uint8_t* p = in + x * image.channels;
            out[x] = (uint32_t{p[0]} << 16) | (uint32_t{p[1]} << 8) | p[2];
        }
    }
    cairo_surface_mark_dirty(surface.get());
    std::unique_ptr<cairo_t, ContextDeleter> cr(cairo_create(surface.get()));
    cairo_set_source_rgb(cr.get(), 0.08, 0.08, 0.08);
    cairo_rectangle(cr.get(), 0, image.height, image.width, strip);
    cairo_fill(cr.get());
    cairo_select_font_face(cr.get(), kFont, CAIRO_FONT_SLANT_NORMAL, CAIRO_FONT_WEIGHT_NORMAL);
    cairo_set_font_size(cr.get(), font_px);
    cairo_set_source_rgb(cr.get(), 1, 1, 1);
    for (size_t i = 0; i < lines.size(); ++i) {
        cairo_move_to(cr.get(), font_px * 0.6, image.height + font_px * 0.5 + line_px * (i + 0.8));
        cairo_show_text(cr.get(), lines[i].c_str());
    }
    cairo_surface_flush(surface.get());

    RgbImage out;
    out.width = image.width;
    out.height = height;
    out.channels = 3;
    out.stride = image.width * 3;
    out.pixels.resize(static_cast<size_t>(out.stride) * height);
    for (int y = 0; y < height; ++y) {
        const auto* in = reinterpret_cast<const uint32_t*>(data + static_cast<size_t>(y) * stride);
        uint8_t* row = out.pixels.data() + static_cast<size_t>(y) * out.stride;
        for (int x = 0; x < image.width; ++x) {
            row[x * 3] = static_cast<uint8_t>(in[x] >> 16);
            row[x * 3 + 1] = static_cast<uint8_t>(in[x] >> 8);
            row[x * 3 + 2] = static_cast<uint8_t>(in[x]);
        }
    }
    return out;
}

}  // namespace camvault::media
