// PNG encoding through GdkPixbuf, then a never-overwrite publish.
#include "media/png_file.hpp"

#include <gdk-pixbuf/gdk-pixbuf.h>

#include <vector>

#include "base/fs/unique_names.hpp"
#include "media/gst_handles.hpp"

namespace camvault::media {

std::string RgbImage::description() const {
    if (empty())
        return "(null)";
    return "<image " + std::to_string(width) + "x" + std::to_string(height) + ">";
}

namespace {

// PNG keywords: 1 to 79 printable Latin-1 characters, no leading, trailing or
// double spaces. Ours are ASCII.
bool valid_keyword(const std::string& key) {
    if (key.empty() || key.size() > 79 || key.front() == ' ' || key.back() == ' ' ||
        key.find("  ") != std::string::npos)
        return false;
    for (unsigned char c : key)
        if (c < 32 || c > 126)
            return false;
    return true;
}

}  // namespace

Result<std::string> save_png(const RgbImage& image, std::string_view dir, std::string_view stem,
                             const PngText& text) {
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
    // GdkPixbuf writes "tEXt::<keyword>" options as text chunks (iTXt for
    // text beyond Latin-1).
    std::vector<std::string> option_keys{"compression"};
    std::vector<std::string> option_values{"1"};
    for (const auto& [key, value] : text) {
        if (!valid_keyword(key) || value.find('\0') != std::string::npos)
            continue;
        option_keys.push_back("tEXt::" + key);
        option_values.push_back(value);
    }
    std::vector<char*> keys;
    std::vector<char*> values;
    for (size_t i = 0; i < option_keys.size(); ++i) {
        keys.push_back(option_keys[i].data());
        values.push_back(option_values[i].data());
    }
    keys.push_back(nullptr);
    values.push_back(nullptr);
    if (!gdk_pixbuf_save_to_bufferv(pixbuf.get(), &buffer, &size, "png", keys.data(), values.data(),
                                    &raw_error)) {
        ErrorPtr error(raw_error);
        return fail("PNG encoding failed: " + error_text(error.get()));
    }
    GCharPtr bytes(buffer);
    return write_new_file(dir, stem, "png", std::string_view(bytes.get(), size));
}

}  // namespace camvault::media
