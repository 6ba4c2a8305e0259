// Window geometry: the window keeps the 960:600 proportion within the screen's
// height, and offers a small and a large size. Pure functions of the frame and
// the screen height so they can be tested without a display.
#pragma once

#include <string>
#include <vector>

#include "base/rect.hpp"

namespace camvault {

// Origin at the bottom-left corner of the screen, y growing upward.
struct Frame {
    double x = 0, y = 0, width = 0, height = 0;
    bool operator==(const Frame&) const = default;
};

// 960/600 divided in single precision, then widened: 1.60000002384185791015625.
inline const double kProportion = static_cast<double>(960.0f / 600.0f);
inline constexpr double kScreenMargin = 50.0;
inline constexpr double kSmallHeight = 600.0;

// One geometry pass: width follows height; a window whose height plus the
// margin exceeds the screen loses 50 points of height (the width still follows
// the height before the reduction).
Frame resize_pass(const Frame& frame, double screen_height);

// "rr:%f,w:%f,h:%f,rh:%f"
std::string resize_log_line(const Frame& frame, double screen_height);

// Runs passes until a pass leaves the frame as it is, as the window system's
// nested resize notifications do. `log_lines` come innermost pass first.
struct SettledFrame {
    Frame frame;
    std::vector<std::string> log_lines;
};
SettledFrame settle_frame(const Frame& frame, double screen_height);

// The frames the mini and max commands request (before the pass that follows).
Frame mini_frame(const Frame& frame, double screen_height);
Frame max_frame(const Frame& frame, double screen_height);

// `frame` made no wider than `max_width`, the height following so that the
// proportion stays (a large size on a screen narrower than 960:600).
Frame fit_width(const Frame& frame, double max_width);

// X11 places windows from the top-left corner of the root window; frames count
// from the bottom-left corner of the window's monitor.
Frame frame_from_window(const PixelRect& window, const PixelRect& monitor);
// The window rectangle for `frame`, sizes rounded to whole pixels. A window is
// never placed above the monitor's usable area (`work_area`): X11 does not
// move it back below the panels as other systems do.
PixelRect window_from_frame(const Frame& frame, const PixelRect& monitor,
                            const PixelRect& work_area);

}  // namespace camvault
