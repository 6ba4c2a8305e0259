// Exports of pieces on generated 1920x1080 clips: streams copied when the
// clips are alike (every frame identical to its source frame, exact length,
// sound within one AAC frame, clean in ffmpeg and GStreamer), encoded when
// they differ or a cut starts off a key frame; trims; abandoning a copy.
#include <gtest/gtest.h>

#include <filesystem>
#include <optional>
#include <sstream>

#include "media/merge_export.hpp"
#include "media_test_support.hpp"

namespace camvault::media {
namespace {

using namespace testing;
namespace fs = std::filesystem;

constexpr int kFps = 30;
constexpr int kGop = 30;  // a key frame every second: known cut points

// A camera-like 1920x1080 clip: x264 with B-frames, a key frame every
// second, the picture tinted by `hue` so that clips tell apart, and sound
// that runs a little past the last frame as cameras record it.
struct CameraClip {
    int width = 1920;
    int height = 1080;
    double seconds = 2.0;
    int hue = 0;
    bool audio = true;
    std::string profile = "high";
};

std::string make_camera_like(const std::string& path, const CameraClip& c) {
    std::ostringstream cmd;
    cmd << "ffmpeg -nostdin -loglevel error -y -f lavfi -t " << c.seconds
        << " -i testsrc2=size=" << c.width << "x" << c.height << ":rate=" << kFps;
    if (c.audio)
        cmd << " -f lavfi -t " << c.seconds + 0.1 << " -i sine=frequency=440:sample_rate=48000";
    cmd << " -vf hue=h=" << c.hue << " -c:v libx264 -preset veryfast -profile:v " << c.profile
        << " -b:v 1M -g " << kGop << " -sc_threshold 0 -pix_fmt yuv420p";
    if (c.audio)
        cmd << " -c:a aac";
    cmd << " " << shell_quote(path);
    return run(cmd.str()) ? path : std::string();
}

// ffmpeg's decoded picture hashes, one per frame, in order.
std::vector<std::string> frame_hashes(const std::string& movie) {
    std::istringstream lines(capture("ffmpeg -nostdin -v error -i " + shell_quote(movie) +
                                     " -map 0:v -f framemd5 - 2>/dev/null"));
    std::vector<std::string> hashes;
    for (std::string line; std::getline(lines, line);)
        if (!line.empty() && line[0] != '#')
            hashes.push_back(line.substr(line.rfind(',') + 1));
    return hashes;
}

// Seconds of sound that ffmpeg decodes (AAC frames of 1024 samples at 48 kHz).
double decoded_audio_seconds(const std::string& movie) {
    const auto frames = capture(
        "ffprobe -v error -select_streams a:0 -count_frames -show_entries "
        "stream=nb_read_frames -of csv=p=0 " +
        shell_quote(movie) + " 2>/dev/null");
    return std::atof(frames.c_str()) * 1024 / 48000;
}

// PSNR in dB of frame `a_index` of `a` against frame `b_index` of `b`
// (decoded in order, no seeking), or 0.
double frame_psnr(const std::string& a, int a_index, const std::string& b, int b_index) {
    auto pick = [](int input, int index, const char* label) {
        return "[" + std::to_string(input) + ":v]trim=start_frame=" + std::to_string(index) +
               ":end_frame=" + std::to_string(index + 1) + ",setpts=PTS-STARTPTS[" + label + "]";
    };
    const auto out = capture("ffmpeg -nostdin -i " + shell_quote(a) + " -i " + shell_quote(b) +
                             " -filter_complex '" + pick(0, a_index, "a") + ";" +
                             pick(1, b_index, "b") + ";[a][b]psnr' -f null - 2>&1");
    const auto at = out.find("average:");
    if (at == std::string::npos)
        return 0;
    const auto value = out.substr(at + 8, out.find(' ', at) - at - 8);
    return value == "inf" ? 1000 : std::atof(value.c_str());
}

std::string first_stream_start(const std::string& movie, const char* stream) {
    return capture(std::string("ffprobe -v error -select_streams ") + stream +
                   " -show_entries stream=start_time -of csv=p=0 " + shell_quote(movie) +
                   " 2>/dev/null");
}

bool gstreamer_plays_to_the_end(const std::string& movie) {
    return run("gst-launch-1.0 -q filesrc location=" + shell_quote(movie) +
               " ! decodebin ! fakesink >/dev/null 2>&1");
}

std::vector<ExportPiece> whole(const std::vector<std::string>& paths) {
    std::vector<ExportPiece> pieces;
    for (const auto& path : paths)
        pieces.push_back(ExportPiece{path, 0, std::nullopt});
    return pieces;
}

// The clips, two seconds each, as one timeline from `start` to `end` seconds.
std::vector<ExportPiece> span(const std::vector<std::string>& paths, double start, double end) {
    return pieces_for_span(paths, std::vector<uint64_t>(paths.size(), 2'000'000'000),
                           static_cast<uint64_t>(start * 1e9), static_cast<uint64_t>(end * 1e9));
}

class LosslessMerge : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        clips_ = new TempHome();
        const auto dir = clips_->path();
        for (int i = 0; i < 3; ++i)
            alike_.push_back(
                make_camera_like(dir + "/alike" + std::to_string(i) + ".MOV", {.hue = 90 * i}));
        small_ = make_camera_like(dir + "/small.MOV", {.width = 1280, .height = 720});
        main_profile_ = make_camera_like(dir + "/main.MOV", {.hue = 200, .profile = "main"});
        for (int i = 0; i < 2; ++i)
            silent_.push_back(make_camera_like(dir + "/silent" + std::to_string(i) + ".MOV",
                                               {.hue = 45 + 90 * i, .audio = false}));
        for (const auto& clip : alike_)
            for (const auto& hash : frame_hashes(clip))
                alike_hashes_.push_back(hash);
    }
    static void TearDownTestSuite() { delete clips_; }

    struct Run {
        std::optional<ExportOutcome> outcome;
        std::vector<double> progress;
    };
    Run export_pieces(std::vector<ExportPiece> pieces, ExportOptions options = {},
                      const std::string& stem = "trip") {
        Run result;
        ExportCallbacks callbacks;
        callbacks.progress = [&](double f) { result.progress.push_back(f); };
        callbacks.finished = [&](const ExportOutcome& o) { result.outcome = o; };
        MergeExport job(std::move(pieces), home_.files_dir(), stem, callbacks, std::move(options));
        spin_until([&] { return result.outcome.has_value(); }, std::chrono::minutes(3));
        return result;
    }
    // Checks that hold for every copied or encoded movie of these clips.
    static void expect_clean(const std::string& movie) {
        EXPECT_TRUE(decodes_cleanly(movie));
        EXPECT_EQ(capture("ffprobe -v error " + shell_quote(movie) + " 2>&1"), "");
        EXPECT_TRUE(gstreamer_plays_to_the_end(movie));
        EXPECT_EQ(first_stream_start(movie, "v:0"), "0.000000\n");
        EXPECT_EQ(first_stream_start(movie, "a:0"), "0.000000\n");
    }

    static TempHome* clips_;
    static std::vector<std::string> alike_;
    static std::vector<std::string> alike_hashes_;
    static std::string small_;
    static std::string main_profile_;
    static std::vector<std::string> silent_;
    TempHome home_;
};
TempHome* LosslessMerge::clips_ = nullptr;
std::vector<std::string> LosslessMerge::alike_;
std::vector<std::string> LosslessMerge::alike_hashes_;
std::string LosslessMerge::small_;
std::string LosslessMerge::main_profile_;
std::vector<std::string> LosslessMerge::silent_;

TEST_F(LosslessMerge, AlikeClipsAreCopiedFrameForFrame) {
    ASSERT_EQ(alike_hashes_.size(), 180u);
    const auto run = export_pieces(whole(alike_));
    ASSERT_TRUE(run.outcome && *run.outcome) << (run.outcome ? run.outcome->error() : "timeout");
    const auto& movie = (*run.outcome)->path;
    EXPECT_EQ((*run.outcome)->mode, ExportMode::lossless);
    EXPECT_EQ(movie, home_.files_dir() + "/trip.mov");
    EXPECT_EQ(home_.files(), std::vector<std::string>{"trip.mov"}) << "no temporary file remains";

    // Every frame the one recorded, in order, none lost or doubled at a join.
    EXPECT_EQ(frame_hashes(movie), alike_hashes_);
    const auto p = probe(movie);
    EXPECT_EQ(p.frames, 180);
    EXPECT_DOUBLE_EQ(p.duration, 6.0);  // the sound's extra tenths are not in the picture
    EXPECT_EQ(p.width, 1920);
    EXPECT_EQ(p.audio_codec, "aac");
    EXPECT_NEAR(decoded_audio_seconds(movie), 6.0, 1024.0 / 48000);
    expect_clean(movie);
}

// A band of rows of an RGB picture, as a picture of its own.
Rgb rows(const Rgb& picture, int from, int to) {
    Rgb band;
    band.width = picture.width;
    band.height = to - from;
    band.pixels.assign(picture.pixels.begin() + static_cast<long>(from) * picture.width * 3,
                       picture.pixels.begin() + static_cast<long>(to) * picture.width * 3);
    return band;
}

TEST_F(LosslessMerge, CaptionsAreWrittenAtTheBottomOfTheirPieceAndForceAnEncode) {
    // Alike clips that would be copied: a caption must encode them again.
    ExportOptions options;
    options.captions = {{1, 500'000'000, 1'000'000'000, "2026-06-01 09:00:05   52 km/h"}};
    const auto run = export_pieces(whole({alike_[0], alike_[1]}), options, "burnt");
    ASSERT_TRUE(run.outcome && *run.outcome) << (run.outcome ? run.outcome->error() : "timeout");
    EXPECT_EQ((*run.outcome)->mode, ExportMode::reencoded);
    const auto plain =
        export_pieces(whole({alike_[0], alike_[1]}),
                      ExportOptions{.copy_when_possible = false, .captions = {}}, "plain");
    ASSERT_TRUE(plain.outcome && *plain.outcome);
    const std::string burnt = (*run.outcome)->path;
    const std::string clean = (*plain.outcome)->path;
    // In the caption's second (2.5 s to 3.5 s of the movie) the bottom differs, the top not;
    // before it, nothing differs.
    const Rgb with = ffmpeg_frame(burnt, 3.0);
    const Rgb without = ffmpeg_frame(clean, 3.0);
    ASSERT_EQ(with.height, 1080);
    EXPECT_GT(rms_difference(rows(with, 960, 1080), rows(without, 960, 1080)), 8.0);
    EXPECT_LT(rms_difference(rows(with, 0, 720), rows(without, 0, 720)), 2.0);
    EXPECT_LT(rms_difference(ffmpeg_frame(burnt, 1.5), ffmpeg_frame(clean, 1.5)), 2.0);
    EXPECT_LT(rms_difference(ffmpeg_frame(burnt, 3.8), ffmpeg_frame(clean, 3.8)), 2.0);
}

TEST_F(LosslessMerge, ClipsThatDifferAreEncoded) {
    // Another size; the same size with another codec configuration; no sound.
    for (const auto& odd : {small_, main_profile_, silent_[0]}) {
        SCOPED_TRACE(odd);
        const auto run = export_pieces(whole({alike_[0], odd, alike_[1]}));
        ASSERT_TRUE(run.outcome && *run.outcome)
            << (run.outcome ? run.outcome->error() : "timeout");
        EXPECT_EQ((*run.outcome)->mode, ExportMode::reencoded);
        const auto p = probe((*run.outcome)->path);
        EXPECT_EQ(p.frames, 180);
        EXPECT_EQ(p.width, 1920);
        EXPECT_EQ(p.height, 1080);
        EXPECT_NEAR(p.duration, 6.0, 1.0 / kFps);
        fs::remove((*run.outcome)->path);
    }
    // Alike among themselves but not 1920x1080: fitted, so encoded.
    const auto run = export_pieces(whole({small_, small_}));
    ASSERT_TRUE(run.outcome && *run.outcome);
    EXPECT_EQ((*run.outcome)->mode, ExportMode::reencoded);
    EXPECT_EQ(probe((*run.outcome)->path).height, 1080);
}

TEST_F(LosslessMerge, ClipsWithoutSoundAreCopiedToo) {
    const auto run = export_pieces(whole(silent_));
    ASSERT_TRUE(run.outcome && *run.outcome) << (run.outcome ? run.outcome->error() : "timeout");
    const auto& movie = (*run.outcome)->path;
    EXPECT_EQ((*run.outcome)->mode, ExportMode::lossless);
    auto expected = frame_hashes(silent_[0]);
    const auto second = frame_hashes(silent_[1]);
    expected.insert(expected.end(), second.begin(), second.end());
    ASSERT_EQ(expected.size(), 120u);
    EXPECT_EQ(frame_hashes(movie), expected);
    EXPECT_EQ(probe(movie).audio_codec, "");
    EXPECT_TRUE(gstreamer_plays_to_the_end(movie));
}

TEST_F(LosslessMerge, ATrimFromAKeyFrameIsCopiedExactly) {
    // From 1 s (a key frame in the first clip) to 5 s (one second into the third).
    const auto pieces = span(alike_, 1.0, 5.0);
    ASSERT_EQ(pieces.size(), 3u);
    const auto run = export_pieces(pieces);
    ASSERT_TRUE(run.outcome && *run.outcome) << (run.outcome ? run.outcome->error() : "timeout");
    const auto& movie = (*run.outcome)->path;
    EXPECT_EQ((*run.outcome)->mode, ExportMode::lossless);
    const std::vector<std::string> expected(alike_hashes_.begin() + 30,
                                            alike_hashes_.begin() + 150);
    EXPECT_EQ(frame_hashes(movie), expected);
    EXPECT_DOUBLE_EQ(probe(movie).duration, 4.0);
    EXPECT_NEAR(decoded_audio_seconds(movie), 4.0, 1024.0 / 48000);
    expect_clean(movie);
}

TEST_F(LosslessMerge, ATrimFromBetweenKeyFramesIsEncodedFromTheRightFrame) {
    // From frame 15 of the first clip to frame 6 of the second.
    const auto run = export_pieces(span(alike_, 0.5, 2.2));
    ASSERT_TRUE(run.outcome && *run.outcome) << (run.outcome ? run.outcome->error() : "timeout");
    const auto& movie = (*run.outcome)->path;
    EXPECT_EQ((*run.outcome)->mode, ExportMode::reencoded);
    EXPECT_EQ(home_.files().size(), 1u) << "the abandoned copy left a file";
    const auto p = probe(movie);
    EXPECT_NEAR(p.duration, 1.7, 1.0 / kFps);
    EXPECT_NEAR(p.frames, 51, 1);
    // The first frame is frame 15 of the first clip, not one of its neighbours.
    const double first = frame_psnr(movie, 0, alike_[0], 15);
    EXPECT_GT(first, 40);
    EXPECT_GT(first, frame_psnr(movie, 0, alike_[0], 14) + 10);
    EXPECT_GT(first, frame_psnr(movie, 0, alike_[0], 16) + 10);
    // The last is frame 5 of the second clip.
    const double last = frame_psnr(movie, 50, alike_[1], 5);
    EXPECT_GT(last, 40);
    EXPECT_GT(last, frame_psnr(movie, 50, alike_[1], 4) + 10);
    expect_clean(movie);
}

TEST_F(LosslessMerge, AbandoningACopyRemovesItsFile) {
    std::optional<ExportOutcome> outcome;
    ExportCallbacks callbacks;
    callbacks.finished = [&](const ExportOutcome& o) { outcome = o; };
    std::vector<std::string> many;
    for (int i = 0; i < 8; ++i)
        many.insert(many.end(), alike_.begin(), alike_.end());
    auto job = std::make_unique<MergeExport>(whole(many), home_.files_dir(), "trip", callbacks);
    // The copy is under way once its file exists; it is not published before
    // the main loop hears the end, so it cannot finish behind our back.
    ASSERT_TRUE(
        spin_until([&] { return !home_.files().empty() || outcome; }, std::chrono::seconds(60)));
    ASSERT_FALSE(outcome) << "finished before it could be abandoned";
    EXPECT_TRUE(job->running());
    job.reset();
    EXPECT_TRUE(home_.files().empty()) << ::testing::PrintToString(home_.files());
    spin_until([] { return false; }, std::chrono::milliseconds(300));
    EXPECT_FALSE(outcome);
}

TEST_F(LosslessMerge, TheCommandLineTrimSaysHowItWasMade) {
    const std::string tool = std::string(CAMVAULT_BINARY_DIR) + "/app/camvault-media";
    std::string command = tool + " trim " + shell_quote(home_.files_dir()) + " 2 4";
    for (const auto& clip : alike_)
        command += " " + shell_quote(clip);
    const auto out = capture(command + " 2>/dev/null");
    const auto space = out.find(' ');
    ASSERT_NE(space, std::string::npos) << out;
    EXPECT_EQ(out.substr(space), " lossless\n");
    const std::string movie = out.substr(0, space);
    const std::vector<std::string> second(alike_hashes_.begin() + 60, alike_hashes_.begin() + 120);
    EXPECT_EQ(frame_hashes(movie), second);
}

}  // namespace
}  // namespace camvault::media
