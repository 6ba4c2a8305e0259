// The screen recorder on a real X server (Xvfb in `make test`): a 3 s
// recording with two clicks plays, lasts 3 s and shows the rings; a killed
// recorder leaves a playable movie; pause/resume and a second start.
#include <gtest/gtest.h>
#include <sched.h>
#include <signal.h>
#include <sys/mount.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <thread>

#include "media/media_tools.hpp"
#include "media_test_support.hpp"
#include "platform/x11/click_watcher_xi.hpp"

namespace camvault::media {
namespace {

using namespace testing;
using Clock = std::chrono::steady_clock;
namespace fs = std::filesystem;

void spin_for(std::chrono::milliseconds time) {
    spin_until([] { return false; }, time);
}

double seconds_since(Clock::time_point start) {
    return std::chrono::duration<double>(Clock::now() - start).count();
}

// Ring-coloured pixels (the overlay's amber) in a box around a point.
int ring_pixels(const Rgb& frame, int cx, int cy) {
    int count = 0;
    for (int y = std::max(0, cy - 45); y < std::min(frame.height, cy + 45); ++y)
        for (int x = std::max(0, cx - 45); x < std::min(frame.width, cx + 45); ++x) {
            const auto* p = &frame.pixels[(static_cast<size_t>(y) * frame.width + x) * 3];
            if (p[0] > 150 && p[1] > 100 && p[1] < 230 && p[2] < 90 && p[0] > p[2] + 100)
                ++count;
        }
    return count;
}

class Recorder : public ::testing::Test {
  protected:
    void SetUp() override {
        if (!std::getenv("DISPLAY"))
            GTEST_SKIP() << "needs an X server (DISPLAY is not set)";
        if (!run("command -v xdotool >/dev/null"))
            GTEST_SKIP() << "needs xdotool";
        tools_ =
            std::make_unique<MediaTools>(home_.files_dir(), page_.sink(), nullptr,
                                         std::make_unique<platform::XiClickWatcher>(), nullptr);
    }
    std::vector<std::string> recordings() const {
        std::vector<std::string> paths;
        for (const auto& name : home_.files())
            if (name.rfind("Recording-", 0) == 0)
                paths.push_back(home_.files_dir() + "/" + name);
        return paths;
    }
    bool wait_until_idle() {
        return spin_until([&] { return tools_->recorder_state() == RecorderState::Idle; });
    }
    TempHome home_;
    FakePage page_;
    LogCapture log_;
    std::unique_ptr<MediaTools> tools_;
};

TEST_F(Recorder, ThreeSecondsWithTwoClicksPlaysAndShowsTheRings) {
    ASSERT_TRUE(tools_->start());
    const auto start = Clock::now();
    EXPECT_EQ(page_.calls().back(), "recording_state('recording')");
    spin_for(std::chrono::milliseconds(800));
    const double first_click = seconds_since(start);
    ASSERT_TRUE(run("xdotool mousemove 400 300 click 1"));
    spin_for(std::chrono::milliseconds(1000));
    const double second_click = seconds_since(start);
    ASSERT_TRUE(run("xdotool mousemove 1200 700 click 1"));
    spin_until([&] { return seconds_since(start) >= 3.0; });
    ASSERT_TRUE(tools_->stop());
    // The window never waits for the movie: it is completed in the background.
    EXPECT_EQ(tools_->recorder_state(), RecorderState::Finishing);
    EXPECT_EQ(page_.calls().back(), "recording_state('recording')");
    ASSERT_TRUE(wait_until_idle());
    EXPECT_EQ(page_.calls().back(), "recording_state('stopped')");
    // The page is told where the movie went.
    EXPECT_EQ(page_.count_prefix("notice('The recording is saved as "), 1);

    const auto movies = recordings();
    ASSERT_EQ(movies.size(), 1u);
    const auto name = fs::path(movies[0]).filename().string();
    EXPECT_EQ(name.size(), std::string("Recording-20261205115911.mov").size()) << name;
    const auto p = probe(movies[0]);
    ASSERT_TRUE(p.ok);
    EXPECT_EQ(p.codec, "h264");
    EXPECT_NEAR(p.duration, 3.0, 0.5);
    EXPECT_TRUE(decodes_cleanly(movies[0]));

    // A ring shortly after each click, none just before it.
    EXPECT_GT(ring_pixels(ffmpeg_frame(movies[0], first_click + 0.2), 400, 300), 20);
    EXPECT_EQ(ring_pixels(ffmpeg_frame(movies[0], first_click - 0.3), 400, 300), 0);
    EXPECT_GT(ring_pixels(ffmpeg_frame(movies[0], second_click + 0.2), 1200, 700), 20);
    EXPECT_EQ(ring_pixels(ffmpeg_frame(movies[0], second_click + 0.2), 400, 300), 0);
}

// With several monitors only the main one is recorded, and clicks land
// where they were made on it.
TEST_F(Recorder, RecordsOnlyTheMainDisplayArea) {
    struct SecondMonitor : ScreenGrabber {
        Result<RgbImage> grab(const PixelRect&) override { return fail("unused"); }
        std::optional<PixelRect> main_display() override { return PixelRect{100, 50, 640, 480}; }
    };
    tools_ = std::make_unique<MediaTools>(home_.files_dir(), page_.sink(),
                                          std::make_unique<SecondMonitor>(),
                                          std::make_unique<platform::XiClickWatcher>(), nullptr);
    ASSERT_TRUE(tools_->start());
    const auto start = Clock::now();
    spin_for(std::chrono::milliseconds(700));
    const double click = seconds_since(start);
    ASSERT_TRUE(run("xdotool mousemove 300 150 click 1"));
    spin_for(std::chrono::milliseconds(1000));
    ASSERT_TRUE(tools_->stop());
    ASSERT_TRUE(wait_until_idle());
    const auto movies = recordings();
    ASSERT_EQ(movies.size(), 1u);
    const auto p = probe(movies[0]);
    EXPECT_EQ(p.width, 640);
    EXPECT_EQ(p.height, 480);
    const Rgb frame = ffmpeg_frame(movies[0], click + 0.2);
    EXPECT_GT(ring_pixels(frame, 200, 100), 20);
    EXPECT_EQ(ring_pixels(frame, 300, 150), 0);
}

TEST_F(Recorder, PauseAndResumeContinueTheSameMovie) {
    ASSERT_TRUE(tools_->start());
    spin_for(std::chrono::milliseconds(1000));
    EXPECT_FALSE(tools_->toggle());
    EXPECT_EQ(page_.calls().back(), "recording_state('paused')");
    spin_for(std::chrono::milliseconds(1500));
    EXPECT_TRUE(tools_->toggle());
    EXPECT_EQ(page_.calls().back(), "recording_state('recording')");
    spin_for(std::chrono::milliseconds(1000));
    ASSERT_TRUE(tools_->stop());
    ASSERT_TRUE(wait_until_idle());
    const auto movies = recordings();
    ASSERT_EQ(movies.size(), 1u);
    const auto p = probe(movies[0]);
    EXPECT_NEAR(p.duration, 2.0, 0.5);  // the pause is not in the movie
    EXPECT_TRUE(decodes_cleanly(movies[0]));
}

TEST_F(Recorder, SecondStartFinishesTheFirstMovie) {
    ASSERT_TRUE(tools_->start());
    spin_for(std::chrono::milliseconds(1200));
    ASSERT_TRUE(tools_->start());  // in the same second or not: a new file either way
    spin_for(std::chrono::milliseconds(1200));
    tools_->shutdown();  // as when the window closes
    const auto movies = recordings();
    ASSERT_EQ(movies.size(), 2u);
    for (const auto& movie : movies) {
        EXPECT_TRUE(decodes_cleanly(movie)) << movie;
        EXPECT_NEAR(probe(movie).duration, 1.2, 0.5) << movie;
    }
}

// As root only: the files folder on a small memory disk of this test's own, full.
TEST_F(Recorder, AFullDiskStopsTheRecordingSaysSoAndLeavesNoEmptyMovie) {
    if (::geteuid() != 0 || ::unshare(CLONE_NEWNS) != 0 ||
        ::mount("none", "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0 ||
        ::mount("tmpfs", home_.files_dir().c_str(), "tmpfs", 0, "size=2m") != 0)
        GTEST_SKIP() << "needs root to mount a full disk of its own";
    run("dd if=/dev/zero of=" + shell_quote(home_.files_dir() + "/.fill") + " bs=64k 2>/dev/null");
    ASSERT_TRUE(tools_->start());
    ASSERT_TRUE(spin_until([&] { return tools_->recorder_state() == RecorderState::Idle; },
                           std::chrono::seconds(20)));
    EXPECT_EQ(page_.count("recording_state('stopped')"), 1)
        << ::testing::PrintToString(page_.calls());
    EXPECT_EQ(page_.count_prefix("notice('The recording stopped: "), 1);
    for (const auto& movie : recordings())
        EXPECT_TRUE(probe(movie).ok) << movie << " is left under its final name, unplayable";
    ::umount2(home_.files_dir().c_str(), MNT_DETACH);
}

TEST_F(Recorder, KilledRecorderLeavesAPlayableMovie) {
    const std::string helper =
        std::string(CAMVAULT_BINARY_DIR) + "/tests/media/record_until_killed";
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        execl(helper.c_str(), helper.c_str(), home_.files_dir().c_str(), nullptr);
        _exit(127);
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(3500));
    kill(child, SIGKILL);
    int status = 0;
    waitpid(child, &status, 0);
    ASSERT_TRUE(WIFSIGNALED(status)) << "the helper ended by itself";
    const auto movies = recordings();
    ASSERT_EQ(movies.size(), 1u);
    const auto p = probe(movies[0]);
    ASSERT_TRUE(p.ok) << "unplayable after a kill";
    EXPECT_GT(p.duration, 1.0);  // all but the last index update
    EXPECT_TRUE(decodes_cleanly(movies[0]));
}

}  // namespace
}  // namespace camvault::media
