// Burn-in captions: one a second of each piece, from the record
// nearest each moment, across pieces and gaps.
#include "app/export_captions.hpp"

#include <gtest/gtest.h>

namespace camvault {
namespace {

RoutePoint at(uint32_t minute, double second, double lat, double lon, double kmh) {
    RoutePoint p;
    p.time = {2026, 6, 1, 9, minute, second};
    p.latitude = lat;
    p.longitude = lon;
    p.speed_kmh = kmh;
    return p;
}

constexpr int64_t k0900 = 1780304400000;  // 2026-06-01 09:00:00 as recorded

TEST(BurnInCaptions, OneASecondAcrossPiecesFromTheNearestRecord) {
    std::vector<RoutePoint> points;
    for (int s = 0; s < 10; ++s)
        points.push_back(at(0, s + 0.4, 51.5 + s * 1e-4, -0.12, 50 + s));
    // Piece 1: 09:00:02 for 2.5 s; piece 2 without telemetry, 1 s; piece 3: 09:00:07 for 2 s.
    const std::vector<CaptionPiece> pieces = {
        {k0900 + 2000, 2500}, {std::nullopt, 1000}, {k0900 + 7000, 2000}};
    const auto captions = burn_in_captions(pieces, points, {});
    ASSERT_EQ(captions.size(), 5u);
    EXPECT_EQ(captions[0],
              (TimedCaption{0, 0, 1000, "2026-06-01 09:00:02   52 km/h   51.50020 N  0.12000 W"}));
    EXPECT_EQ(captions[2].start_ms, 2000);
    EXPECT_EQ(captions[2].duration_ms, 500);  // the piece ends half a second in
    EXPECT_EQ(captions[3].piece, 2u);         // none for the piece without records
    EXPECT_EQ(captions[3].start_ms, 0);
    EXPECT_EQ(captions[3].text.substr(0, 19), "2026-06-01 09:00:07");
    EXPECT_EQ(captions[3].text.find("57 km/h") != std::string::npos, true);
}

TEST(BurnInCaptions, CorrectedClockMilesNoFixAndFarRecords) {
    CaptionStyle style;
    style.clock_correction_s = -3600;
    style.miles = true;
    EXPECT_EQ(caption_text(at(0, 5, 0, 0, 100), k0900 + 5000, style),
              "2026-06-01 08:00:05   62 mph");  // no fix: no position
    EXPECT_EQ(caption_text(at(0, 5, -33.9, 18.4, 0), k0900 + 5000, {}),
              "2026-06-01 09:00:05   0 km/h   33.90000 S  18.40000 E");
    // A record more than two seconds away is not the picture's.
    const auto none = burn_in_captions({{k0900 + 60000, 3000}}, {at(0, 1, 51.5, 0.1, 30)}, {});
    EXPECT_TRUE(none.empty());
    EXPECT_TRUE(burn_in_captions({{k0900, 3000}}, {}, {}).empty());
}

}  // namespace
}  // namespace camvault
