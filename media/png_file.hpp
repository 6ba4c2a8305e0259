// Writes a picture as a PNG file in a folder, under the first free name.
#pragma once

#include <string>
#include <string_view>

#include "base/result.hpp"
#include "media/image.hpp"
#include "media/snapshot_stamp.hpp"

namespace camvault::media {

// Encodes `image` as PNG with fast compression (snapshots are taken while
// the user waits) and publishes it as dir/stem.png, or dir/stem-2.png and so
// on when that name is taken. The file appears whole or not at all; the
// result is its path. `text` goes into the file as text chunks (keywords
// that PNG cannot hold are left out).
Result<std::string> save_png(const RgbImage& image, std::string_view dir, std::string_view stem,
                             const PngText& text = {});

}  // namespace camvault::media
