// Trips: eight three-minute clips one second apart are one trip in any listing
// order, an hour's pause splits, and clips without telemetry join only where
// their name and modification time put them between two clips of one trip.
#include "library/trips.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>

#include "tests/library/drive_series.hpp"

namespace camvault {
namespace {

using testing::Drive;
using testing::kNine;
using testing::Reading;

LibraryClip clip_named(const std::string& name, int64_t mtime_ms) {
    LibraryClip clip;
    clip.movie_path = "/card/DCIM/" + name + ".MOV";
    clip.mtime_ms = mtime_ms;
    return clip;
}

// Three minutes at 50 km/h from `start_ms` ending in a brake, modified at its end.
LibraryClip clip_at(int number, int64_t start_ms, double seconds = 180) {
    Drive drive(start_ms);
    drive.cruise(seconds - 5, 50).run(5, [](double) { return Reading{50, 0, -0.6}; });
    LibraryClip clip = clip_named("2026_0601_" + std::to_string(1000 + number), drive.now_ms());
    clip.summary = summarize(drive.points, EventThresholds{}, true);
    return clip;
}

// Eight clips one second apart from `start_ms`, appended to `clips`.
void commute(std::vector<LibraryClip>& clips, int first_number, int64_t start_ms) {
    for (int k = 0; k < 8; ++k) {
        clips.push_back(clip_at(first_number + k, start_ms));
        start_ms = clips.back().summary->last_ms + 1000;
    }
}

std::vector<size_t> range(size_t from, size_t to) {
    std::vector<size_t> out;
    while (from < to)
        out.push_back(from++);
    return out;
}

TEST(Trips, ACommuteIsOneTripInAnyOrder) {
    std::vector<LibraryClip> clips;
    commute(clips, 0, kNine);
    std::vector<size_t> order = range(0, 8);
    std::shuffle(order.begin(), order.end(), std::mt19937(4));
    std::vector<LibraryClip> listed;
    for (const size_t i : order)
        listed.push_back(clips[i]);
    const std::vector<Trip> trips = group_trips(listed);
    ASSERT_EQ(trips.size(), 1u);
    std::vector<size_t> driven;
    for (const size_t i : trips[0].clips)
        driven.push_back(order[i]);
    EXPECT_EQ(driven, range(0, 8));
    EXPECT_EQ(trips[0].start_ms, kNine);
    EXPECT_EQ(trips[0].duration_ms, 8 * 179900 + 7 * 1000);
    EXPECT_NEAR(trips[0].distance_m, 8 * (50 / 3.6 * 180), 8 * 15);
    EXPECT_EQ(trips[0].max_speed_kmh, 50);
    EXPECT_EQ(trips[0].event_count, 8u);
}

TEST(Trips, PausesSplit) {
    std::vector<LibraryClip> clips;
    commute(clips, 0, kNine);
    commute(clips, 10, clips.back().summary->last_ms + 3600000);
    const std::vector<Trip> trips = group_trips(clips);
    ASSERT_EQ(trips.size(), 2u);
    EXPECT_EQ(trips[0].clips, range(0, 8));
    EXPECT_EQ(trips[1].clips, range(8, 16));

    std::vector<LibraryClip> three = {clip_at(1, kNine)};
    three.push_back(clip_at(2, three[0].summary->last_ms + 10000));  // exactly the gap
    three.push_back(clip_at(3, three[1].summary->last_ms + 10001));
    three.push_back(clip_at(4, kNine + 1000, 60));  // within the first: a second camera
    EXPECT_EQ(group_trips(three).size(), 2u);
    EXPECT_EQ(group_trips(three)[0].clips, (std::vector<size_t>{0, 3, 1}));
    EXPECT_EQ(group_trips(three, 20000).size(), 1u);
    EXPECT_EQ(group_trips(three, 5000).size(), 3u);
}

TEST(Trips, ClipsWithoutTelemetryJoinOnlyWhereTheyFitBetween) {
    std::vector<LibraryClip> clips;
    commute(clips, 10, kNine);                                                 // 0..7: 1010..1017
    commute(clips, 30, clips.back().summary->last_ms + 3600000);               // 8..15: 1030..1037
    clips.push_back(clip_named("2026_0601_1012_R", clips[2].mtime_ms + 100));  // 16: joins
    clips.push_back(clip_named("2026_0601_1014_R", clips[5].mtime_ms + 1));    // 17: too late
    clips.push_back(clip_named("2026_0601_1015_R", clips[5].mtime_ms - 1));    // 18: too early
    clips.push_back(clip_named("2026_0601_1020", clips[7].mtime_ms + 60000));  // 19: between trips
    clips.push_back(clip_named("2026_0601_1099", clips[15].mtime_ms + 1));     // 20: after all
    clips.push_back(clip_named("2026_0601_1012_F", clips[2].mtime_ms + 50));   // 21: joins, first
    // 22: records with clock times but no fix: joins by its time.
    Drive no_fix(clips[15].summary->last_ms + 1000);
    no_fix.cruise(60, 0);
    for (TelemetryPoint& p : no_fix.points)
        p.lat = p.lon = 0;
    clips.push_back(clip_named("2026_0601_1038", 0));
    clips.back().summary = summarize(no_fix.points, EventThresholds{}, true);

    const std::vector<Trip> trips = group_trips(clips);
    ASSERT_EQ(trips.size(), 6u);
    EXPECT_EQ(trips[0].clips, (std::vector<size_t>{0, 1, 2, 21, 16, 3, 4, 5, 6, 7}));
    EXPECT_EQ(trips[0].event_count, 8u);
    std::vector<size_t> evening = range(8, 16);
    evening.push_back(22);
    EXPECT_EQ(trips[1].clips, evening);
    for (size_t t = 2; t < 6; ++t) {
        EXPECT_FALSE(trips[t].timed);
        EXPECT_EQ(trips[t].clips, (std::vector<size_t>{t + 15}));  // alone, by name
    }
}

TEST(Trips, NamesInAPersonsOrder) {
    EXPECT_LT(compare_clip_names("clip9.MOV", "clip10.MOV"), 0);
    EXPECT_GT(compare_clip_names("clip10.MOV", "clip9.MOV"), 0);
    EXPECT_LT(compare_clip_names("n99999999999999999999999", "n100000000000000000000000"), 0);
    EXPECT_LT(compare_clip_names("clip1", "clip1a"), 0);
    EXPECT_NE(compare_clip_names("x07", "x7"), 0);
    EXPECT_EQ(compare_clip_names("x07", "x7"), -compare_clip_names("x7", "x07"));
}

}  // namespace
}  // namespace camvault
