// Blocks made from route points, read by the reference scan (not by the
// writer's own arithmetic): the atoms chain, the markers stay apart, the
// fields hold what the readers expect, and bad spans and files are refused.
#include <gtest/gtest.h>

#include <fstream>

#include "telemetry/freegps_writer.hpp"
#include "telemetry/route_beside.hpp"
#include "tests/support/temp_folder.hpp"

namespace camvault {
namespace {

RoutePoint point(double second, double lat, double heading) {
    RoutePoint p;
    p.time = {2026, 3, 4, 5, 6, second};
    p.latitude = lat;
    p.longitude = 7.25;
    p.speed_kmh = 36;
    p.heading = heading;
    return p;
}

int64_t ms_of(double second) {
    return *camera_milliseconds({2026, 3, 4, 5, 6, second});
}

std::vector<TelemetryRecord> scanned(const std::vector<RoutePoint>& points, CameraSpan span) {
    auto blocks = freegps_blocks(points, span);
    EXPECT_TRUE(blocks) << blocks.error();
    return blocks ? scan_whole_buffer(freegps_atoms(*blocks)) : std::vector<TelemetryRecord>{};
}

TEST(FreeGpsWriter, AtomsChainAndEveryMarkerIsTaken) {
    std::vector<RoutePoint> points;
    for (int s = 0; s < 59; ++s)
        points.push_back(point(s, 10 + s * 1e-4, 90));
    // 59 seconds in one atom; a 1300-second span needs three.
    auto blocks = freegps_blocks(points, {ms_of(0), ms_of(0) + 1'299'000});
    ASSERT_TRUE(blocks);
    ASSERT_EQ(blocks->size(), 1300u);
    const auto atoms = freegps_atoms(*blocks);
    size_t at = 0, count = 0;
    while (at < atoms.size()) {
        const uint32_t size = uint32_t{atoms[at]} << 24 | uint32_t{atoms[at + 1]} << 16 |
                              uint32_t{atoms[at + 2]} << 8 | atoms[at + 3];
        EXPECT_EQ(std::string(atoms.begin() + at + 4, atoms.begin() + at + 8), "free");
        at += size;
        ++count;
    }
    EXPECT_EQ(at, atoms.size());
    EXPECT_EQ(count, 3u);
    const auto records = scan_whole_buffer(atoms);
    // 58 seconds of ten records and the source at 05:06:58.0.
    ASSERT_EQ(records.size(), 581u);
    EXPECT_EQ(records[0].tenths_of_second, 0);
    EXPECT_EQ(records[580].tenths_of_second, 580);
    EXPECT_EQ(records[580].latitude, 100'058'000);
    EXPECT_EQ(records[5].speed, 1000);  // 36 km/h is 10 m/s
}

TEST(FreeGpsWriter, HeadingsBeyondTheFieldAreWrittenAsTheSameDirection) {
    const auto records = scanned({point(0, 1, 10), point(1, 1, 300)}, {ms_of(0), ms_of(1)});
    ASSERT_EQ(records.size(), 11u);
    EXPECT_NEAR(records[0].degrees / 1e7, 10, 0.01);
    EXPECT_NEAR(records[10].degrees / 1e7, -60, 0.01);
    // 10 to 300 the short way passes north: halfway is 335, written -25.
    EXPECT_NEAR(records[5].degrees / 1e7, -25, 0.01);
}

TEST(FreeGpsWriter, GSensorIsTheSecondsMeanElseTheNearestReading) {
    auto a = point(0.0, 1, 0), b = point(0.5, 1, 0), c = point(1.5, 1, 0), d = point(2.5, 1, 0);
    a.has_accel = b.has_accel = true;
    a.g_y = -0.5;
    b.g_y = -0.3;
    a.g_z = b.g_z = 1;
    d.has_accel = true;
    d.g_y = 0.25;
    const auto records = scanned({a, b, c, d}, {ms_of(0), ms_of(2.5)});
    ASSERT_EQ(records.size(), 26u);
    EXPECT_EQ(records[0].y, -400'000'000);
    EXPECT_EQ(records[0].z, 1'000'000'000);
    // 05:06:01 has no reading: 00.5 and 02.5 are a second from its middle; the earlier wins.
    EXPECT_EQ(records[10].y, -300'000'000);
    EXPECT_EQ(records[20].y, 250'000'000);
}

TEST(FreeGpsWriter, PointsWithoutTimeOrPositionAreLeftOut) {
    auto no_time = point(0.5, 1, 0);
    no_time.time.month = 13;
    auto off_globe = point(0.7, 95, 0);
    const auto records =
        scanned({point(0, 1, 0), no_time, off_globe, point(1, 2, 0)}, {ms_of(0), ms_of(1)});
    ASSERT_EQ(records.size(), 11u);
    EXPECT_EQ(records[5].latitude, 15'000'000);  // straight from 1 to 2
}

TEST(FreeGpsWriter, RefusesBadSpans) {
    EXPECT_FALSE(freegps_blocks({}, {ms_of(5), ms_of(4)}));
    EXPECT_FALSE(freegps_blocks({}, {0, kLongestSpanMs + 1}));
    // A span without sources has its blocks, all without a fix.
    const auto empty = freegps_blocks({}, {ms_of(0), ms_of(2)});
    ASSERT_TRUE(empty);
    EXPECT_EQ(empty->size(), 3u);
    EXPECT_TRUE(scan_whole_buffer(freegps_atoms(*empty)).empty());
}

TEST(FreeGpsWriter, AppendRefusesFilesWhoseAtomsDoNotFillThem) {
    testing::TempFolder dir;
    const auto write = [&](const std::string& name, const std::string& bytes) {
        std::ofstream(dir / name, std::ios::binary) << bytes;
        return dir / name;
    };
    const std::string points = std::string("\0\0\0\x08moov", 8);
    const std::vector<RoutePoint> source{point(0, 1, 0)};
    const CameraSpan span{ms_of(0), ms_of(0)};
    const std::string open_ended = write("a.mov", points + std::string("\0\0\0\0mdat....", 12));
    const std::string short_atom = write("b.mov", points + std::string("\0\0\0\x40mdat..", 10));
    const std::string no_moov = write("c.mov", std::string("\0\0\0\x08mdat", 8));
    for (const auto& path : {open_ended, short_atom, no_moov}) {
        const auto before = testing::read_text(path);
        EXPECT_FALSE(append_movie_telemetry(path, source, span)) << path;
        EXPECT_EQ(testing::read_text(path), before);
    }
    const std::string good = write("d.mov", points);
    const auto appended = append_movie_telemetry(good, source, span);
    ASSERT_TRUE(appended) << appended.error();
    EXPECT_EQ(testing::read_text(good).size(), 8 + 8 + kBlockSpan);
    EXPECT_FALSE(append_movie_telemetry(dir / "missing.mov", source, span));
}

// A block's last 44 bytes are where the scanner resumes its search after the
// block's own marker: a position or a G-sensor reading whose bytes spell the
// marker there would hide the next block. Such values are moved by one unit.
TEST(FreeGpsWriter, NoValueSpellsAMarkerWhereTheScanLooks) {
    // Latitude 0x00667265 and longitude 0x65475053: "fre" + "eGPS".
    auto a = point(0, 0.6714981, 0), b = point(2, 0.6714981, 0);
    a.longitude = b.longitude = 169.9172435;
    // G x 0x66726565 and y 0x47505300: "free" + "GPS".
    a.has_accel = b.has_accel = true;
    a.g_x = b.g_x = 1.718773093;
    a.g_y = b.g_y = 1.196446464;
    const auto records = scanned({a, b}, {ms_of(0), ms_of(2)});
    ASSERT_EQ(records.size(), 21u);
    for (const auto& r : records) {
        EXPECT_NEAR(r.latitude / 1e7, 0.6714981, 2e-7);
        EXPECT_NEAR(r.longitude / 1e7, 169.9172435, 2e-7);
        EXPECT_NEAR(r.x / 1e9, 1.718773093, 1e-6);
        EXPECT_NEAR(r.y / 1e9, 1.196446464, 1e-6);
    }
}

TEST(FreeGpsWriter, PointsInSpanComeFromEveryClipInClockOrder) {
    const ClipRoute later{"B.MOV", {point(30, 3, 0), point(59, 4, 0)}};
    const ClipRoute earlier{"A.MOV", {point(1, 1, 0), point(20, 2, 0)}};
    const std::vector<ClipRoute> clips{later, earlier};
    const auto points = points_in_span(clips, {ms_of(20), ms_of(30)});
    ASSERT_EQ(points.size(), 2u);
    EXPECT_EQ(points[0].latitude, 2);  // both ends belong to the span
    EXPECT_EQ(points[1].latitude, 3);
}

TEST(RouteBeside, TakesTheMoviesNameWithTheFormatsExtension) {
    EXPECT_EQ(route_path_beside("/x/exp_1.mov", RouteFormat::gpx), "/x/exp_1.gpx");
    EXPECT_EQ(route_path_beside("/x/exp.1.MOV", RouteFormat::csv), "/x/exp.1.csv");
    EXPECT_EQ(route_path_beside("/x.y/movie", RouteFormat::gpx), "/x.y/movie.gpx");
    EXPECT_EQ(route_path_beside("/x/.mov", RouteFormat::kml), "/x/.mov.kml");
    EXPECT_EQ(route_path_beside("movie.mp4", RouteFormat::geojson), "movie.geojson");
}

}  // namespace
}  // namespace camvault
