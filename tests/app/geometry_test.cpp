// The window keeps 960:600 within the screen's height.
#include "app/geometry.hpp"

#include <gtest/gtest.h>

#include <cmath>

#include "tests/support/decimal_comma_locale.hpp"

namespace camvault {
namespace {

TEST(Geometry, WidthFollowsHeight) {
    const Frame settled = settle_frame({10, 20, 500, 600}, 900).frame;
    EXPECT_EQ(settled.height, 600);
    EXPECT_DOUBLE_EQ(settled.width, 960.0000143051147);
    EXPECT_EQ(settled.x, 10);
    EXPECT_EQ(settled.y, 20);
    EXPECT_EQ(resize_log_line(settled, 900), "rr:1.600000,w:960.000014,h:600.000000,rh:900.000000");
}

TEST(Geometry, LogLineKeepsItsPointsUnderAGermanLocale) {
    CAMVAULT_WITH_DECIMAL_COMMA(german);
    EXPECT_EQ(resize_log_line({0, 0, 960.0000143051147, 600}, 1080),
              "rr:1.600000,w:960.000014,h:600.000000,rh:1080.000000");
}

TEST(Geometry, HeightLimitBoundary) {
    EXPECT_EQ(resize_pass({0, 0, 100, 850}, 900).height, 850);  // h + 50 == S keeps the height
    const Frame one_more = resize_pass({0, 0, 100, 851}, 900);
    EXPECT_EQ(one_more.height, 801);
    // The width follows the height before the reduction.
    EXPECT_DOUBLE_EQ(one_more.width, 851 * kProportion);
}

TEST(Geometry, NestedPassesStopWhenTheFrameStopsChanging) {
    const auto settled = settle_frame({0, 0, 100, 1000}, 900);
    EXPECT_EQ(settled.frame.height, 850);  // 850 + 50 == 900 is within the limit
    EXPECT_DOUBLE_EQ(settled.frame.width, 850 * kProportion);
    // 1000 -> 950 -> 900 -> 850, then one pass that sets the width from 850,
    // then one that changes nothing.
    EXPECT_EQ(settled.log_lines.size(), 5u);
    for (const auto& line : settled.log_lines) {
        EXPECT_EQ(line, resize_log_line(settled.frame, 900));
    }
}

TEST(Geometry, MaxAndMini) {
    const double screen = 1080;
    Frame large = settle_frame(max_frame({5, 5, 960, 600}, screen), screen).frame;
    EXPECT_EQ(large.height, screen - 50);
    EXPECT_DOUBLE_EQ(large.width, (screen - 50) * kProportion);
    EXPECT_EQ(large.x, 0);
    EXPECT_EQ(large.y, 0);
    EXPECT_EQ(settle_frame(max_frame(large, screen), screen).frame, large);  // max again: same

    const Frame small = settle_frame(mini_frame(large, screen), screen).frame;
    EXPECT_EQ(small.height, 600);
    EXPECT_DOUBLE_EQ(small.width, 600 * kProportion);
    EXPECT_EQ(small.y, screen);  // bottom edge at the top: the window system brings it down

    // A screen lower than 650 points: mini shrinks in steps of 50.
    const Frame low = settle_frame(mini_frame(large, 620), 620).frame;
    EXPECT_EQ(low.height, 550);
    EXPECT_DOUBLE_EQ(low.width, 550 * kProportion);
}

TEST(Geometry, LargeSizeOnANarrowScreenKeepsTheProportionWithinItsWidth) {
    // A portrait screen, 1080 wide and 1920 high: the large height would be 2992 wide.
    const double screen = 1920;
    const Frame large =
        fit_width(settle_frame(max_frame({0, 0, 960, 600}, screen), screen).frame, 1080);
    EXPECT_EQ(large.width, 1080);
    EXPECT_DOUBLE_EQ(large.width / large.height, kProportion);
    // The pass that follows the resize leaves it where it is, to the pixel.
    EXPECT_EQ(std::lround(resize_pass(large, screen).width), 1080);
    // On a screen wide enough nothing changes.
    const Frame wide = settle_frame(max_frame({0, 0, 960, 600}, 1080), 1080).frame;
    EXPECT_EQ(fit_width(wide, 1920), wide);
}

TEST(Geometry, WindowPositionsConvertBetweenTopLeftAndBottomLeftOrigins) {
    // A second monitor at x 1920, 1080 high; the window 600 high, its top at 100.
    const PixelRect monitor{1920, 0, 1920, 1080};
    const Frame frame = frame_from_window({1930, 100, 960, 600}, monitor);
    EXPECT_EQ(frame, (Frame{10, 380, 960, 600}));
    EXPECT_EQ(window_from_frame(frame, monitor, monitor), (PixelRect{1930, 100, 960, 600}));
    // Sizes round to whole pixels.
    EXPECT_EQ(window_from_frame({0.4, 380, 960.0000143, 599.6}, monitor, monitor),
              (PixelRect{1920, 100, 960, 600}));
}

TEST(Geometry, AWindowIsNeverPlacedAboveTheUsableArea) {
    const PixelRect monitor{0, 0, 1920, 1080};
    const PixelRect below_panel{0, 27, 1920, 1053};
    // Mini puts the bottom edge at the screen's top: the window goes just below the panel.
    EXPECT_EQ(window_from_frame({0, 1080, 960, 600}, monitor, below_panel),
              (PixelRect{0, 27, 960, 600}));
    EXPECT_EQ(window_from_frame({0, 0, 960, 600}, monitor, below_panel),
              (PixelRect{0, 480, 960, 600}));
}

}  // namespace
}  // namespace camvault
