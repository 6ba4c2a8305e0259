// Window geometry.
#include "app/geometry.hpp"

#include "base/numbers.hpp"

#include <algorithm>
#include <cmath>

namespace camvault {

Frame resize_pass(const Frame& frame, double screen_height) {
    Frame next = frame;
    next.width = frame.height * kProportion;
    if (frame.height + kScreenMargin > screen_height) {
        next.height = frame.height - kScreenMargin;
    }
    return next;
}

std::string resize_log_line(const Frame& frame, double screen_height) {
    return "rr:" + fixed_decimals(kProportion, 6) + ",w:" + fixed_decimals(frame.width, 6) +
           ",h:" + fixed_decimals(frame.height, 6) + ",rh:" + fixed_decimals(screen_height, 6);
}

SettledFrame settle_frame(const Frame& frame, double screen_height) {
    // Each pass that changes the frame triggers the next one inside its own
    // setFrame, so every pass reads the frame after all inner passes have run:
    // all log lines show the final frame.
    size_t passes = 0;
    Frame current = frame;
    while (true) {
        const Frame next = resize_pass(current, screen_height);
        ++passes;
        const bool changed = !(next == current);
        current = next;
        if (!changed || current.height <= 0)
            break;
    }
    return {current, std::vector<std::string>(passes, resize_log_line(current, screen_height))};
}

Frame mini_frame(const Frame& frame, double screen_height) {
    return {0.0, screen_height, frame.width, kSmallHeight};
}

Frame max_frame(const Frame& frame, double screen_height) {
    return {0.0, 0.0, frame.width, screen_height - kScreenMargin};
}

Frame fit_width(const Frame& frame, double max_width) {
    if (frame.width <= max_width || max_width <= 0)
        return frame;
    Frame fitted = frame;
    fitted.width = max_width;
    fitted.height = max_width / kProportion;
    return fitted;
}

Frame frame_from_window(const PixelRect& window, const PixelRect& monitor) {
    return {static_cast<double>(window.x - monitor.x),
            static_cast<double>(monitor.height - (window.y - monitor.y) - window.height),
            static_cast<double>(window.width), static_cast<double>(window.height)};
}

PixelRect window_from_frame(const Frame& frame, const PixelRect& monitor,
                            const PixelRect& work_area) {
    const double usable_top = work_area.y - monitor.y;
    const double top = std::max(monitor.height - frame.y - frame.height, usable_top);
    return {monitor.x + static_cast<int>(std::lround(frame.x)),
            monitor.y + static_cast<int>(std::lround(top)),
            static_cast<int>(std::lround(frame.width)),
            static_cast<int>(std::lround(frame.height))};
}

}  // namespace camvault
