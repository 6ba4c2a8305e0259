// The display and desktop services the media tools need, as narrow
// interfaces: platform/media implements them for X11 and the freedesktop
// file manager; tests put fakes in their place.
#pragma once

#include <functional>
#include <optional>
#include <string>

#include "base/rect.hpp"
#include "base/result.hpp"
#include "media/image.hpp"

namespace camvault::media {

// Reads what the screen shows in an area. Main thread only.
class ScreenGrabber {
  public:
    virtual ~ScreenGrabber() = default;
    virtual Result<RgbImage> grab(const PixelRect& area) = 0;
    // The main display's area of the root window, where it is one of several
    // monitors; nullopt for the whole screen.
    virtual std::optional<PixelRect> main_display() { return std::nullopt; }
};

// Reports mouse button presses anywhere on the screen, in root-window pixels,
// between start and stop. The callback may run on a thread of the watcher's own.
class ClickWatcher {
  public:
    using OnClick = std::function<void(int x, int y)>;
    virtual ~ClickWatcher() = default;
    // False with a reason when clicks cannot be watched (recording goes on without rings).
    virtual bool start(OnClick on_click, std::string& error) = 0;
    virtual void stop() = 0;
};

// Shows a folder in the desktop's file manager. Main thread only.
class FolderOpener {
  public:
    virtual ~FolderOpener() = default;
    virtual void show_folder(const std::string& path) = 0;
};

}  // namespace camvault::media
