// One decoded frame of a movie at a given time, turned upright.
#pragma once

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>

#include "base/result.hpp"
#include "media/image.hpp"

namespace camvault::media {

// The frame shown at `position_ns` of the movie at `uri` (an accurate seek,
// not the nearest key frame), turned as the movie's orientation tag says,
// as RGB. Blocks the calling thread; never longer than `limit`. Missing
// files, non-movies and positions outside the movie answer at once.
Result<RgbImage> grab_frame(const std::string& uri, int64_t position_ns,
                            std::chrono::milliseconds limit = std::chrono::seconds(10));

}  // namespace camvault::media
