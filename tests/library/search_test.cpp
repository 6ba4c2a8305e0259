// Search: date ranges that overlap a clip's records, places passed within a
// radius (the bounding box rules clips out without their points, and never
// rules out one that passes), event kinds, and all of them together.
#include "library/search.hpp"

#include <gtest/gtest.h>

#include <random>

#include "tests/library/drive_series.hpp"

namespace camvault {
namespace {

using testing::Drive;
using testing::kNine;
using testing::Reading;

constexpr int64_t kHour = 3600000;

// Three clips: 09:00 heading north from Greenwich with a hard brake; 12:00
// an L-shaped drive (east, then north) in Paris; one without telemetry.
struct Library {
    std::vector<std::vector<TelemetryPoint>> routes;
    std::vector<ClipSummary> summaries;

    Library() {
        Drive london(kNine, 51.4779, 0.0, 0);
        london.cruise(60, 50).run(2, [](double) { return Reading{50, 0, -0.7, 1}; });
        london.cruise(60, 30);
        Drive paris(kNine + 3 * kHour, 48.8566, 2.3522, 90);
        paris.cruise(120, 60).turn(-90).cruise(120, 60);  // 2 km east, then 2 km north
        routes = {london.points(), paris.points(), {}};
        for (const auto& r : routes)
            summaries.push_back(summarize(r, EventThresholds{}, true));
    }
};

TEST(Search, DateRangesOverlapTheRecords) {
    const Library lib;
    const auto find = [&](std::optional<int64_t> from, std::optional<int64_t> to) {
        SearchFilter f;
        f.from_ms = from;
        f.to_ms = to;
        return search(lib.summaries, f);
    };
    EXPECT_EQ(search(lib.summaries, SearchFilter{}), (std::vector<size_t>{0, 1, 2}));
    EXPECT_EQ(find(kNine, kNine + kHour), (std::vector<size_t>{0}));
    EXPECT_EQ(find(kNine - kHour, kNine), (std::vector<size_t>{0}));  // touching counts
    EXPECT_EQ(find(kNine - kHour, kNine - 1), (std::vector<size_t>{}));
    const int64_t london_end = lib.summaries[0].last_ms;
    EXPECT_EQ(find(london_end, std::nullopt), (std::vector<size_t>{0, 1}));
    EXPECT_EQ(find(london_end + 1, std::nullopt), (std::vector<size_t>{1}));
    EXPECT_EQ(find(std::nullopt, kNine + 3 * kHour), (std::vector<size_t>{0, 1}));
    EXPECT_EQ(find(kNine + 30000, kNine + 40000), (std::vector<size_t>{0}));  // inside the clip
}

TEST(Search, PlacesAlongTheRoute) {
    const Library lib;
    int asked = 0;
    const RoutePoints points = [&](size_t i) -> std::optional<std::vector<TelemetryPoint>> {
        ++asked;
        return lib.routes[i];
    };
    const auto near = [&](double lat, double lon, double radius_m, const RoutePoints& p) {
        SearchFilter f;
        f.place = PlaceFilter{lat, lon, radius_m};
        return search(lib.summaries, f, p);
    };
    // The turn of the Paris route, and the corner of its box it never reaches.
    const TelemetryPoint turn = lib.routes[1][1200];
    const TelemetryPoint last = lib.routes[1].back();
    const double far_corner_lat = last.lat;  // north-west: north of the start, west of the end
    const double far_corner_lon = lib.routes[1].front().lon;
    const double corner_to_route =
        std::min(haversine_m(far_corner_lat, far_corner_lon, turn.lat, turn.lon),
                 haversine_m(far_corner_lat, far_corner_lon, last.lat, last.lon));
    ASSERT_GT(corner_to_route, 1900);

    EXPECT_EQ(near(turn.lat, turn.lon, 50, points), (std::vector<size_t>{1}));
    EXPECT_EQ(asked, 1);  // London's box is far: its points were never needed
    EXPECT_EQ(near(far_corner_lat, far_corner_lon, 500, points), (std::vector<size_t>{}));
    // Without points the box decides and keeps the clip.
    EXPECT_EQ(near(far_corner_lat, far_corner_lon, 500, {}), (std::vector<size_t>{1}));
    // A loader that cannot give the points: the box decides as well.
    EXPECT_EQ(near(far_corner_lat, far_corner_lon, 500,
                   [](size_t) { return std::optional<std::vector<TelemetryPoint>>{}; }),
              (std::vector<size_t>{1}));
    // A place 1 km south of Greenwich, where the London route starts northwards.
    EXPECT_EQ(near(51.4779 - 1000 / 111195.0, 0.0, 1010, points), (std::vector<size_t>{0}));
    EXPECT_EQ(near(51.4779 - 1000 / 111195.0, 0.0, 990, points), (std::vector<size_t>{}));
    EXPECT_EQ(near(0, 0, 2e7, points), (std::vector<size_t>{0, 1}));  // the whole Earth
}

TEST(Search, BoxTestNeverRulesOutAPlaceWithinReach) {
    // Random boxes, places and points of the boxes, near the poles and across
    // the antimeridian too: whenever a point of the box lies within the radius
    // the cheap test must say the box may reach the place.
    std::mt19937 rng(17);
    std::uniform_real_distribution<double> u(0, 1);
    int within = 0;
    for (int k = 0; k < 200000; ++k) {
        GeoBox box;
        const double lat0 = u(rng) * 180 - 90;
        const double lon0 = u(rng) * 360 - 180;
        box.min_lat = lat0;
        box.max_lat = std::min(90.0, lat0 + u(rng) * 0.5);
        box.min_lon = lon0;
        box.max_lon = std::min(180.0, lon0 + u(rng) * 0.5);
        const double q_lat = box.min_lat + u(rng) * (box.max_lat - box.min_lat);
        const double q_lon = box.min_lon + u(rng) * (box.max_lon - box.min_lon);
        PlaceFilter place{q_lat + (u(rng) - 0.5) * 0.2, q_lon + (u(rng) - 0.5) * 4, u(rng) * 20000};
        place.lat = std::clamp(place.lat, -90.0, 90.0);
        if (place.lon > 180)
            place.lon -= 360;
        if (place.lon < -180)
            place.lon += 360;
        if (haversine_m(place.lat, place.lon, q_lat, q_lon) <= place.radius_m) {
            ++within;
            ASSERT_TRUE(box_may_reach(box, place))
                << box.min_lat << "," << box.min_lon << " " << box.max_lat << "," << box.max_lon
                << " place " << place.lat << "," << place.lon << " r " << place.radius_m;
        }
    }
    EXPECT_GT(within, 1000);
    // And it does rule out what is far.
    const GeoBox london{51.4, -0.2, 51.6, 0.1};
    EXPECT_FALSE(box_may_reach(london, PlaceFilter{48.85, 2.35, 100000}));
    EXPECT_TRUE(box_may_reach(london, PlaceFilter{48.85, 2.35, 400000}));
    EXPECT_FALSE(box_may_reach(london, PlaceFilter{51.5, 1.0, 50000}));  // 62 km east
    EXPECT_TRUE(box_may_reach(london, PlaceFilter{51.5, 1.0, 70000}));
    const GeoBox fiji{-18.2, 179.8, -17.9, 180.0};
    EXPECT_TRUE(box_may_reach(fiji, PlaceFilter{-18.0, -179.95, 10000}));  // across 180°
}

TEST(Search, EventKindsAndCombinations) {
    const Library lib;
    ASSERT_EQ(lib.summaries[0].events.size(), 1u);
    SearchFilter f;
    f.event_kinds = event_bit(EventKind::harsh_braking);
    EXPECT_EQ(search(lib.summaries, f), (std::vector<size_t>{0}));
    f.event_kinds = event_bit(EventKind::impact) | event_bit(EventKind::sharp_cornering);
    EXPECT_EQ(search(lib.summaries, f), (std::vector<size_t>{}));
    f.event_kinds |= event_bit(EventKind::harsh_braking);
    EXPECT_EQ(search(lib.summaries, f), (std::vector<size_t>{0}));
    // Braking and a place the braking clip never passed: nothing.
    f.place = PlaceFilter{48.8566, 2.3522, 100};
    EXPECT_EQ(search(lib.summaries, f), (std::vector<size_t>{}));
    f.event_kinds = 0;
    EXPECT_EQ(search(lib.summaries, f), (std::vector<size_t>{1}));
    f.from_ms = kNine + 4 * kHour;
    EXPECT_EQ(search(lib.summaries, f), (std::vector<size_t>{}));
    EXPECT_TRUE(matches(lib.summaries[2], SearchFilter{}));
}

}  // namespace
}  // namespace camvault
