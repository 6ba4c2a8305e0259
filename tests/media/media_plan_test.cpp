// Pure parts of the media tools: get_photo argument parsing and frame
// arithmetic, file stamps and never-overwrite naming, merge list parsing,
// whole-frame durations, the recorder's pipeline text and click rings.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "media/file_names.hpp"
#include "media/merge_plan.hpp"
#include "media/photo_request.hpp"
#include "media/recorder_plan.hpp"

namespace camvault::media {
namespace {

namespace fs = std::filesystem;

TEST(PhotoRequest, ReadsMovieMinutesSecondsAndIgnoresFurtherFields) {
    auto r = parse_photo_command("http://get_photo/file:///m/a%20b.MOV;2;5;99");
    EXPECT_EQ(r.movie_url, "file:///m/a%20b.MOV");  // escapes stay for URL parsing
    EXPECT_EQ(r.minutes, 2);
    EXPECT_EQ(r.seconds, 5);
    EXPECT_TRUE(r.complete);

    r = parse_photo_command("x?http://get_photo/u;abc;7http://get_photo/");
    EXPECT_EQ(r.movie_url, "x?u");  // every occurrence of the prefix removed
    EXPECT_EQ(r.minutes, 0);        // letters only read as 0
    EXPECT_EQ(r.seconds, 7);
}

TEST(PhotoRequest, FewerThanThreeFieldsIsIncomplete) {
    EXPECT_FALSE(parse_photo_command("http://get_photo/file:///a.MOV;1").complete);
    EXPECT_FALSE(parse_photo_command("http://get_photo/").complete);
    EXPECT_TRUE(parse_photo_command("http://get_photo/;;").complete);
}

TEST(PhotoRequest, LeadingIntegerLikeStrtolClampedTo32Bits) {
    EXPECT_EQ(read_leading_int32("  -12abc"), -12);
    EXPECT_EQ(read_leading_int32("+7"), 7);
    EXPECT_EQ(read_leading_int32("x12"), 0);
    EXPECT_EQ(read_leading_int32("- 3"), 0);
    EXPECT_EQ(read_leading_int32(""), 0);
    EXPECT_EQ(read_leading_int32("99999999999999999999"), 2147483647);
    EXPECT_EQ(read_leading_int32("-99999999999999999999"), -2147483648);
    EXPECT_EQ(read_leading_int32("2147483648"), 2147483647);
    EXPECT_EQ(read_leading_int32("-2147483648"), -2147483648);
}

TEST(FramePosition, PageTimePlusOneSecondInThirtieths) {
    EXPECT_EQ(frame_position(0, 0).count, 30);
    EXPECT_EQ(frame_position(0, 0).timescale, 30);
    EXPECT_EQ(frame_position(2, 5).count, 3780);
    EXPECT_EQ(frame_position(2, 5).nanoseconds(), 126'000'000'000);
    EXPECT_EQ(frame_position(0, -3).count, -60);
    EXPECT_EQ(frame_position(0, -3).nanoseconds(), -2'000'000'000);
}

TEST(FramePosition, WrapsIn32BitsThenWidens) {
    // 2147483647 * 30 + 30 wraps to 0 in 32 bits.
    EXPECT_EQ(frame_position(0, 2147483647).count, 0);
    // 35791394 * 60 + 7 is INT32_MAX; times 30 plus 30 wraps.
    const int64_t wide = (int64_t{35791394} * 60 + 7) * 30 + 30;
    EXPECT_EQ(frame_position(35791394, 7).count, static_cast<int32_t>(static_cast<uint32_t>(wide)));
    EXPECT_EQ(frame_position(1000000, 0).count, static_cast<int32_t>(1000000u * 60u * 30u + 30u));
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

TEST(FileNames, NumberedCandidates) {
    EXPECT_EQ(numbered_name("2026_1205_115911", "png", 1), "2026_1205_115911.png");
    EXPECT_EQ(numbered_name("2026_1205_115911", "png", 2), "2026_1205_115911-2.png");
    EXPECT_EQ(numbered_name("exp_20261205_115911", "mov", 10), "exp_20261205_115911-10.mov");
}

class TempDir : public ::testing::Test {
  protected:
    void SetUp() override {
        dir_ =
            fs::temp_directory_path() /
            ("camvault-names-" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()) +
             "-" + ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(dir_);
        fs::create_directories(dir_);
    }
    void TearDown() override { fs::remove_all(dir_); }
    std::string write(const std::string& name, const std::string& content) {
        const auto path = (dir_ / name).string();
        std::ofstream(path) << content;
        return path;
    }
    static std::string read(const std::string& path) {
        std::ifstream in(path);
        return std::string(std::istreambuf_iterator<char>(in), {});
    }
    fs::path dir_;
};

TEST_F(TempDir, PublishNeverReplacesAnEarlierFile) {
    const auto first = publish_without_overwrite(write(".a", "one"), dir_.string(), "shot", "png");
    const auto second = publish_without_overwrite(write(".b", "two"), dir_.string(), "shot", "png");
    const auto third =
        publish_without_overwrite(write(".c", "three"), dir_.string(), "shot", "png");
    ASSERT_TRUE(first.path && second.path && third.path);
    EXPECT_EQ(*first.path, (dir_ / "shot.png").string());
    EXPECT_EQ(*second.path, (dir_ / "shot-2.png").string());
    EXPECT_EQ(*third.path, (dir_ / "shot-3.png").string());
    EXPECT_EQ(read(*first.path), "one");
    EXPECT_EQ(read(*second.path), "two");
    EXPECT_EQ(read(*third.path), "three");
    EXPECT_FALSE(fs::exists(dir_ / ".a"));  // the temporary name is gone
}

TEST_F(TempDir, PublishIntoMissingFolderFailsWithReason) {
    const auto result =
        publish_without_overwrite(write(".a", "x"), (dir_ / "nope").string(), "shot", "png");
    EXPECT_FALSE(result.path);
    EXPECT_NE(result.error.find("nope"), std::string::npos);
}

TEST_F(TempDir, CreateNewFileTakesTheNextFreeName) {
    write("Recording-20261205115911.mov", "older");
    const auto created = create_new_file(dir_.string(), "Recording-20261205115911", "mov");
    ASSERT_TRUE(created.path);
    EXPECT_EQ(*created.path, (dir_ / "Recording-20261205115911-2.mov").string());
    EXPECT_EQ(read((dir_ / "Recording-20261205115911.mov").string()), "older");
    EXPECT_TRUE(fs::exists(*created.path));
}

TEST_F(TempDir, TemporaryNamesAreHiddenAndDistinct) {
    const auto a = temporary_path(dir_.string(), "exp_1", "mov");
    const auto b = temporary_path(dir_.string(), "exp_1", "mov");
    EXPECT_NE(a, b);
    EXPECT_EQ(fs::path(a).filename().string()[0], '.');
    EXPECT_EQ(fs::path(a).extension(), ".mov");
}

TEST(MergeList, SplitsThenDecodesEachPath) {
    const auto paths = parse_merge_list("/a/x%20y.MOV,/b/%C3%A9t%C3%A9%2Cz.MOV,,/c.MOV,");
    ASSERT_EQ(paths.size(), 5u);
    EXPECT_EQ(paths[0], "/a/x y.MOV");
    EXPECT_EQ(paths[1], "/b/\xC3\xA9t\xC3\xA9,z.MOV");  // an encoded comma stays in its path
    EXPECT_EQ(paths[2], "");
    EXPECT_EQ(paths[3], "/c.MOV");
    EXPECT_EQ(paths[4], "");  // trailing comma: an empty element
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

TEST(RecorderPlan, DescriptionNamesTheElementsTheRecorderLooksUp) {
    RecorderSettings settings;
    settings.framerate = 25;
    const auto d = recorder_pipeline_description(settings);
    EXPECT_NE(d.find("ximagesrc"), std::string::npos);
    EXPECT_NE(d.find("framerate=25/1"), std::string::npos);
    EXPECT_NE(d.find("name=" + std::string(kRecorderSinkName)), std::string::npos);
    EXPECT_NE(d.find("name=" + std::string(kRecorderOverlayName)), std::string::npos);
    EXPECT_NE(d.find("qtmux name=" + std::string(kRecorderMuxName)), std::string::npos);
    EXPECT_NE(d.find("reserved-moov-update-period=1000000000"), std::string::npos);
    EXPECT_NE(d.find("reserved-max-duration=7200000000000"), std::string::npos);
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

}  // namespace
}  // namespace camvault::media
