// The whole chain on generated clips: tools/make-clip writes movies with a
// simulated drive, camvault-extract writes their telemetry scripts, and the
// reader, the summary and the trips take it from there. The drive's distance
// from its positions must agree with its recorded speeds, and clips recorded
// back to back make one trip.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include "library/trips.hpp"
#include "telemetry/script_reader.hpp"
#include "tests/library/drive_series.hpp"
#include "tests/telemetry/run_command.hpp"

namespace camvault {
namespace {

using testing::kNine;
using testing::quoted;
using testing::run_command;
using testing::TempFolder;

const std::string kMakeClip = std::string(CAMVAULT_SOURCE_DIR) + "/tools/make-clip";

void make_clip(const std::string& args, const std::string& out) {
    const auto r = run_command(quoted(kMakeClip) + " --size 320x240 " + args + " " + quoted(out));
    ASSERT_EQ(r.status, 0) << r.err;
}

// Extracts `clip` into `data` with camvault-extract and reads the script it
// wrote ("written <script> (<n> records...)") back; also the count it reported.
std::pair<ScriptContents, size_t> extract_and_read(const std::string& clip,
                                                   const TempFolder& data) {
    const auto r = run_command(quoted(CAMVAULT_EXTRACT_BIN) + " --data-dir " + quoted(data.path()) +
                               " " + quoted(clip));
    EXPECT_EQ(r.status, 0) << r.err;
    const std::string written = "written ";
    const size_t open = r.out.find(" (");
    if (r.out.rfind(written, 0) != 0 || open == std::string::npos) {
        ADD_FAILURE() << r.out;
        return {};
    }
    const std::string script = r.out.substr(written.size(), open - written.size());
    const size_t records = std::stoul(r.out.substr(open + 2));
    Result<ScriptContents> read = read_telemetry_script_file(script);
    EXPECT_TRUE(read) << read.error();
    return {read ? std::move(*read) : ScriptContents{}, records};
}

int64_t mtime_ms(const std::string& path) {
    struct stat info {};
    EXPECT_EQ(::stat(path.c_str(), &info), 0);
    return int64_t{info.st_mtim.tv_sec} * 1000 + info.st_mtim.tv_nsec / 1000000;
}

// Distance over the records against the recorded speeds: the same drive
// measured two ways.
void expect_distance_matches_speeds(const std::vector<TelemetryPoint>& points,
                                    const ClipSummary& s) {
    double from_speeds = 0;
    for (size_t i = 1; i < points.size(); ++i)
        from_speeds += points[i - 1].speed_kmh / 3.6 *
                       static_cast<double>(points[i].time_ms - points[i - 1].time_ms) / 1000;
    EXPECT_GT(s.distance_m, 50);
    EXPECT_NEAR(s.distance_m, from_speeds, from_speeds * 0.1);
}

TEST(SummaryFromClips, OriginalBlocks) {
    TempFolder dir, data;
    ASSERT_NO_FATAL_FAILURE(make_clip("--seconds 30", dir / "A.MOV"));
    const auto [read, records] = extract_and_read(dir / "A.MOV", data);
    EXPECT_EQ(read.clip_name, "A.MOV");
    EXPECT_EQ(read.skipped_lines, 0u);
    EXPECT_FALSE(read.cut);
    ASSERT_EQ(read.points.size(), records);
    ASSERT_EQ(records, 300u);
    for (size_t i = 0; i < read.points.size(); ++i)
        ASSERT_EQ(read.points[i].time_ms, kNine + static_cast<int64_t>(i) * 100) << i;

    const ClipSummary s = summarize(read.points, EventThresholds{}, true);
    EXPECT_EQ(s.duration_ms, 29900);
    EXPECT_TRUE(s.has_gsensor);
    ASSERT_TRUE(s.has_position);
    // The "city" route starts at Trafalgar Square and cruises at 40 km/h.
    EXPECT_LT(haversine_m(s.start_lat, s.start_lon, 51.5074, -0.1278), 5);
    EXPECT_LE(s.max_speed_kmh, 40.5);
    EXPECT_GT(s.max_speed_kmh, 30);
    expect_distance_matches_speeds(read.points, s);
}

TEST(SummaryFromClips, FixLayoutWithUnknownAxes) {
    TempFolder dir, data;
    ASSERT_NO_FATAL_FAILURE(make_clip("--seconds 20 --layout viofo-a119v3", dir / "V.MOV"));
    const auto [read, records] = extract_and_read(dir / "V.MOV", data);
    EXPECT_EQ(read.skipped_lines, 0u);
    ASSERT_EQ(read.points.size(), records);
    ASSERT_EQ(records, 20u);  // one fix a second
    EXPECT_EQ(read.points.back().time_ms - read.points.front().time_ms, 19000);
    const ClipSummary s = summarize(read.points, EventThresholds{}, false);
    EXPECT_FALSE(s.axes_known);
    expect_distance_matches_speeds(read.points, s);
}

TEST(SummaryFromClips, BackToBackClipsAreOneTrip) {
    TempFolder dir, data;
    // Two 20 s clips a second apart, and between them by name and time a
    // clip of a rear camera without telemetry.
    ASSERT_NO_FATAL_FAILURE(make_clip("--seconds 20", dir / "2026_0601_090000_F.MOV"));
    ASSERT_NO_FATAL_FAILURE(
        make_clip("--seconds 20 --no-telemetry", dir / "2026_0601_090000_R.MOV"));
    ASSERT_NO_FATAL_FAILURE(
        make_clip("--seconds 20 --start \"2026-06-01 09:00:21\"", dir / "2026_0601_090021_F.MOV"));
    ASSERT_NO_FATAL_FAILURE(
        make_clip("--seconds 20 --start \"2026-06-01 10:00:00\"", dir / "2026_0601_100000_F.MOV"));
    std::vector<LibraryClip> clips;
    for (const char* name : {"2026_0601_100000_F.MOV", "2026_0601_090021_F.MOV",
                             "2026_0601_090000_R.MOV", "2026_0601_090000_F.MOV"}) {
        LibraryClip clip;
        clip.movie_path = dir / name;
        clip.mtime_ms = mtime_ms(clip.movie_path);
        const auto [read, records] = extract_and_read(clip.movie_path, data);
        if (records > 0)
            clip.summary = summarize(read.points, EventThresholds{}, true);
        clips.push_back(std::move(clip));
    }
    ASSERT_FALSE(clips[2].timed());
    const std::vector<Trip> trips = group_trips(clips);
    ASSERT_EQ(trips.size(), 2u);
    EXPECT_EQ(trips[0].clips, (std::vector<size_t>{3, 2, 1}));
    EXPECT_EQ(trips[0].start_ms, kNine);
    EXPECT_EQ(trips[0].end_ms, kNine + 21000 + 19900);
    EXPECT_EQ(trips[1].clips, (std::vector<size_t>{0}));
}

}  // namespace
}  // namespace camvault
