// A still picture in memory, as the frame grabber and the screen grabber
// hand it over: 8-bit RGB or RGBA rows.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace camvault::media {

struct RgbImage {
    int width = 0;
    int height = 0;
    int channels = 3;  // 3 (RGB) or 4 (RGBA)
    int stride = 0;    // bytes per row
    std::vector<uint8_t> pixels;

    bool empty() const { return width <= 0 || height <= 0 || pixels.empty(); }
    // How the log line shows the picture, e.g. "<image 1920x1080>".
    std::string description() const;
};

}  // namespace camvault::media
