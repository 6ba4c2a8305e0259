// Frame snapshots on real movies: the frame asked for (checked against
// ffmpeg's decode), upright for rotated movies, quick answers when there is
// no frame; and the get_photo / get_full_photo handlers with their page calls,
// log lines and never-overwritten files.
#include <gdk-pixbuf/gdk-pixbuf.h>
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <fstream>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <filesystem>

#include "media/frame_grabber.hpp"
#include "media/media_tools.hpp"
#include "media/photo_request.hpp"
#include "media/png_file.hpp"
#include "media_test_support.hpp"

namespace camvault::media {
namespace {

using namespace testing;
namespace fs = std::filesystem;

std::string file_uri(const std::string& path) {
    return "file://" + path;
}

Rgb to_rgb(const RgbImage& image) {
    Rgb rgb{image.width, image.height, {}};
    for (int y = 0; y < image.height; ++y)
        for (int x = 0; x < image.width; ++x)
            for (int c = 0; c < 3; ++c)
                rgb.pixels.push_back(image.pixels[y * image.stride + x * image.channels + c]);
    return rgb;
}

// Clips shared by the tests of this file, made once.
class Clips : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        dir_ = new TempHome();
        small_ = make_clip(dir_->path() + "/small clip.mov", ClipSpec{320, 180, 3.0});
        rotated_ = make_clip(dir_->path() + "/rotated.mov", ClipSpec{320, 180, 2.0, 90});
    }
    static void TearDownTestSuite() { delete dir_; }
    static TempHome* dir_;
    static std::string small_;
    static std::string rotated_;
};
TempHome* Clips::dir_ = nullptr;
std::string Clips::small_;
std::string Clips::rotated_;

TEST_F(Clips, FrameMatchesFfmpegAndDiffersFromItsNeighbours) {
    ASSERT_FALSE(small_.empty());
    const auto frame = grab_frame(file_uri(dir_->path()) + "/small%20clip.mov", 1'000'000'000);
    ASSERT_TRUE(frame) << frame.error();
    const Rgb ours = to_rgb(*frame);
    const double same = rms_difference(ours, ffmpeg_frame_number(small_, 30));
    const double before = rms_difference(ours, ffmpeg_frame_number(small_, 29));
    const double after = rms_difference(ours, ffmpeg_frame_number(small_, 31));
    EXPECT_GE(same, 0);
    EXPECT_LT(same, 3.0);
    EXPECT_GT(before, same + 2.0);
    EXPECT_GT(after, same + 2.0);
}

TEST_F(Clips, RotatedMovieComesOutUpright) {
    ASSERT_FALSE(rotated_.empty());
    const auto frame = grab_frame(file_uri(rotated_), 500'000'000);
    ASSERT_TRUE(frame) << frame.error();
    EXPECT_EQ(frame->width, 180);
    EXPECT_EQ(frame->height, 320);
    // ffmpeg turns the picture by the same rule: the pixels agree too.
    EXPECT_LT(rms_difference(to_rgb(*frame), ffmpeg_frame_number(rotated_, 15)), 3.0);
}

TEST_F(Clips, ColourMatrixFollowsTheMovieAndDefaultsLikeFfmpeg) {
    // Untagged HD is read as BT.601 (as ffmpeg does), tagged HD as it says.
    const std::string untagged = make_clip(dir_->path() + "/hd.mov", ClipSpec{1280, 720, 1.0});
    ClipSpec tagged_spec{1280, 720, 1.0};
    tagged_spec.bt709 = true;
    const std::string tagged = make_clip(dir_->path() + "/hd709.mov", tagged_spec);
    for (const auto& movie : {untagged, tagged}) {
        ASSERT_FALSE(movie.empty());
        const auto frame = grab_frame(file_uri(movie), 500'000'000);
        ASSERT_TRUE(frame) << frame.error();
        EXPECT_LT(rms_difference(to_rgb(*frame), ffmpeg_frame_number(movie, 15)), 3.0) << movie;
    }
}

TEST_F(Clips, NoFrameAnswersAtOnceWithAReason) {
    const std::string text = dir_->path() + "/notes.txt";
    run("echo 'not a movie' > " + shell_quote(text));
    struct Case {
        std::string uri;
        int64_t position;
    } cases[] = {
        {file_uri(small_), 60'000'000'000},            // past the end
        {file_uri(small_), -1'000'000'000},            // before the start
        {file_uri(dir_->path() + "/missing.mov"), 0},  // no file
        {file_uri(text), 0},                           // not a movie
        {"not a url", 0},
    };
    (void)grab_frame(file_uri(small_), 0);  // GStreamer's registry loaded before timing
    for (const auto& c : cases) {
        const auto start = std::chrono::steady_clock::now();
        const auto frame = grab_frame(c.uri, c.position);
        const auto took = std::chrono::steady_clock::now() - start;
        EXPECT_FALSE(frame) << c.uri;
        EXPECT_FALSE(frame.error().empty()) << c.uri;
        EXPECT_LT(took, std::chrono::seconds(1)) << c.uri;
    }
}

// Threads of this process, from /proc.
int thread_count() {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line))
        if (line.rfind("Threads:", 0) == 0)
            return std::stoi(line.substr(8));
    return 0;
}

// The handlers, driven as the application drives them.
class PhotoHandlers : public Clips {
  protected:
    struct FixedGrabber : ScreenGrabber {
        PixelRect asked{};
        Result<RgbImage> grab(const PixelRect& area) override {
            asked = area;
            RgbImage image;
            image.width = area.width;
            image.height = area.height;
            image.channels = 4;
            image.stride = area.width * 4;
            image.pixels.assign(static_cast<size_t>(image.stride) * image.height, 0x80);
            return image;
        }
    };
    TempHome home_;
    FakePage page_;
    LogCapture log_;
    FixedGrabber* grabber_ = nullptr;
    std::unique_ptr<MediaTools> tools_;

    void SetUp() override {
        auto grabber = std::make_unique<FixedGrabber>();
        grabber_ = grabber.get();
        tools_ = std::make_unique<MediaTools>(home_.files_dir(), page_.sink(), std::move(grabber),
                                              nullptr, nullptr);
    }
    bool wait_for_get_act(int count) {
        return spin_until([&] { return page_.count("get_act()") >= count; });
    }
};

TEST_F(PhotoHandlers, WritesThePngAndCallsThePageOnce) {
    tools_->get_photo(photo_command("http://get_photo/" + file_uri(small_) + ";0;1;ignored"));
    ASSERT_TRUE(wait_for_get_act(1));
    spin_until([] { return false; }, std::chrono::milliseconds(200));  // nothing more arrives
    EXPECT_EQ(page_.count("get_act()"), 1);
    ASSERT_EQ(home_.files().size(), 1u);
    const std::string name = home_.files()[0];
    EXPECT_TRUE(name.size() == 20 && name.substr(16) == ".png") << name;
    const auto calls = page_.calls();
    ASSERT_EQ(calls.size(), 2u);
    EXPECT_EQ(calls[0], "snapshot_result(true,'" + home_.files_dir() + "/" + name + "')");
    EXPECT_EQ(calls[1], "get_act()");
    EXPECT_TRUE(page_.on_main_thread_only());
    EXPECT_EQ(log_.count("photo:" + file_uri(small_) + ",0,1"), 1);
    EXPECT_EQ(log_.count("err==(null), imageRef==<image 320x180>"), 1);
    // Frame at 0:01 plus one second: ffmpeg's frame at 2 s.
    EXPECT_LT(
        rms_difference(read_png(home_.files_dir() + "/" + name), ffmpeg_frame_number(small_, 60)),
        3.0);
}

TEST_F(PhotoHandlers, NoFrameStillCallsGetActOnceAndWritesNothing) {
    tools_->get_photo(
        photo_command("http://get_photo/" + file_uri(small_) + ";5;0"));  // past the end
    tools_->get_photo(
        photo_command("http://get_photo/" + file_uri(small_) + ";0"));     // too few fields
    tools_->get_photo(photo_command("http://get_photo/no url here;0;0"));  // not a URL
    tools_->get_photo(photo_command("http://get_photo/file:///nowhere/x.MOV;0;0"));  // missing file
    ASSERT_TRUE(wait_for_get_act(4));
    spin_until([] { return false; }, std::chrono::milliseconds(200));
    EXPECT_EQ(page_.count("get_act()"), 4);
    EXPECT_EQ(page_.count_prefix("snapshot_result(false,'"), 4);
    EXPECT_TRUE(home_.files().empty());
    EXPECT_EQ(log_.count_prefix("err=="), 4);
    EXPECT_EQ(log_.count_prefix("err==(null)"), 0);
}

TEST_F(PhotoHandlers, TheExactTimeOfAFrameTakesThatFrame) {
    // Twenty frames of the 3 s clip at 30 frames a second, the first and the last among them;
    // each asked for by its start rounded to the millisecond, as the page sends it.
    std::vector<long> frames = {0, 89};
    for (long k = 1; frames.size() < 20; k += 5)  // 1, 6, 11, ... 86: every remainder of 5
        frames.push_back(k % 88 + 1);
    for (size_t i = 0; i < frames.size(); ++i) {
        const long ms = std::lround(frames[i] * 1000.0 / 30);
        tools_->get_photo(
            photo_command("http://get_photo/" + file_uri(small_) + ";0;0;" + std::to_string(ms)));
    }
    ASSERT_TRUE(wait_for_get_act(static_cast<int>(frames.size())));
    std::vector<std::string> saved;
    for (const auto& call : page_.calls())
        if (call.rfind("snapshot_result(true,'", 0) == 0)
            saved.push_back(call.substr(22, call.size() - 24));
    ASSERT_EQ(saved.size(), frames.size());
    for (size_t i = 0; i < frames.size(); ++i) {
        const Rgb ours = read_png(saved[i]);
        const double same = rms_difference(ours, ffmpeg_frame_number(small_, frames[i]));
        EXPECT_LT(same, 3.0) << "frame " << frames[i];
        if (frames[i] > 0) {
            EXPECT_GT(rms_difference(ours, ffmpeg_frame_number(small_, frames[i] - 1)), same + 2.0)
                << "frame " << frames[i];
        }
    }
}

// A PNG's text chunks as GdkPixbuf reads them back.
std::string png_text(const std::string& path, const char* key) {
    GError* error = nullptr;
    GdkPixbuf* pixbuf = gdk_pixbuf_new_from_file(path.c_str(), &error);
    if (!pixbuf) {
        g_clear_error(&error);
        return "(unreadable)";
    }
    const char* value = gdk_pixbuf_get_option(pixbuf, (std::string("tEXt::") + key).c_str());
    std::string text = value ? value : "(none)";
    g_object_unref(pixbuf);
    return text;
}

TEST_F(PhotoHandlers, AStampedStillIsNamedAfterTheClockAndCarriesTheFacts) {
    const std::string stamp =
        "%7B%22clock_ms%22%3A1780304405500%2C%22lat%22%3A51.5074%2C%22lon%22%3A-0.1278%2C"
        "%22speed_kmh%22%3A52.3%2C%22heading%22%3A90";
    const std::string base = "http://get_photo/" + file_uri(small_) + ";0;0;1000;" + stamp;
    tools_->get_photo(photo_command(base + "%7D"));
    tools_->get_photo(photo_command(base + "%7D"));  // the same moment again: a second file
    // With a caption: the strip goes under the picture, the footage untouched.
    tools_->get_photo(
        photo_command(base + "%2C%22caption%22%3A%5B%22Stra%C3%9Fe%22%2C%22x%22%5D%7D"));
    ASSERT_TRUE(wait_for_get_act(3));
    std::vector<std::string> saved;  // in the order asked
    for (const auto& call : page_.calls())
        if (call.rfind("snapshot_result(true,'", 0) == 0)
            saved.push_back(call.substr(22, call.size() - 24));
    ASSERT_EQ(saved.size(), 3u);
    const std::string stem = home_.files_dir() + "/small clip_2026-06-01_09-00-05.500";
    const std::vector<std::string> names = {saved[0], saved[1]};
    EXPECT_TRUE((names == std::vector<std::string>{stem + ".png", stem + "-2.png"}) ||
                (names == std::vector<std::string>{stem + "-2.png", stem + ".png"}));
    EXPECT_EQ(saved[2], stem + "-3.png");
    const std::string first = saved[0];
    EXPECT_EQ(png_text(first, "Title"), "small clip.mov");
    EXPECT_EQ(png_text(first, "Creation Time"), "2026-06-01T09:00:05.500");
    EXPECT_EQ(png_text(first, "Latitude"), "51.5074000");
    EXPECT_EQ(png_text(first, "Longitude"), "-0.1278000");
    EXPECT_EQ(png_text(first, "Speed"), "52.3 km/h");
    EXPECT_EQ(png_text(first, "Heading"), "90.0");
    const Rgb plain = read_png(first);
    const Rgb captioned = read_png(saved[2]);
    ASSERT_EQ(plain.width, 320);
    ASSERT_EQ(captioned.width, 320);
    ASSERT_GT(captioned.height, plain.height + 20);
    Rgb top = captioned;
    top.height = plain.height;
    top.pixels.resize(plain.pixels.size());
    EXPECT_EQ(rms_difference(top, plain), 0.0);
    EXPECT_LT(rms_difference(plain, ffmpeg_frame_number(small_, 30)), 3.0);
}

TEST_F(PhotoHandlers, HostileRequestsFailQuicklyWithTheirKeyAndNeverHang) {
    const std::string fifo = dir_->path() + "/pipe.MOV";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);  // opening it would wait for a writer
    const std::string local = file_uri(small_);
    const struct {
        std::string command;
        std::string key;
    } cases[] = {
        {"http://get_photo/" + file_uri(fifo) + ";0;0", "snapshot_failed"},
        {"http://get_photo/http://127.0.0.1:9/x.mov;0;0", "snapshot_not_local"},
        {"http://get_photo/https://camvault.invalid/x.mov;0;0", "snapshot_not_local"},
        // Minus two billion seconds once wrapped to the frame at one second.
        {"http://get_photo/" + local + ";0;-2000000000", "snapshot_outside_movie"},
        {"http://get_photo/" + local + ";99999999;0", "snapshot_outside_movie"},
    };
    for (const auto& c : cases)
        tools_->get_photo(photo_command(c.command));
    ASSERT_TRUE(wait_for_get_act(5));
    const auto calls = page_.calls();
    ASSERT_EQ(calls.size(), 10u);
    for (size_t i = 0; i < 5; ++i) {
        EXPECT_EQ(calls[2 * i].rfind("snapshot_result(false,", 0), 0u) << calls[2 * i];
        EXPECT_NE(calls[2 * i].find("'" + cases[i].key + "'"), std::string::npos) << calls[2 * i];
    }
    EXPECT_TRUE(home_.files().empty());
}

TEST_F(PhotoHandlers, ABurstOfSnapshotsIsAnsweredInOrderOnFewThreads) {
    const int before = thread_count();
    for (int i = 0; i < 30; ++i) {
        // Every third asks for a time past the end: failures must keep their place too.
        const std::string time = i % 3 == 2 ? "9;0" : "0;0";
        tools_->get_photo(photo_command("http://get_photo/" + file_uri(small_) + ";" + time));
    }
    int most = 0;
    ASSERT_TRUE(spin_until([&] {
        most = std::max(most, thread_count() - before);
        return page_.count("get_act()") >= 30;
    }));
    EXPECT_LE(most, 12);  // the pool's two threads and GStreamer's own for each
    const auto results = page_.calls();
    int answer = 0;
    for (const auto& call : results) {
        if (call.rfind("snapshot_result(", 0) != 0)
            continue;
        EXPECT_EQ(call.rfind(answer % 3 == 2 ? "snapshot_result(false" : "snapshot_result(true", 0),
                  0u)
            << answer << ": " << call;
        ++answer;
    }
    EXPECT_EQ(answer, 30);
    EXPECT_EQ(home_.files().size(), 20u);
}

TEST_F(PhotoHandlers, WindowSnapshotGrabsExactlyTheWebViewArea) {
    tools_->get_full_photo(PixelRect{100, 200, 64, 40});
    EXPECT_EQ(grabber_->asked.x, 100);
    EXPECT_EQ(grabber_->asked.y, 200);
    EXPECT_EQ(grabber_->asked.width, 64);
    EXPECT_EQ(grabber_->asked.height, 40);
    EXPECT_EQ(log_.count("get_photo"), 1);
    EXPECT_EQ(log_.count("y:200.000000"), 1);
    ASSERT_EQ(home_.files().size(), 1u);
    const Rgb png = read_png(home_.files_dir() + "/" + home_.files()[0]);
    EXPECT_EQ(png.width, 64);
    EXPECT_EQ(png.height, 40);
    EXPECT_EQ(page_.calls().back(), "get_act()");
    EXPECT_EQ(page_.count("get_act()"), 1);
}

TEST_F(PhotoHandlers, MissingFilesFolderIsReportedNotCrashed) {
    fs::remove_all(home_.files_dir());
    tools_->get_full_photo(PixelRect{0, 0, 8, 8});
    EXPECT_EQ(page_.count_prefix("snapshot_result(false,'"), 1);
    EXPECT_EQ(page_.count("get_act()"), 1);
}

// The check of the issue: a 1080p movie, 2 minutes 5 seconds -> the frame at 126 s.
TEST(LongMovieSnapshot, FrameAt126SecondsOf1080pMovie) {
    TempHome dir;
    const std::string movie = dir.path() + "/long.mov";
    // 120 s of a plain picture (cheap to make), then the test picture with its
    // frame counter; key frames every 10 s so 126 s needs an accurate seek.
    // No colour tags, as ffmpeg writes by default.
    ASSERT_TRUE(
        run("ffmpeg -nostdin -loglevel error -y -f lavfi -i "
            "\"color=c=0x202020:s=1920x1080:r=30:d=120,format=yuv420p[a];"
            "testsrc2=s=1920x1080:r=30:d=8,format=yuv420p[b];[a][b]concat=n=2:v=1:a=0\" "
            "-c:v libx264 -preset ultrafast -g 300 " +
            shell_quote(movie)));
    const auto t = *frame_position(2, 5);
    EXPECT_EQ(t.nanoseconds(), 126'000'000'000);
    const auto frame = grab_frame(file_uri(movie), t.nanoseconds());
    ASSERT_TRUE(frame) << frame.error();
    const Rgb ours = to_rgb(*frame);
    EXPECT_EQ(ours.width, 1920);
    EXPECT_EQ(ours.height, 1080);
    const double same = rms_difference(ours, ffmpeg_frame_number(movie, 3780));
    EXPECT_LT(same, 3.0);
    EXPECT_GT(rms_difference(ours, ffmpeg_frame_number(movie, 3779)), same + 2.0);
    EXPECT_GT(rms_difference(ours, ffmpeg_frame_number(movie, 3781)), same + 2.0);
}

}  // namespace
}  // namespace camvault::media
