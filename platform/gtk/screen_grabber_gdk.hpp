// Reads an area of the X screen through GDK's root window.
#pragma once

#include "media/desktop.hpp"

namespace camvault::platform {

class GdkScreenGrabber : public media::ScreenGrabber {
  public:
    Result<media::RgbImage> grab(const PixelRect& area) override;
    std::optional<PixelRect> main_display() override;
};

}  // namespace camvault::platform
