// A caption strip under a still: the facts of the frame written in plain
// lines below the picture, so that no pixel of the footage is covered.
#pragma once

#include <string>
#include <vector>

#include "media/image.hpp"

namespace camvault::media {

// `image` with a dark strip added below it holding `lines` (UTF-8) in white;
// the image as it is when there are no lines. Text size follows the width.
RgbImage with_caption_strip(const RgbImage& image, const std::vector<std::string>& lines);

}  // namespace camvault::media
