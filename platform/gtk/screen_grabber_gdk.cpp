// Root window area -> GdkPixbuf -> RgbImage (X11 only: other GDK backends
// cannot read the screen).
#include "platform/gtk/screen_grabber_gdk.hpp"

#include <gdk/gdk.h>
#include <gdk/gdkx.h>

#include <algorithm>
#include <cstring>

#include "base/glib/gobject_ptr.hpp"

namespace camvault::platform {

Result<media::RgbImage> GdkScreenGrabber::grab(const PixelRect& area) {
    GdkDisplay* display = gdk_display_get_default();
    if (!display || !GDK_IS_X11_DISPLAY(display)) {
        return fail("the screen can only be captured on X11");
    }
    GdkWindow* root = gdk_get_default_root_window();
    // Clip to the screen: outside it there is nothing to read.
    const int root_w = gdk_window_get_width(root);
    const int root_h = gdk_window_get_height(root);
    const int x0 = std::max(area.x, 0), y0 = std::max(area.y, 0);
    const int x1 = std::min(area.x + area.width, root_w);
    const int y1 = std::min(area.y + area.height, root_h);
    if (x1 <= x0 || y1 <= y0) {
        return fail("the window is not on the screen");
    }
    GObjectPtr<GdkPixbuf> owned(gdk_pixbuf_get_from_window(root, x0, y0, x1 - x0, y1 - y0));
    GdkPixbuf* pixbuf = owned.get();
    if (!pixbuf) {
        return fail("the screen could not be read");
    }
    media::RgbImage image;
    image.width = gdk_pixbuf_get_width(pixbuf);
    image.height = gdk_pixbuf_get_height(pixbuf);
    image.channels = gdk_pixbuf_get_n_channels(pixbuf);
    const int src_stride = gdk_pixbuf_get_rowstride(pixbuf);
    image.stride = image.width * image.channels;
    image.pixels.resize(static_cast<size_t>(image.stride) * image.height);
    const guint8* src = gdk_pixbuf_read_pixels(pixbuf);
    for (int row = 0; row < image.height; ++row)
        std::memcpy(image.pixels.data() + static_cast<size_t>(row) * image.stride,
                    src + static_cast<size_t>(row) * src_stride, image.stride);
    return image;
}

std::optional<PixelRect> GdkScreenGrabber::main_display() {
    GdkDisplay* display = gdk_display_get_default();
    if (!display || !GDK_IS_X11_DISPLAY(display) || gdk_display_get_n_monitors(display) < 2)
        return std::nullopt;
    GdkMonitor* monitor = gdk_display_get_primary_monitor(display);
    if (!monitor)
        monitor = gdk_display_get_monitor(display, 0);
    if (!monitor)
        return std::nullopt;
    GdkRectangle geometry;
    gdk_monitor_get_geometry(monitor, &geometry);
    // GDK gives application pixels; the root window counts device pixels.
    const int scale = gdk_monitor_get_scale_factor(monitor);
    return PixelRect{geometry.x * scale, geometry.y * scale, geometry.width * scale,
                     geometry.height * scale};
}

}  // namespace camvault::platform
