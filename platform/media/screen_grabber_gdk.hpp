// Reads an area of the X screen through GDK's root window.
#pragma once

#include "media/desktop.hpp"

namespace camvault::platform {

class GdkScreenGrabber : public media::ScreenGrabber {
  public:
    media::GrabResult grab(const media::ScreenRect& area) override;
    std::optional<media::ScreenRect> main_display() override;
};

}  // namespace camvault::platform
