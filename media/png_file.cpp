// PNG encoding through GdkPixbuf, then a never-overwrite publish.
#include "media/png_file.hpp"

#include <gdk-pixbuf/gdk-pixbuf.h>

#include "base/fs/unique_names.hpp"
#include "media/gst_handles.hpp"

namespace camvault::media {

std::string RgbImage::description() const {
    if (empty())
        return "(null)";
    return "<image " + std::to_string(width) + "x" + std::to_string(height) + ">";
}

Result<std::string> save_png(const RgbImage& image, std::string_view dir, std::string_view stem) {
    if (image.empty() || (image.channels != 3 && image.channels != 4) ||
        image.stride < image.width * image.channels ||
        image.pixels.size() < static_cast<size_t>(image.stride) * image.height) {
        return fail("no picture to save");
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
        return fail("PNG encoding failed: " + error_text(error.get()));
    }
    GCharPtr bytes(buffer);
    return write_new_file(dir, stem, "png", std::string_view(bytes.get(), size));
}

}  // namespace camvault::media
