// PNG encoding through GdkPixbuf, then a never-overwrite publish.
#include "media/png_file.hpp"

#include <gdk-pixbuf/gdk-pixbuf.h>
#include <glib/gstdio.h>

#include "media/file_names.hpp"
#include "media/gst_handles.hpp"

namespace camvault::media {

std::string RgbImage::description() const {
    if (empty())
        return "(null)";
    return "<image " + std::to_string(width) + "x" + std::to_string(height) + ">";
}

SavedFile save_png(const RgbImage& image, std::string_view dir, std::string_view stem) {
    SavedFile saved;
    if (image.empty() || (image.channels != 3 && image.channels != 4) ||
        image.stride < image.width * image.channels ||
        image.pixels.size() < static_cast<size_t>(image.stride) * image.height) {
        saved.error = "no picture to save";
        return saved;
    }
    ObjectRef<GdkPixbuf> pixbuf(
        gdk_pixbuf_new_from_data(image.pixels.data(), GDK_COLORSPACE_RGB, image.channels == 4, 8,
                                 image.width, image.height, image.stride, nullptr, nullptr));
    gchar* buffer = nullptr;
    gsize size = 0;
    GError* raw_error = nullptr;
    char compression_key[] = "compression";
    char compression_fast[] = "1";
    char* keys[] = {compression_key, nullptr};
    char* values[] = {compression_fast, nullptr};
    if (!gdk_pixbuf_save_to_bufferv(pixbuf.get(), &buffer, &size, "png", keys, values,
                                    &raw_error)) {
        ErrorPtr error(raw_error);
        saved.error = "PNG encoding failed: " + error_text(error.get());
        return saved;
    }
    GCharPtr bytes(buffer);

    const std::string temp = temporary_path(dir, stem, "png");
    if (!g_file_set_contents(temp.c_str(), bytes.get(), static_cast<gssize>(size), &raw_error)) {
        ErrorPtr error(raw_error);
        saved.error = error_text(error.get());
        return saved;
    }
    ClaimResult claimed = publish_without_overwrite(temp, dir, stem, "png");
    if (!claimed.path) {
        g_unlink(temp.c_str());
        saved.error = claimed.error;
        return saved;
    }
    saved.path = std::move(claimed.path);
    return saved;
}

}  // namespace camvault::media
