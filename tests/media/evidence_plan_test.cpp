// The pure parts of evidence packs: the manifest read back as written and
// refusing what a tampered one could smuggle in, the seal line, and the map's
// projection and scale bar.
#include <gtest/gtest.h>

#include <cmath>

#include "media/evidence_manifest.hpp"
#include "media/route_map_plan.hpp"

namespace camvault::media {
namespace {

const std::string kHash(64, 'a');

PackManifest sample() {
    PackManifest m;
    m.name = "event 2026-06-01";
    m.created = "2026-06-01T09:00:00Z";
    m.version = "0.2.0";
    m.clock = {-7, 120};
    m.sources = {{"FILE0001.MOV", 123456789012, "123-ab-cd"}, {"Ca\"fé\\.MOV", 1, "1-0-0"}};
    m.files = {{"movie.mov", 5000000000, kHash}, {"map.png", 0, std::string(64, '0')}};
    return m;
}

TEST(EvidenceManifest, ReadsBackWhatItWrites) {
    const PackManifest m = sample();
    const std::string text = manifest_json(m);
    EXPECT_EQ(text.back(), '\n');
    const auto back = parse_manifest(text);
    ASSERT_TRUE(back) << back.error();
    EXPECT_EQ(*back, m);
    // Keys in a fixed order: the same pack writes the same bytes.
    EXPECT_LT(text.find("\"format\""), text.find("\"files\""));
    EXPECT_EQ(manifest_json(*back), text);
}

TEST(EvidenceManifest, RefusesWhatATamperedManifestCouldHold) {
    const auto with_file = [](const std::string& name, const std::string& hash) {
        PackManifest m = sample();
        m.files.push_back({name, 1, hash});
        return manifest_json(m);
    };
    for (const char* name : {"../../etc/passwd", "a/b", "/abs", "..", ".", "", "manifest.json",
                             "manifest.sha256", "a\nb", "a\\b"})
        EXPECT_FALSE(parse_manifest(with_file(name, kHash))) << name;
    EXPECT_FALSE(parse_manifest(with_file("x", std::string(63, 'a'))));
    EXPECT_FALSE(parse_manifest(with_file("x", std::string(64, 'A'))));
    EXPECT_FALSE(parse_manifest(with_file("movie.mov", kHash)));  // listed twice
    EXPECT_TRUE(parse_manifest(with_file("x y.png", kHash)));
    EXPECT_FALSE(parse_manifest("{\"format\": 1}"));
    EXPECT_FALSE(parse_manifest("[1, 2]"));
    EXPECT_FALSE(parse_manifest("{not json"));
    std::string other_format = manifest_json(sample());
    other_format.replace(other_format.find("\"format\": 1"), 11, "\"format\": 2");
    EXPECT_FALSE(parse_manifest(other_format));
}

TEST(EvidenceManifest, SealIsOneSha256sumLine) {
    const std::string seal = manifest_seal(kHash);
    EXPECT_EQ(seal, kHash + "  manifest.json\n");
    EXPECT_EQ(*parse_manifest_seal(seal), kHash);
    EXPECT_FALSE(parse_manifest_seal(kHash + "  manifest.jsoN\n"));
    EXPECT_FALSE(parse_manifest_seal(kHash + " *manifest.json\n"));
    EXPECT_FALSE(parse_manifest_seal(kHash + "  manifest.json"));
    EXPECT_FALSE(parse_manifest_seal(std::string(63, 'a') + "g  manifest.json\n"));
}

double distance(MapPixel a, MapPixel b) {
    return std::hypot(a.x - b.x, a.y - b.y);
}

TEST(RouteMapPlan, WebMercatorCornersAndClamp) {
    const MapPixel centre = web_mercator({0, 0});
    EXPECT_NEAR(centre.x, 0.5, 1e-12);
    EXPECT_NEAR(centre.y, 0.5, 1e-12);
    EXPECT_NEAR(web_mercator({85.05112878, 180}).y, 0, 1e-6);
    EXPECT_NEAR(web_mercator({85.05112878, 180}).x, 1, 1e-12);
    EXPECT_NEAR(web_mercator({89.9, 0}).y, 0, 1e-6);
    EXPECT_NEAR(web_mercator({-90, -180}).y, 1, 1e-6);
}

TEST(RouteMapPlan, FitsTheRouteInsideTheMarginWithOneScale) {
    // 600 m east then 600 m north at 60 N: equal on the ground, so equal on the map.
    const double lat = 60, dlat = 600 / 111'195.0, dlon = dlat / std::cos(lat * M_PI / 180);
    const std::vector<GeoPoint> route{{lat, 10}, {lat, 10 + dlon}, {lat + dlat, 10 + dlon}};
    const auto p = MapProjection::fit(route, 800, 600, 40);
    const MapPixel a = p(route[0]), b = p(route[1]), c = p(route[2]);
    EXPECT_NEAR(distance(a, b) / distance(b, c), 1.0, 0.01);
    // The taller side fills the height less the margins; east is right, north up.
    EXPECT_NEAR(distance(b, c), 520, 1);
    EXPECT_GT(b.x, a.x);
    EXPECT_LT(c.y, b.y);
    for (const auto& q : {a, b, c}) {
        EXPECT_GE(q.x, 40 - 1e-6);
        EXPECT_LE(q.x, 760 + 1e-6);
        EXPECT_GE(q.y, 40 - 1e-6);
        EXPECT_LE(q.y, 560 + 1e-6);
    }
    // Centred: the box's middle is the picture's.
    EXPECT_NEAR((a.x + b.x) / 2, 400, 1e-6);
    EXPECT_NEAR((b.y + c.y) / 2, 300, 1e-6);
    EXPECT_NEAR(p.metres_per_pixel(), 600 / 520.0, 0.01);
}

TEST(RouteMapPlan, AStandingCarIsNotBlownUp) {
    const std::vector<GeoPoint> one{{51.5, -0.1}};
    const auto p = MapProjection::fit(one, 800, 600, 40);
    EXPECT_NEAR(p(one[0]).x, 400, 1e-9);
    EXPECT_NEAR(p(one[0]).y, 300, 1e-9);
    EXPECT_NEAR(p.metres_per_pixel(), 100 / 520.0, 0.01);
}

TEST(RouteMapPlan, ScaleBarIsARoundLength) {
    EXPECT_EQ(scale_bar_metres(160), 100);
    EXPECT_EQ(scale_bar_metres(250), 200);
    EXPECT_EQ(scale_bar_metres(999), 500);
    EXPECT_EQ(scale_bar_metres(1000), 1000);
    EXPECT_EQ(scale_bar_metres(3.5), 2);
    EXPECT_EQ(scale_bar_metres(0.3), 1);
    EXPECT_EQ(scale_bar_metres(std::nan("")), 1);
}

}  // namespace
}  // namespace camvault::media
