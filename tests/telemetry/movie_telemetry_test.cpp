// Telemetry appended to a movie, read back by the import's own extractor: the
// records land on every tenth, the whole seconds carry the source values, the
// layout is the original block, and the movie still probes and decodes.
#include <gtest/gtest.h>

#include <cmath>
#include <map>

#include "telemetry/civil_date.hpp"
#include "telemetry/extract.hpp"
#include "telemetry/freegps_writer.hpp"
#include "telemetry/route_beside.hpp"
#include "tests/telemetry/run_command.hpp"

namespace camvault {
namespace {

using testing::quoted;
using testing::read_text;
using testing::run_command;
using testing::TempFolder;

std::string make_movie(const TempFolder& dir, const std::string& name) {
    const std::string path = dir / name;
    const auto r = run_command(
        "ffmpeg -nostdin -v error -y -f lavfi -i testsrc=size=160x120:rate=10 -t 2 "
        "-c:v libx264 -pix_fmt yuv420p " +
        quoted(path));
    EXPECT_EQ(r.status, 0) << r.err;
    return path;
}

// The camera time `ms` milliseconds after 1970 on the camera's clock.
CameraTime camera_time(int64_t ms) {
    const CivilDate date = civil_from_days(ms / 86'400'000);
    const int64_t in_day = ms % 86'400'000;
    return {static_cast<uint32_t>(date.year),
            date.month,
            date.day,
            static_cast<uint32_t>(in_day / 3'600'000),
            static_cast<uint32_t>(in_day / 60'000 % 60),
            static_cast<double>(in_day % 60'000) / 1000.0};
}

// Sources every `step_ms` from `start` for `count` points, moving north-east
// at a changing speed, the heading turning through north.
std::vector<RoutePoint> drive(CameraTime start, int64_t step_ms, int count) {
    const int64_t t0 = *camera_milliseconds(start);
    std::vector<RoutePoint> points;
    for (int i = 0; i < count; ++i) {
        const double s = static_cast<double>(i * step_ms) / 1000.0;
        RoutePoint p;
        p.time = camera_time(t0 + i * step_ms);
        p.latitude = 51.5 + 0.0001 * s + 0.00002 * std::sin(s);
        p.longitude = -0.12 + 0.00015 * s;
        p.speed_kmh = 40 + 5 * std::sin(s / 3);
        p.heading = std::fmod(350 + 4 * s, 360);
        p.has_accel = true;
        p.g_x = 0.01 * i;
        p.g_y = -0.2;
        p.g_z = 1.0;
        points.push_back(p);
    }
    return points;
}

// A heading as 0 to 360: the block's field holds 300 as -60.
double same_turn(double heading) {
    return heading < 0 ? heading + 360 : heading;
}

struct ReadBack {
    std::vector<RoutePoint> points;
    LayoutSet layouts = 0;
    uint64_t records = 0;
};

ReadBack read_back(const TempFolder& dir, const std::string& movie) {
    ReadBack back;
    const auto extraction = extract_clip_file(movie, dir / "movie.js", "movie.mp4");
    EXPECT_TRUE(extraction) << extraction.error();
    if (extraction) {
        back.layouts = extraction->layouts;
        back.records = extraction->records;
    }
    auto route = read_clip_route(movie, "movie.mp4");
    EXPECT_TRUE(route) << route.error();
    if (route)
        back.points = route->points;
    return back;
}

// Records per camera-clock second, keyed by the second's milliseconds.
std::map<int64_t, int> per_second(const std::vector<RoutePoint>& points) {
    std::map<int64_t, int> counts;
    for (const auto& p : points)
        ++counts[*camera_milliseconds(p.time) / 1000 * 1000];
    return counts;
}

void expect_whole_seconds_match(const std::vector<RoutePoint>& sources,
                                const std::vector<RoutePoint>& read) {
    std::map<int64_t, const RoutePoint*> by_time;
    for (const auto& p : read)
        by_time[*camera_milliseconds(p.time)] = &p;
    int checked = 0;
    for (const auto& s : sources) {
        const int64_t t = *camera_milliseconds(s.time);
        if (t % 1000 != 0)
            continue;
        ASSERT_TRUE(by_time.count(t)) << "no record at " << t;
        const RoutePoint& r = *by_time[t];
        EXPECT_NEAR(r.latitude, s.latitude, 1e-5) << t;
        EXPECT_NEAR(r.longitude, s.longitude, 1e-5) << t;
        EXPECT_NEAR(r.speed_kmh, s.speed_kmh, 0.1) << t;
        EXPECT_NEAR(same_turn(r.heading), same_turn(s.heading), 0.01) << t;
        ++checked;
    }
    EXPECT_GT(checked, 0);
}

void expect_movie_still_plays(const std::string& movie) {
    const auto probe =
        run_command("ffprobe -v error -show_entries format=duration -of csv=p=0 " + quoted(movie));
    EXPECT_EQ(probe.status, 0);
    EXPECT_EQ(probe.err, "");
    EXPECT_NEAR(std::atof(probe.out.c_str()), 2.0, 0.2);
    const auto decode =
        run_command("ffmpeg -nostdin -v error -xerror -i " + quoted(movie) + " -f null -");
    EXPECT_EQ(decode.status, 0) << decode.err;
    EXPECT_EQ(decode.err, "");
}

TEST(MovieTelemetry, OneHertzAcrossAMinuteReadsBackTenASecond) {
    TempFolder dir;
    const std::string movie = make_movie(dir, "movie.mp4");
    const auto sources = drive({2026, 6, 1, 9, 59, 55}, 1000, 11);  // 09:59:55 .. 10:00:05
    const int64_t start = *camera_milliseconds(sources.front().time);
    const CameraSpan span{start, start + 10'000};
    const auto written = append_movie_telemetry(movie, sources, span);
    ASSERT_TRUE(written) << written.error();
    EXPECT_EQ(*written, 11u);

    const ReadBack back = read_back(dir, movie);
    EXPECT_EQ(back.layouts, layout_bit(TelemetryLayout::nextbase_block));
    // The last second holds only its first tenth: the span ends there.
    EXPECT_EQ(back.points.size(), 101u);
    EXPECT_EQ(back.records, 101u);
    const auto counts = per_second(back.points);
    EXPECT_EQ(counts.size(), 11u);
    for (auto it = counts.begin(); std::next(it) != counts.end(); ++it)
        EXPECT_EQ(it->second, 10) << it->first;
    expect_whole_seconds_match(sources, back.points);
    // Halfway between two sources lies halfway between their values.
    const auto& mid = back.points[5];
    EXPECT_NEAR(*camera_milliseconds(mid.time) - start, 500, 1);
    EXPECT_NEAR(mid.latitude, (sources[0].latitude + sources[1].latitude) / 2, 1e-6);
    EXPECT_NEAR(mid.speed_kmh, (sources[0].speed_kmh + sources[1].speed_kmh) / 2, 0.04);
    // 350 + 2 = 352: the heading turns the short way.
    EXPECT_NEAR(same_turn(mid.heading), 352, 0.01);
    // The minute and the hour roll over in the times read back.
    EXPECT_EQ(back.points.back().time.hour, 10u);
    EXPECT_EQ(back.points.back().time.minute, 0u);
    EXPECT_NEAR(back.points.back().time.second, 5.0, 1e-9);
    // The G-sensor of a second is that of its source.
    EXPECT_NEAR(back.points[30].g_x, 0.03, 1e-6);
    EXPECT_NEAR(back.points[30].g_z, 1.0, 1e-6);
    expect_movie_still_plays(movie);
}

TEST(MovieTelemetry, TenHertzAcrossMidnightAndNewYear) {
    TempFolder dir;
    const std::string movie = make_movie(dir, "movie.mp4");
    const auto sources = drive({2026, 12, 31, 23, 59, 58}, 100, 41);  // to 00:00:02
    const int64_t start = *camera_milliseconds(sources.front().time);
    ASSERT_TRUE(append_movie_telemetry(movie, sources, {start, start + 3'900}));

    const ReadBack back = read_back(dir, movie);
    EXPECT_EQ(back.layouts, layout_bit(TelemetryLayout::nextbase_block));
    ASSERT_EQ(back.points.size(), 40u);
    for (size_t i = 0; i < back.points.size(); ++i) {
        EXPECT_EQ(*camera_milliseconds(back.points[i].time), start + 100 * int64_t(i)) << i;
        EXPECT_NEAR(back.points[i].latitude, sources[i].latitude, 1e-7) << i;
        EXPECT_NEAR(back.points[i].speed_kmh, sources[i].speed_kmh, 0.02) << i;
    }
    const CameraTime& after = back.points[25].time;
    EXPECT_EQ(after.year, 2027u);
    EXPECT_EQ(after.month, 1u);
    EXPECT_EQ(after.day, 1u);
    EXPECT_EQ(after.hour, 0u);
    // The block's G-sensor is the mean of its second's ten readings.
    EXPECT_NEAR(back.points[0].g_x, 0.045, 1e-6);
    expect_movie_still_plays(movie);
}

TEST(MovieTelemetry, AGapInTheSourcesIsNotBridged) {
    TempFolder dir;
    const std::string movie = make_movie(dir, "movie.mp4");
    auto sources = drive({2026, 6, 1, 12, 0, 0}, 1000, 12);
    // No fix from 12:00:04 to 12:00:08 (five sources gone, six seconds apart).
    sources.erase(sources.begin() + 3, sources.begin() + 8);
    const int64_t start = *camera_milliseconds(sources.front().time);
    ASSERT_TRUE(append_movie_telemetry(movie, sources, {start, start + 11'000}));

    const ReadBack back = read_back(dir, movie);
    const auto counts = per_second(back.points);
    // 12:00:02.0 is a source; the tenths after it up to 12:00:08 have no fix.
    EXPECT_EQ(counts.at(start + 1000), 10);
    EXPECT_EQ(counts.at(start + 2000), 1);
    for (int s = 3; s <= 7; ++s)
        EXPECT_EQ(counts.count(start + s * 1000), 0u) << s;
    EXPECT_EQ(counts.at(start + 8000), 10);
    EXPECT_EQ(back.points.size(), 2 * 10 + 1 + 3 * 10 + 1u);
    expect_whole_seconds_match(sources, back.points);
}

// 100 minutes of telemetry take 2.3 MB of atoms: the import's scan reads the
// file in segments of 2 MB on several threads, and no block may be lost or
// read twice where a segment ends.
TEST(MovieTelemetry, ALongSpanReadsBackWholeAcrossScanSegments) {
    TempFolder dir;
    const std::string movie = make_movie(dir, "movie.mp4");
    const auto sources = drive({2026, 6, 1, 8, 0, 0}, 1000, 6001);
    const int64_t start = *camera_milliseconds(sources.front().time);
    const auto written = append_movie_telemetry(movie, sources, {start, start + 6'000'000});
    ASSERT_TRUE(written) << written.error();
    EXPECT_EQ(*written, 6001u);
    const ReadBack back = read_back(dir, movie);
    EXPECT_EQ(back.layouts, layout_bit(TelemetryLayout::nextbase_block));
    ASSERT_EQ(back.points.size(), 60001u);
    for (size_t i = 0; i < back.points.size(); i += 997)
        EXPECT_EQ(*camera_milliseconds(back.points[i].time), start + 100 * int64_t(i)) << i;
    expect_whole_seconds_match(sources, back.points);
}

// One hash per compressed packet: equal lists mean the same media.
std::string packet_hashes(const std::string& movie) {
    const auto r = run_command("ffmpeg -nostdin -v error -i " + quoted(movie) +
                               " -map 0 -c copy -f framemd5 - | grep -v '^#'");
    EXPECT_EQ(r.status, 0) << r.err;
    return r.out;
}

TEST(MovieTelemetry, AQuickTimeMovieKeepsItsMediaAndPlaysInGStreamer) {
    TempFolder dir;
    const std::string movie = dir / "exp.mov";
    const auto made =
        run_command(std::string(CAMVAULT_SOURCE_DIR) +
                    "/tools/make-clip --seconds 2 --size 320x180 --no-telemetry " + quoted(movie));
    ASSERT_EQ(made.status, 0) << made.err;
    const std::string before = packet_hashes(movie);
    const auto sources = drive({2026, 6, 1, 12, 0, 0}, 1000, 3);
    const int64_t start = *camera_milliseconds(sources.front().time);
    ASSERT_TRUE(append_movie_telemetry(movie, sources, {start, start + 2'000}));
    EXPECT_EQ(packet_hashes(movie), before);
    EXPECT_EQ(read_back(dir, movie).points.size(), 21u);
    const auto streams = run_command(
        "ffprobe -v error -show_entries stream=codec_type -of csv=p=0 " + quoted(movie));
    EXPECT_EQ(streams.out, "video\naudio\n") << streams.err;
    const auto played = run_command("gst-launch-1.0 -q filesrc location=" + quoted(movie) +
                                    " ! decodebin ! fakesink");
    EXPECT_EQ(played.status, 0) << played.err;
}

TEST(MovieTelemetry, GpxBesideTheMovieHasOnePointPerSource) {
    TempFolder dir;
    const std::string movie = make_movie(dir, "exp_20260601.mp4");
    ClipRoute route{"exp_20260601.mp4", drive({2026, 6, 1, 12, 0, 0}, 1000, 7)};
    RouteOptions options;
    options.utc_offset_minutes = 120;
    options.clock_correction_s = 3;
    const auto gpx = write_route_beside(movie, RouteFormat::gpx, route, options);
    ASSERT_TRUE(gpx) << gpx.error();
    EXPECT_EQ(*gpx, dir / "exp_20260601.gpx");
    // Track points are read with -t (without it gpsbabel reads waypoints only).
    const auto csv = run_command("gpsbabel -t -i gpx -f " + quoted(*gpx) + " -o csv -F -");
    ASSERT_EQ(csv.status, 0) << csv.err;
    EXPECT_EQ(std::count(csv.out.begin(), csv.out.end(), '\n'), 7) << csv.out;
    EXPECT_NE(csv.out.find("51.50000, -0.12000"), std::string::npos) << csv.out;
    // The clock settings apply: 12:00:00 two hours ahead of UTC, 3 s slow.
    const auto r =
        run_command("TZ=UTC gpsbabel -t -i gpx -f " + quoted(*gpx) + " -o unicsv,utc=0 -F -");
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(std::count(r.out.begin(), r.out.end(), '\n'), 8) << r.out;
    EXPECT_NE(r.out.find("10:00:03"), std::string::npos) << r.out;

    ClipRoute empty{"x", {}};
    EXPECT_FALSE(write_route_beside(movie, RouteFormat::gpx, empty, options));
}

}  // namespace
}  // namespace camvault
