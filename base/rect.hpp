// A rectangle in whole pixels, origin top-left (X11's root window, images).
#pragma once

namespace camvault {

struct PixelRect {
    int x = 0;
    int y = 0;
    int width = 0;
    int height = 0;
    bool operator==(const PixelRect&) const = default;
};

}  // namespace camvault
