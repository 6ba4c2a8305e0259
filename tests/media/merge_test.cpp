// Merge and export on generated clips: whole clips in order fitted into
// 1920x1080, H.264 + AAC in QuickTime, exact total length; skipped missing
// elements; failures that leave no exp_ file; abandoning at shutdown.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>

#include <filesystem>
#include <fstream>

#include "media/media_tools.hpp"
#include "media_test_support.hpp"

namespace camvault::media {
namespace {

using namespace testing;
namespace fs = std::filesystem;

struct RecordingOpener : FolderOpener {
    std::vector<std::string>* shown;
    explicit RecordingOpener(std::vector<std::string>* out) : shown(out) {}
    void show_folder(const std::string& path) override { shown->push_back(path); }
};

class Merge : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        clips_ = new TempHome();
        wide_ = make_camera_clip(clips_->path() + "/wide clip.MOV", 2.0, "320x180");
        four_three_ = make_clip(clips_->path() + "/four_three.mov", ClipSpec{320, 240, 2.0});
        short_ = make_clip(clips_->path() + "/short.mov", ClipSpec{160, 90, 0.5});
    }
    static void TearDownTestSuite() { delete clips_; }

    void SetUp() override {
        tools_ = std::make_unique<MediaTools>(home_.files_dir(), page_.sink(), nullptr, nullptr,
                                              std::make_unique<RecordingOpener>(&shown_));
    }
    bool wait_for_end() {
        return spin_until([&] { return page_.count_prefix("exp(") > 0; }, std::chrono::minutes(3));
    }
    static std::string encoded(const std::string& path) {
        std::string out;
        for (char c : path)
            out += c == ' ' ? std::string("%20") : std::string(1, c);
        return out;
    }
    std::vector<std::string> exports() const {
        std::vector<std::string> names;
        for (const auto& name : home_.files())
            if (name.rfind("exp_", 0) == 0)
                names.push_back(name);
        return names;
    }

    static TempHome* clips_;
    static std::string wide_;
    static std::string four_three_;
    static std::string short_;
    TempHome home_;
    FakePage page_;
    LogCapture log_;
    std::vector<std::string> shown_;
    std::unique_ptr<MediaTools> tools_;
};
TempHome* Merge::clips_ = nullptr;
std::string Merge::wide_;
std::string Merge::four_three_;
std::string Merge::short_;

TEST_F(Merge, JoinsWholeClipsInOrderAt1920x1080) {
    ASSERT_FALSE(wide_.empty());
    ASSERT_FALSE(four_three_.empty());
    tools_->merger(merge_command(encoded(wide_) + "," + encoded(four_three_) + ","));
    ASSERT_TRUE(wait_for_end());
    ASSERT_EQ(page_.count("exp('Export Success');"), 1) << ::testing::PrintToString(page_.calls());
    EXPECT_EQ(page_.count_prefix("exp("), 1);
    EXPECT_GE(page_.count_prefix("export_progress("), 1);
    EXPECT_TRUE(page_.on_main_thread_only());
    EXPECT_EQ(log_.count("merger:" + wide_), 1);
    EXPECT_EQ(log_.count("merger:" + four_three_), 1);
    EXPECT_EQ(log_.count_prefix("merger:"), 2);  // the empty element: no line
    EXPECT_EQ(log_.count("SUCCESS"), 1);
    ASSERT_EQ(shown_.size(), 1u);
    EXPECT_EQ(shown_[0], home_.files_dir());

    const auto names = home_.files();
    ASSERT_EQ(names.size(), 1u) << "no temporary file may remain";
    EXPECT_TRUE(names[0].rfind("exp_", 0) == 0 && names[0].size() == 23) << names[0];
    const auto movie = home_.files_dir() + "/" + names[0];
    const auto p = probe(movie);
    ASSERT_TRUE(p.ok);
    EXPECT_EQ(p.width, 1920);
    EXPECT_EQ(p.height, 1080);
    EXPECT_EQ(p.codec, "h264");
    EXPECT_EQ(p.audio_codec, "aac");
    EXPECT_NE(p.format.find("mov"), std::string::npos);
    EXPECT_EQ(p.frames, 120);  // 60 + 60 frames: no frame gained or lost at the join
    EXPECT_NEAR(p.duration, 4.0, 1.0 / 30);
    EXPECT_TRUE(decodes_cleanly(movie));

    // Both clips whole and in order: start of A at 0 s, start of B at 2 s,
    // the 4:3 clip pillarboxed (black bars left and right), not stretched.
    const Rgb at_b = ffmpeg_frame(movie, 2.5);
    ASSERT_EQ(at_b.width, 1920);
    auto pixel = [&](const Rgb& rgb, int x, int y, int c) {
        return rgb.pixels[(static_cast<size_t>(y) * rgb.width + x) * 3 + c];
    };
    EXPECT_LT(pixel(at_b, 40, 540, 0) + pixel(at_b, 40, 540, 1) + pixel(at_b, 40, 540, 2), 30);
    EXPECT_LT(pixel(at_b, 1880, 540, 0) + pixel(at_b, 1880, 540, 1) + pixel(at_b, 1880, 540, 2),
              30);
    const Rgb at_a = ffmpeg_frame(movie, 0.5);
    EXPECT_GT(pixel(at_a, 40, 540, 0) + pixel(at_a, 40, 540, 1) + pixel(at_a, 40, 540, 2), 30);
}

TEST_F(Merge, AnEmptyListFailsAtOnce) {
    tools_->merger(merge_command(",,"));
    // Reported synchronously, before any main-loop turn.
    EXPECT_EQ(page_.count("exp('Export Failed');"), 1);
    EXPECT_EQ(page_.count_prefix("notice('No clips were chosen.','export_nothing'"), 1);
    EXPECT_EQ(log_.count("FAIL"), 1);
    EXPECT_EQ(log_.count_prefix("merger:"), 0);
    EXPECT_TRUE(home_.files().empty());
    EXPECT_EQ(tools_->jobs_running(), 0);
}

TEST_F(Merge, AClipThatIsMissingOrNotAFileFailsTheWholeMergeNamingIt) {
    const std::string missing = clips_->path() + "/missing.mov";
    const std::string fifo = clips_->path() + "/pipe.mov";
    ::unlink(fifo.c_str());
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);  // discovery would wait on it for ever
    tools_->merger(merge_command(encoded(wide_) + "," + encoded(missing) + "," + encoded(fifo)));
    ASSERT_TRUE(wait_for_end());
    EXPECT_EQ(page_.count("exp('Export Failed');"), 1);
    const auto calls = page_.calls();
    const auto notice = std::find_if(calls.begin(), calls.end(), [](const std::string& c) {
        return c.rfind("notice(", 0) == 0;
    });
    ASSERT_NE(notice, calls.end());
    EXPECT_NE(notice->find("'export_missing_clips'"), std::string::npos) << *notice;
    EXPECT_NE(notice->find(missing + "\\n" + fifo), std::string::npos) << *notice;
    EXPECT_EQ(notice->find(wide_), std::string::npos);
    EXPECT_TRUE(home_.files().empty());
    EXPECT_TRUE(shown_.empty());
}

TEST_F(Merge, UnreadableClipsFailWithoutLeavingAFile) {
    const std::string text = clips_->path() + "/notes.MOV";
    run("echo 'not a movie' > " + shell_quote(text));
    tools_->merger(merge_command(encoded(text)));
    ASSERT_TRUE(wait_for_end());
    EXPECT_EQ(page_.count("exp('Export Failed');"), 1);
    EXPECT_EQ(page_.count_prefix("notice('"), 1);
    EXPECT_EQ(log_.count("merger:" + text), 1);
    EXPECT_EQ(log_.count("FAIL"), 1);
    EXPECT_TRUE(shown_.empty());
    EXPECT_TRUE(home_.files().empty());
}

TEST_F(Merge, FailedWriteReportsFailure) {
    fs::remove_all(home_.files_dir());  // nowhere to write the movie
    tools_->merger(merge_command(encoded(short_)));
    ASSERT_TRUE(wait_for_end());
    EXPECT_EQ(page_.count("exp('Export Failed');"), 1);
    EXPECT_EQ(page_.count_prefix("notice('"), 1);
    EXPECT_EQ(log_.count("FAIL"), 1);
    EXPECT_TRUE(shown_.empty());
}

TEST_F(Merge, ShutdownAbandonsARunningExportCleanly) {
    tools_->merger(merge_command(encoded(wide_) + "," + encoded(four_three_)));
    // Let it get going, then close the application.
    spin_until([&] { return page_.count_prefix("export_progress(") > 0; },
               std::chrono::seconds(30));
    tools_->shutdown();
    EXPECT_EQ(tools_->jobs_running(), 0);
    EXPECT_TRUE(home_.files().empty()) << ::testing::PrintToString(home_.files());
    spin_until([] { return false; }, std::chrono::milliseconds(300));
    EXPECT_EQ(page_.count_prefix("exp("), 0);
}

TEST_F(Merge, ShutdownWhileClipsAreStillBeingDiscovered) {
    tools_->merger(merge_command(encoded(wide_) + "," + encoded(four_three_)));
    tools_->shutdown();  // before the main loop ran once
    spin_until([] { return false; }, std::chrono::milliseconds(500));
    EXPECT_EQ(page_.count_prefix("exp("), 0);
    EXPECT_TRUE(home_.files().empty());
    EXPECT_EQ(tools_->jobs_running(), 0);
}

TEST_F(Merge, TwoExportsInTheSameSecondKeepBothMovies) {
    tools_->merger(merge_command(encoded(short_)));
    tools_->merger(merge_command(encoded(short_)));
    ASSERT_TRUE(
        spin_until([&] { return page_.count_prefix("exp(") >= 2; }, std::chrono::minutes(3)));
    EXPECT_EQ(page_.count("exp('Export Success');"), 2);
    EXPECT_EQ(exports().size(), 2u);
}

// As root only: a small memory disk, filled up, stands for a full home disk.
TEST_F(Merge, AFullDiskWithoutARuntimeFolderFailsCleanlyInsteadOfCrashing) {
    if (::geteuid() != 0 || !run("unshare -m true"))
        GTEST_SKIP() << "needs root to mount a full disk of its own";
    const std::string disk = home_.path() + "/disk";
    const std::string status = home_.path() + "/status";
    fs::create_directories(disk);
    const std::string merge = std::string(CAMVAULT_BINARY_DIR) + "/app/camvault-media merge " +
                              shell_quote(disk + "/files") + " " + shell_quote(short_) + " " +
                              shell_quote(short_);
    // Without XDG_RUNTIME_DIR GStreamer's code generator would map its code
    // from a file in HOME, on the full disk, and die of SIGBUS writing it.
    const std::string script =
        "mount -t tmpfs -o size=3m tmpfs " + shell_quote(disk) + " && mkdir " +
        shell_quote(disk + "/files") + " && (dd if=/dev/zero of=" + shell_quote(disk + "/fill") +
        " bs=64k 2>/dev/null; true) && env -u XDG_RUNTIME_DIR -u ORC_CODE HOME=" +
        shell_quote(disk) + " " + merge + " >/dev/null 2>&1; echo $? > " + shell_quote(status) +
        "; ls -A " + shell_quote(disk + "/files") + " >> " + shell_quote(status);
    ASSERT_TRUE(run("unshare -m sh -c " + shell_quote(script)));
    std::ifstream in(status);
    std::string code, leftover;
    std::getline(in, code);
    std::getline(in, leftover);
    EXPECT_EQ(code, "1");  // "merge failed", not 135 (a bus error)
    EXPECT_EQ(leftover, "");
}

}  // namespace
}  // namespace camvault::media
