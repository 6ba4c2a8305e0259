// Pure parts of the media tools: frame arithmetic, file stamps, whole-frame
// durations and click rings.
#include <gtest/gtest.h>

#include <cmath>

#include <string>
#include <vector>

#include "media/file_names.hpp"
#include "media/merge_plan.hpp"
#include "media/photo_request.hpp"
#include "media/recorder_plan.hpp"
#include "media/snapshot_stamp.hpp"

namespace camvault::media {
namespace {

TEST(FramePosition, PageTimePlusOneSecondInThirtieths) {
    EXPECT_EQ(frame_position(0, 0)->count, 30);
    EXPECT_EQ(frame_position(0, 0)->timescale, 30);
    EXPECT_EQ(frame_position(2, 5)->count, 3780);
    EXPECT_EQ(frame_position(2, 5)->nanoseconds(), 126'000'000'000);
    EXPECT_EQ(frame_position(0, -3)->nanoseconds(), -2'000'000'000);  // refused by the grabber
}

TEST(FramePosition, TimesBeyondThirtyTwoBitsNameNoFrame) {
    // Wrapped, these named frames near the start: 2147483647 * 30 + 30 is 0 in 32 bits,
    // and minus two billion seconds came out as 1 s.
    EXPECT_FALSE(frame_position(0, 2147483647));
    EXPECT_FALSE(frame_position(0, -2000000000));
    EXPECT_FALSE(frame_position(2000000, 0));
    EXPECT_EQ(frame_position(0, 71582787)->count, 2147483640);  // the last that fits
    EXPECT_FALSE(frame_position(0, 71582788));
}

std::tm make_tm(int year, int month, int day, int hour, int minute, int second) {
    std::tm t{};
    t.tm_year = year - 1900;
    t.tm_mon = month - 1;
    t.tm_mday = day;
    t.tm_hour = hour;
    t.tm_min = minute;
    t.tm_sec = second;
    t.tm_isdst = -1;
    std::mktime(&t);  // fills in the week day and day of the year
    return t;
}

TEST(Stamps, CalendarDateInEveryPattern) {
    const auto dec5 = make_tm(2026, 12, 5, 11, 59, 11);
    EXPECT_EQ(snapshot_stamp(dec5), "2026_1205_115911");
    EXPECT_EQ(export_stamp(dec5), "20261205_115911");
    // Not the week-based year and day of the year (202612339115911).
    EXPECT_EQ(recording_stamp(dec5), "20261205115911");
    // 31 December 2025 lies in ISO week 1 of 2026; the stamp keeps 2025.
    EXPECT_EQ(recording_stamp(make_tm(2025, 12, 31, 10, 0, 0)), "20251231100000");
    EXPECT_EQ(snapshot_stamp(make_tm(2026, 1, 5, 8, 3, 0)), "2026_0105_080300");
}

TEST(WholeFrameDuration, CutsToTheLastWholeFrame) {
    constexpr uint64_t s = 1'000'000'000;
    // Audio 21 ms longer than 10 s of 30 fps video: the video's 300 frames.
    EXPECT_EQ(whole_frame_duration(10 * s + 21'000'000, 30, 1), 10 * s);
    // Rounding just below a frame boundary still counts the frame.
    EXPECT_EQ(whole_frame_duration(10 * s - 1, 30, 1), 10 * s);
    EXPECT_EQ(whole_frame_duration(10 * s + 40'000'000, 30, 1), 10 * s + 33'333'333);
    // NTSC rate: 300 frames of 1001/30000 s.
    EXPECT_EQ(whole_frame_duration(10'010'000'000 + 5'000'000, 30000, 1001), 10'010'000'000);
    // Unknown rate: unchanged.
    EXPECT_EQ(whole_frame_duration(1234, 0, 1), 1234u);
}

TEST(PieceSpans, InAndOutPointsOnFramesPlacedEndToEnd) {
    constexpr uint64_t s = 1'000'000'000;
    const ClipTiming clip{2 * s + 21'000'000, 30, 1};  // 60 frames and a little sound
    const auto spans = plan_spans({{"a", s + 10'000'000, std::nullopt},  // nearest frame: 1 s
                                   {"b", 0, std::nullopt},
                                   {"c", 0, s / 2 + 10'000'000}},  // 0.5 s + under half a frame
                                  {clip, clip, clip});
    ASSERT_TRUE(spans);
    ASSERT_EQ(spans->size(), 3u);
    EXPECT_EQ((*spans)[0].inpoint, s);
    EXPECT_EQ((*spans)[0].length, s);
    EXPECT_EQ((*spans)[1].offset, s);
    EXPECT_EQ((*spans)[1].length, 2 * s);
    EXPECT_EQ((*spans)[2].offset, 3 * s);
    EXPECT_EQ((*spans)[2].length, s / 2);
    // An out-point past the end is the end; 29.97 frames per second round too.
    const auto ntsc = plan_spans({{"a", 0, 9 * s}}, {{5 * s, 30000, 1001}});
    ASSERT_TRUE(ntsc);
    EXPECT_EQ((*ntsc)[0].length, 4'971'633'333u);  // 149 frames
}

TEST(PieceSpans, APieceWithoutFramesIsRefused) {
    constexpr uint64_t s = 1'000'000'000;
    const ClipTiming clip{2 * s, 30, 1};
    EXPECT_FALSE(plan_spans({{"a", s, s}}, {clip}));
    EXPECT_FALSE(plan_spans({{"a", s, s / 2}}, {clip}));
    EXPECT_FALSE(plan_spans({{"a", 3 * s, std::nullopt}}, {clip}));
    EXPECT_FALSE(plan_spans({{"a", 0, 10'000'000}}, {clip}));  // under half a frame
    EXPECT_FALSE(plan_spans({{"a", 0, std::nullopt}}, {}));
}

// Feeds `frames` AAC frames (48 kHz) from a piece's start at `offset_ns`;
// returns how many were placed. With `follow_on`, each must follow the one
// before without a gap.
int feed(AudioJoin& join, int64_t offset_ns, int frames, bool follow_on = false) {
    int placed = 0;
    for (int k = 0; k < frames; ++k) {
        const uint64_t end_before = join.end_ns();
        const auto at = join.place(offset_ns + k * 64'000'000'000LL / 3000);  // k * 1024 / 48000 s
        if (!at)
            continue;
        ++placed;
        if (follow_on) {
            EXPECT_EQ(*at, end_before) << "a gap or an overlap at frame " << k;
        }
    }
    return placed;
}

TEST(AudioJoin, SoundThatFillsEachPieceFollowsOnExactly) {
    // Pieces of 2812 frames each (59.989333... s: times rounded to the nanosecond).
    constexpr int64_t piece = 59'989'333'333;
    AudioJoin join(48000);
    for (int i = 0; i < 10; ++i)
        EXPECT_EQ(feed(join, i * piece, 2812, true), 2812);
    EXPECT_EQ(join.end_ns(), 599'893'333'333u);
}

TEST(AudioJoin, SoundShortOfThePictureNeverDrifts) {
    // Forty one-minute clips whose sound holds 2812 frames, half a frame
    // short of the picture, as cameras cut it: no frame is lost, and the
    // sound never ends more than a frame from the picture.
    constexpr int64_t minute = 60'000'000'000;
    constexpr double frame = 1024.0 / 48000 * 1e9;
    AudioJoin join(48000);
    for (int i = 0; i < 40; ++i) {
        EXPECT_EQ(feed(join, i * minute, 2812), 2812);
        EXPECT_NEAR(static_cast<double>(join.end_ns()), (i + 1) * minute, frame) << "clip " << i;
    }
}

TEST(AudioJoin, SoundThatRunsOnIsCutAndAGapInTheRecordingKept) {
    constexpr int64_t s = 1'000'000'000;
    constexpr double frame = 1024.0 / 48000 * 1e9;
    AudioJoin join(48000);
    // Starting a third of a frame early: the first frame is placed at 0.
    EXPECT_EQ(join.place(-7'000'000), 0u);
    // Pieces of 2 s whose sound runs 2.1 s: what overlaps the next is dropped.
    AudioJoin runs_on(48000);
    int placed = 0;
    for (int i = 0; i < 5; ++i)
        placed += feed(runs_on, i * 2 * s, 99);
    EXPECT_LT(placed, 5 * 99);
    EXPECT_NEAR(static_cast<double>(runs_on.end_ns()), 8 * s + 99 * frame, frame);
    // A piece without sound: the next piece's sound keeps its place.
    const auto after_gap = runs_on.place(20 * s);
    ASSERT_TRUE(after_gap);
    EXPECT_EQ(*after_gap, static_cast<uint64_t>(20 * s));
}

TEST(TrimmedSpan, PiecesOfTheClipsThatTheSpanCrosses) {
    constexpr uint64_t s = 1'000'000'000;
    const std::vector<std::string> clips{"a", "b", "c"};
    const std::vector<uint64_t> durations{2 * s, 3 * s, 2 * s};
    EXPECT_EQ(
        pieces_for_span(clips, durations, s, 6 * s),
        (std::vector<ExportPiece>{{"a", s, std::nullopt}, {"b", 0, std::nullopt}, {"c", 0, s}}));
    EXPECT_EQ(pieces_for_span(clips, durations, 2 * s, 5 * s),
              (std::vector<ExportPiece>{{"b", 0, std::nullopt}}));
    EXPECT_EQ(pieces_for_span(clips, durations, 2500'000'000, 3 * s),
              (std::vector<ExportPiece>{{"b", 500'000'000, s}}));
    EXPECT_EQ(pieces_for_span(clips, durations, 0, 60 * s).size(), 3u);
    EXPECT_TRUE(pieces_for_span(clips, durations, 7 * s, 8 * s).empty());
}

TEST(ClickRing, GrowsAndFadesThenVanishes) {
    EXPECT_FALSE(click_ring(1000, 999));  // not before the click
    const auto start = click_ring(1000, 1000);
    const auto later = click_ring(1000, 1000 + kClickRingNs / 2);
    ASSERT_TRUE(start && later);
    EXPECT_DOUBLE_EQ(start->alpha, 1.0);
    EXPECT_LT(later->alpha, start->alpha);
    EXPECT_GT(later->radius, start->radius);
    EXPECT_FALSE(click_ring(1000, 1000 + kClickRingNs));
}

std::vector<uint8_t> box(const std::string& type, std::vector<uint8_t> payload) {
    const uint32_t size = static_cast<uint32_t>(payload.size() + 8);
    std::vector<uint8_t> out(8 + payload.size());
    for (int i = 0; i < 4; ++i) {
        out[i] = static_cast<uint8_t>(size >> (24 - 8 * i));
        out[4 + i] = static_cast<uint8_t>(type[i]);
    }
    std::copy(payload.begin(), payload.end(), out.begin() + 8);
    return out;
}

std::vector<uint8_t> operator+(std::vector<uint8_t> a, const std::vector<uint8_t>& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

TEST(MovieHeader, DurationFromTheHeadOfARecording) {
    // mvhd version 0: flags, created, modified, timescale 1000, duration 4200.
    std::vector<uint8_t> v0(100, 0);
    v0[15] = 0xE8, v0[14] = 0x03, v0[18] = 0x10, v0[19] = 0x68;
    std::vector<uint8_t> v1(112, 0);
    v1[0] = 1, v1[31] = 0x05;  // version 1: 8-byte times, an 8-byte duration of 5 at offset 24
    const auto ftyp = box("ftyp", {'q', 't', ' ', ' ', 0, 0, 0, 0});
    EXPECT_EQ(movie_header_duration(ftyp + box("moov", box("mvhd", v0))), 4200u);
    EXPECT_EQ(movie_header_duration(ftyp + box("free", {1, 2}) + box("moov", box("mvhd", v1))), 5u);
    EXPECT_EQ(movie_header_duration(ftyp + box("moov", box("mvhd", std::vector<uint8_t>(100, 0)))),
              0u);                              // a disk full from the start: nothing recorded
    EXPECT_FALSE(movie_header_duration({}));    // an empty file
    EXPECT_FALSE(movie_header_duration(ftyp));  // no header yet
    auto cut = ftyp + box("moov", box("mvhd", v0));
    cut.resize(ftyp.size() + 20);
    EXPECT_FALSE(movie_header_duration(cut));  // cut inside the header
}

TEST(SnapshotStamp, NamesAfterTheClockTimeWithMilliseconds) {
    SnapshotStamp stamp;
    stamp.clock_ms = 1780304405500;  // 2026-06-01 09:00:05.500
    EXPECT_EQ(stamped_snapshot_stem("/card/DCIM/FILE0001.MOV", stamp),
              "FILE0001_2026-06-01_09-00-05.500");
    EXPECT_EQ(stamped_snapshot_stem("/card/a.b c.mov", stamp), "a.b c_2026-06-01_09-00-05.500");
    EXPECT_EQ(stamped_snapshot_stem("/card/.MOV", stamp), ".MOV_2026-06-01_09-00-05.500");
    EXPECT_EQ(clock_text(1780304405500), "2026-06-01T09:00:05.500");
    // Before 1970 the milliseconds still count forward within their second.
    EXPECT_EQ(clock_file_stamp(-1), "1969-12-31_23-59-59.999");
    EXPECT_EQ(clock_file_stamp(-62135596800000), "0001-01-01_00-00-00.000");
    EXPECT_FALSE(clock_file_stamp(-62135596800001));
    EXPECT_FALSE(clock_file_stamp(253402300800000));  // the year 10000
    stamp.clock_ms = 253402300800000;
    EXPECT_FALSE(stamped_snapshot_stem("/card/A.MOV", stamp));
}

TEST(SnapshotStamp, TextChunksHoldWhatIsKnown) {
    SnapshotStamp stamp;
    stamp.clock_ms = 1780304405500;
    stamp.latitude = 51.5074;
    stamp.longitude = -0.1278;
    stamp.speed_kmh = 52.34;
    stamp.heading = -90;
    const auto text = snapshot_text_chunks("FILE0001.MOV", stamp, "CamVault 1");
    const PngText expected = {{"Title", "FILE0001.MOV"},
                              {"Source", "FILE0001.MOV"},
                              {"Creation Time", "2026-06-01T09:00:05.500"},
                              {"Latitude", "51.5074000"},
                              {"Longitude", "-0.1278000"},
                              {"Speed", "52.3 km/h"},
                              {"Heading", "270.0"},
                              {"Software", "CamVault 1"}};
    EXPECT_EQ(text, expected);
    // No fix, or a position off the globe: no position, no invented speed.
    stamp.latitude = 91;
    stamp.speed_kmh.reset();
    stamp.heading = std::nan("");
    const auto partial = snapshot_text_chunks("A.MOV", stamp, "CamVault 1");
    for (const auto& [key, value] : partial)
        EXPECT_TRUE(key != "Latitude" && key != "Speed" && key != "Heading") << key;
}

}  // namespace
}  // namespace camvault::media
