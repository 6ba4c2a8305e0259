// Shared helpers for the media tests: a temporary home, a page that records
// script calls, captured log lines, main-loop spinning, and test clips made
// with ffmpeg and measured with ffprobe (independent of our GStreamer code).
#pragma once

#include <chrono>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "media/media_events.hpp"
#include "media/photo_request.hpp"

namespace camvault::media::testing {

// A fresh $HOME-like folder with CAMVAULT/files, removed at the end.
class TempHome {
  public:
    TempHome();
    ~TempHome();
    const std::string& path() const { return path_; }
    std::string files_dir() const { return path_ + "/CAMVAULT/files"; }
    // Names in the files folder, sorted.
    std::vector<std::string> files() const;

  private:
    std::string path_;
};

// The page as the application would address it: every media event is
// recorded as the page calls the application makes of it.
class FakePage {
  public:
    MediaEventSink sink();
    void call(const std::string& script);
    std::vector<std::string> calls() const;
    int count(const std::string& script) const;
    int count_prefix(const std::string& prefix) const;
    bool on_main_thread_only() const { return !off_main_thread_; }

  private:
    mutable std::mutex mutex_;
    std::vector<std::string> calls_;
    bool off_main_thread_ = false;
};

// Captures log lines for the lifetime of the object.
class LogCapture {
  public:
    LogCapture();
    ~LogCapture();
    std::vector<std::string> lines() const;
    int count(const std::string& line) const;
    int count_prefix(const std::string& prefix) const;

  private:
    struct State;
    std::shared_ptr<State> state_;
};

// The request and the list that the get_photo and merger commands carry.
FrameRequest photo_command(const std::string& url_text);
std::vector<std::string> merge_command(const std::string& list_text);

// Iterates the default main context until `done` or the time runs out.
bool spin_until(const std::function<bool()>& done,
                std::chrono::milliseconds limit = std::chrono::seconds(60));

// Runs a shell command; true when it exits with status 0.
bool run(const std::string& command);
// Runs a command and returns its standard output.
std::string capture(const std::string& command);
std::string shell_quote(const std::string& text);

// A movie made by ffmpeg: testsrc2 picture (a frame counter, moving parts),
// a sine tone, H.264 + AAC in QuickTime.
struct ClipSpec {
    int width = 320;
    int height = 180;
    double seconds = 2.0;
    int rotate = 0;  // display rotation stored in the movie (degrees)
    bool audio = true;
    bool bt709 = false;  // colour tags in the stream (ffmpeg writes none by default)
};
std::string make_clip(const std::string& path, const ClipSpec& spec);

// A camera-like clip (telemetry boxes planted in the movie data) from
// tools/make-clip.
std::string make_camera_clip(const std::string& path, double seconds, const std::string& size,
                             int fps = 30);

// ffprobe of the first video stream.
struct VideoProbe {
    bool ok = false;
    int width = 0;
    int height = 0;
    double duration = 0;  // seconds
    long frames = 0;
    std::string codec;
    std::string audio_codec;
    std::string format;
};
VideoProbe probe(const std::string& path);

// Whether every frame of the movie decodes without error (ffmpeg).
bool decodes_cleanly(const std::string& path);

// Decodes one PNG to RGB bytes (ffmpeg), or empty.
struct Rgb {
    int width = 0;
    int height = 0;
    std::vector<unsigned char> pixels;
};
Rgb read_png(const std::string& path);
// ffmpeg's decode of the frame at `seconds`, as RGB.
Rgb ffmpeg_frame(const std::string& movie, double seconds);
// ffmpeg's decode of frame `index` of a constant-rate movie (sought a
// quarter frame early, so rounding of the seek time cannot skip it).
Rgb ffmpeg_frame_number(const std::string& movie, long index, int fps = 30);
// Root mean square difference of two same-sized pictures (0..255), or -1.
double rms_difference(const Rgb& a, const Rgb& b);

}  // namespace camvault::media::testing
