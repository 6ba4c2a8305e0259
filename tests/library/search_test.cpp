// Search: date ranges overlapping a clip's records, places within a radius of
// a route (the box rules clips out without reading their points and never
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

using Found = std::vector<size_t>;

// 09:00 northwards from Greenwich with a hard brake; 12:00 in Paris 2 km east,
// then 2 km north; a clip without telemetry.
struct Library {
    std::vector<std::vector<TelemetryPoint>> routes;
    std::vector<ClipSummary> summaries;
    Library() {
        Drive london(kNine, 51.4779, 0.0, 0);
        london.cruise(60, 50).run(2, [](double) { return Reading{50, 0, -0.7}; }).cruise(60, 30);
        Drive paris(kNine + 3 * 3600000, 48.8566, 2.3522, 90);
        paris.cruise(120, 60).turn(-90).cruise(120, 60);
        routes = {london.points, paris.points, {}};
        for (const auto& r : routes)
            summaries.push_back(summarize(r, EventThresholds{}, true));
    }
};

TEST(Search, DatesEventsAndTogether) {
    const Library lib;
    const auto find = [&](std::optional<int64_t> from, std::optional<int64_t> to, uint32_t kinds) {
        return search(lib.summaries, SearchFilter{from, to, std::nullopt, kinds});
    };
    const int64_t london_end = lib.summaries[0].last_ms;
    EXPECT_EQ(find({}, {}, 0), (Found{0, 1, 2}));
    EXPECT_EQ(find(kNine - 1000, kNine, 0), (Found{0}));  // touching counts
    EXPECT_EQ(find(kNine - 1000, kNine - 1, 0), (Found{}));
    EXPECT_EQ(find(london_end, {}, 0), (Found{0, 1}));
    EXPECT_EQ(find(london_end + 1, {}, 0), (Found{1}));
    EXPECT_EQ(find({}, kNine + 30000, 0), (Found{0}));
    const uint32_t braking = event_bit(EventKind::harsh_braking);
    EXPECT_EQ(find({}, {}, braking), (Found{0}));
    EXPECT_EQ(find({}, {}, event_bit(EventKind::impact)), (Found{}));
    EXPECT_EQ(find({}, {}, event_bit(EventKind::impact) | braking), (Found{0}));
    EXPECT_EQ(find(london_end + 1, {}, braking), (Found{}));
}

TEST(Search, PlacesAlongTheRoute) {
    const Library lib;
    int asked = 0;
    const RoutePoints points = [&](size_t i) -> std::optional<std::vector<TelemetryPoint>> {
        ++asked;
        return lib.routes[i];
    };
    const auto near = [&](double lat, double lon, double radius_m, const RoutePoints& p) {
        return search(lib.summaries, SearchFilter{{}, {}, PlaceFilter{lat, lon, radius_m}, 0}, p);
    };
    const TelemetryPoint turn = lib.routes[1][1200];
    EXPECT_EQ(near(turn.lat, turn.lon, 50, points), (Found{1}));
    EXPECT_EQ(asked, 1);  // London's box is far: its points were never read
    // The north-west corner of the Paris box, which the route never comes near:
    // ruled out by the points, kept by the box alone.
    const double corner_lat = lib.routes[1].back().lat, corner_lon = lib.routes[1][0].lon;
    EXPECT_EQ(near(corner_lat, corner_lon, 500, points), (Found{}));
    EXPECT_EQ(near(corner_lat, corner_lon, 500, {}), (Found{1}));
    // 1 km south of where the London route starts northwards.
    EXPECT_EQ(near(51.4779 - 1000 / 111195.0, 0.0, 1010, points), (Found{0}));
    EXPECT_EQ(near(51.4779 - 1000 / 111195.0, 0.0, 990, points), (Found{}));
    // A braking clip that never passed the place: nothing.
    EXPECT_EQ(search(lib.summaries, SearchFilter{{},
                                                 {},
                                                 PlaceFilter{turn.lat, turn.lon, 50},
                                                 event_bit(EventKind::harsh_braking)}),
              (Found{}));
}

TEST(Search, TheBoxNeverRulesOutAPlaceWithinReach) {
    // Random small boxes all over the globe (poles and the antimeridian too),
    // random places: whenever a point of the box is within the radius, the box
    // may reach the place.
    std::mt19937 rng(17);
    const auto u = [&](double lo, double hi) {
        return std::uniform_real_distribution<double>(lo, hi)(rng);
    };
    int within = 0;
    for (int k = 0; k < 200000; ++k) {
        const double lat = u(-90, 90), lon = u(-180, 180);
        const GeoBox box{lat, lon, std::min(90.0, lat + u(0, 0.5)),
                         std::min(180.0, lon + u(0, 0.5))};
        const double q_lat = u(box.min_lat, box.max_lat), q_lon = u(box.min_lon, box.max_lon);
        PlaceFilter place{std::clamp(q_lat + u(-0.1, 0.1), -90.0, 90.0), q_lon + u(-2, 2),
                          u(0, 20000)};
        place.lon += place.lon > 180 ? -360 : place.lon < -180 ? 360 : 0;
        if (haversine_m(place.lat, place.lon, q_lat, q_lon) <= place.radius_m) {
            ++within;
            ASSERT_TRUE(box_may_reach(box, place)) << lat << "," << lon << " " << place.lat << ","
                                                   << place.lon << " r " << place.radius_m;
        }
    }
    EXPECT_GT(within, 1000);
    // And it does rule out what is far: 62 km east of a box, 50 km around.
    EXPECT_FALSE(box_may_reach(GeoBox{51.4, -0.2, 51.6, 0.1}, PlaceFilter{51.5, 1.0, 50000}));
}

}  // namespace
}  // namespace camvault
