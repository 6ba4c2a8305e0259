// Writes a picture as a PNG file in a folder, under the first free name.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "media/image.hpp"

namespace camvault::media {

struct SavedFile {
    std::optional<std::string> path;  // set when the file was written
    std::string error;
};

// Encodes `image` as PNG with fast compression (snapshots are taken while
// the user waits) and publishes it as dir/stem.png, or dir/stem-2.png and so
// on when that name is taken. The file appears whole or not at all.
SavedFile save_png(const RgbImage& image, std::string_view dir, std::string_view stem);

}  // namespace camvault::media
