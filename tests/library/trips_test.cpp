// Trips: a commute of eight three-minute clips with one-second gaps is one
// trip whatever order the clips come in; an hour's pause splits it; clips
// without telemetry join only where their name and modification time place
// them between two clips of one trip.
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

constexpr int64_t kMinute = 60000;

// A clip of `minutes` from `start_ms`, its name numbered, modified when it ended.
LibraryClip clip_at(int number, int64_t start_ms, double minutes = 3, double kmh = 50) {
    Drive drive(start_ms);
    drive.cruise(minutes * 60 - 5, kmh).run(5, [kmh](double) {
        return Reading{kmh, 0, -0.6, 1};  // a brake at the end of each clip
    });
    LibraryClip clip;
    char name[32];
    std::snprintf(name, sizeof name, "/card/DCIM/2026_0601_%04d.MOV", number);
    clip.movie_path = name;
    clip.mtime_ms = drive.now_ms() + 2000;
    clip.summary = summarize(drive.points(), EventThresholds{}, true);
    return clip;
}

// Eight clips of three minutes, one second apart, from 09:00.
std::vector<LibraryClip> commute(int first_number = 1, int64_t start_ms = kNine) {
    std::vector<LibraryClip> clips;
    int64_t t = start_ms;
    for (int k = 0; k < 8; ++k) {
        clips.push_back(clip_at(first_number + k, t));
        t = clips.back().summary->last_ms + 1000;
    }
    return clips;
}

LibraryClip without_telemetry(int number, int64_t mtime_ms) {
    LibraryClip clip;
    char name[32];
    std::snprintf(name, sizeof name, "/card/DCIM/2026_0601_%04d.MOV", number);
    clip.movie_path = name;
    clip.mtime_ms = mtime_ms;
    return clip;
}

std::vector<size_t> indices(size_t from, size_t to) {
    std::vector<size_t> out;
    for (size_t i = from; i < to; ++i)
        out.push_back(i);
    return out;
}

TEST(Trips, ACommuteIsOneTripInAnyOrder) {
    const std::vector<LibraryClip> clips = commute();
    const std::vector<Trip> trips = group_trips(clips);
    ASSERT_EQ(trips.size(), 1u);
    const Trip& trip = trips[0];
    EXPECT_TRUE(trip.timed);
    EXPECT_EQ(trip.clips, indices(0, 8));
    EXPECT_EQ(trip.start_ms, kNine);
    EXPECT_EQ(trip.end_ms, clips[7].summary->last_ms);
    EXPECT_EQ(trip.duration_ms, clips[7].summary->last_ms - kNine);
    EXPECT_NEAR(trip.duration_ms, 8 * 3 * kMinute, 8 * 1000);
    double distance = 0;
    for (const LibraryClip& c : clips)
        distance += c.summary->distance_m;
    EXPECT_DOUBLE_EQ(trip.distance_m, distance);
    EXPECT_NEAR(trip.distance_m, 50 / 3.6 * 8 * 180, 50);
    EXPECT_DOUBLE_EQ(trip.max_speed_kmh, 50);
    EXPECT_EQ(trip.event_count, 8u);

    // Listed in another order, the trip keeps its driving order.
    std::vector<size_t> order = indices(0, 8);
    std::shuffle(order.begin(), order.end(), std::mt19937(4));
    std::vector<LibraryClip> shuffled;
    for (const size_t i : order)
        shuffled.push_back(clips[i]);
    const std::vector<Trip> again = group_trips(shuffled);
    ASSERT_EQ(again.size(), 1u);
    std::vector<size_t> expected;
    for (size_t k = 0; k < 8; ++k)
        expected.push_back(
            static_cast<size_t>(std::find(order.begin(), order.end(), k) - order.begin()));
    EXPECT_EQ(again[0].clips, expected);
}

TEST(Trips, AnHoursPauseSplits) {
    std::vector<LibraryClip> clips = commute();
    const int64_t evening = clips.back().summary->last_ms + 60 * kMinute;
    for (LibraryClip& c : commute(9, evening))
        clips.push_back(std::move(c));
    const std::vector<Trip> trips = group_trips(clips);
    ASSERT_EQ(trips.size(), 2u);
    EXPECT_EQ(trips[0].clips, indices(0, 8));
    EXPECT_EQ(trips[1].clips, indices(8, 16));
    EXPECT_EQ(trips[1].start_ms, evening);
}

TEST(Trips, TheGapDecides) {
    std::vector<LibraryClip> clips = {clip_at(1, kNine)};
    clips.push_back(clip_at(2, clips[0].summary->last_ms + 10000));  // exactly the gap
    clips.push_back(clip_at(3, clips[1].summary->last_ms + 10001));  // one ms more
    const std::vector<Trip> trips = group_trips(clips);
    ASSERT_EQ(trips.size(), 2u);
    EXPECT_EQ(trips[0].clips, indices(0, 2));
    EXPECT_EQ(trips[1].clips, indices(2, 3));
    EXPECT_EQ(group_trips(clips, 20000).size(), 1u);
    EXPECT_EQ(group_trips(clips, 5000).size(), 3u);
}

TEST(Trips, OverlappingClipsAreOneTrip) {
    // A front and a rear camera record the same minutes.
    std::vector<LibraryClip> clips = {clip_at(1, kNine), clip_at(2, kNine + 500),
                                      clip_at(3, kNine + 3 * kMinute + 1000)};
    const std::vector<Trip> trips = group_trips(clips);
    ASSERT_EQ(trips.size(), 1u);
    EXPECT_EQ(trips[0].end_ms, clips[2].summary->last_ms);
}

TEST(Trips, ClipsWithoutTelemetryJoinOnlyWhereTheyFitBetween) {
    std::vector<LibraryClip> clips = commute(10);  // names 0010..0017
    const int64_t evening = clips.back().summary->last_ms + 60 * kMinute;
    for (LibraryClip& c : commute(30, evening))  // names 0030..0037
        clips.push_back(std::move(c));
    // 8: between 0012 and 0013 by name and modification time: joins there.
    clips.push_back(without_telemetry(12, 0));
    clips.back().movie_path = "/card/DCIM/2026_0601_0012_R.MOV";
    clips.back().mtime_ms = clips[2].mtime_ms + 100;
    // 17: between 0014 and 0015 by name, but modified later than 0015.
    clips.push_back(without_telemetry(0, clips[5].mtime_ms + 1));
    clips.back().movie_path = "/card/DCIM/2026_0601_0014_R.MOV";
    // 18: between the two trips by name (0020) and time.
    clips.push_back(without_telemetry(20, clips[7].mtime_ms + 30 * kMinute));
    // 19: after everything.
    clips.push_back(without_telemetry(99, evening + 60 * kMinute));
    // 20: a clip whose records have clock times but no fix joins by its time.
    {
        Drive drive(clips[15].summary->last_ms + 1000);
        drive.cruise(60, 0);
        for (TelemetryPoint& p : drive.points())
            p.lat = p.lon = 0;
        LibraryClip no_fix = without_telemetry(38, drive.now_ms());
        no_fix.summary = summarize(drive.points(), EventThresholds{}, true);
        clips.push_back(std::move(no_fix));
    }
    // 21: between 0015 and 0016 by name, but modified before 0015.
    clips.push_back(without_telemetry(0, clips[5].mtime_ms - 1));
    clips.back().movie_path = "/card/DCIM/2026_0601_0015_R.MOV";
    // 22: like 16, listed later, its name sorting before 16's.
    clips.push_back(without_telemetry(0, clips[2].mtime_ms + 50));
    clips.back().movie_path = "/card/DCIM/2026_0601_0012_F.MOV";
    const std::vector<Trip> trips = group_trips(clips);
    ASSERT_EQ(trips.size(), 6u);
    EXPECT_EQ(trips[0].clips, (std::vector<size_t>{0, 1, 2, 22, 16, 3, 4, 5, 6, 7}));
    std::vector<size_t> evening_trip = indices(8, 16);
    evening_trip.push_back(20);
    EXPECT_EQ(trips[1].clips, evening_trip);
    // The lone ones, by name, with no times.
    EXPECT_EQ(trips[2].clips, (std::vector<size_t>{17}));
    EXPECT_EQ(trips[3].clips, (std::vector<size_t>{21}));
    EXPECT_EQ(trips[4].clips, (std::vector<size_t>{18}));
    EXPECT_EQ(trips[5].clips, (std::vector<size_t>{19}));
    for (size_t t = 2; t < 6; ++t) {
        EXPECT_FALSE(trips[t].timed);
        EXPECT_EQ(trips[t].distance_m, 0);
    }
    // A clip without telemetry adds nothing to its trip's figures.
    EXPECT_EQ(trips[0].event_count, 8u);
}

TEST(Trips, NamesInAPersonsOrder) {
    EXPECT_LT(compare_clip_names("clip9.MOV", "clip10.MOV"), 0);
    EXPECT_GT(compare_clip_names("clip10.MOV", "clip9.MOV"), 0);
    EXPECT_LT(compare_clip_names("FILE0001.MOV", "FILE0002.MOV"), 0);
    EXPECT_LT(compare_clip_names("a.MOV", "b.MOV"), 0);
    EXPECT_LT(compare_clip_names("clip1", "clip1a"), 0);
    EXPECT_EQ(compare_clip_names("x7", "x7"), 0);
    EXPECT_NE(compare_clip_names("x07", "x7"), 0);
    EXPECT_EQ(compare_clip_names("x07", "x7"), -compare_clip_names("x7", "x07"));
    EXPECT_LT(compare_clip_names("n99999999999999999999999", "n100000000000000000000000"), 0);
    EXPECT_EQ(file_name_of("/card/DCIM/A.MOV"), "A.MOV");
    EXPECT_EQ(file_name_of("A.MOV"), "A.MOV");

    // An order: sorting random names with it never disagrees with itself.
    std::mt19937 rng(11);
    const std::string alphabet = "a0b19._-";
    std::vector<std::string> names(300);
    for (std::string& n : names) {
        const int length = std::uniform_int_distribution<int>(0, 6)(rng);
        for (int i = 0; i < length; ++i)
            n += alphabet[std::uniform_int_distribution<size_t>(0, alphabet.size() - 1)(rng)];
    }
    for (const std::string& a : names) {
        for (const std::string& b : names) {
            ASSERT_EQ(compare_clip_names(a, b), -compare_clip_names(b, a)) << a << " " << b;
            ASSERT_EQ(compare_clip_names(a, b) == 0, a == b) << a << " " << b;
        }
    }
    std::sort(names.begin(), names.end(), [](const std::string& a, const std::string& b) {
        return compare_clip_names(a, b) < 0;
    });
    for (size_t i = 0; i + 1 < names.size(); ++i) {
        for (size_t j = i + 1; j < names.size(); ++j)
            ASSERT_LE(compare_clip_names(names[i], names[j]), 0) << names[i] << " " << names[j];
    }
}

}  // namespace
}  // namespace camvault
