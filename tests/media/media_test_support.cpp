// Helpers for the media tests.
#include "media_test_support.hpp"

#include <gdk-pixbuf/gdk-pixbuf.h>
#include <glib.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <sstream>
#include <thread>

#include <unistd.h>
#include <cstdlib>

#include "app/media_page_calls.hpp"
#include "base/log.hpp"
#include "bridge/command_args.hpp"
#include "media/gst_handles.hpp"

namespace camvault::media::testing {

namespace fs = std::filesystem;

TempHome::TempHome() {
    std::string pattern = (fs::temp_directory_path() / "camvault-media-XXXXXX").string();
    path_ = g_mkdtemp(pattern.data()) ? pattern : std::string();
    fs::create_directories(files_dir());
}

TempHome::~TempHome() {
    std::error_code ignored;
    fs::remove_all(path_, ignored);
}

std::vector<std::string> TempHome::files() const {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(files_dir()))
        names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

MediaEventSink FakePage::sink() {
    return [this](const MediaEvent& event) {
        for (const auto& script : page_calls_for(event))
            call(script);
    };
}

FrameRequest photo_command(const std::string& url_text) {
    return frame_request(photo_args(url_text));
}

std::vector<std::string> merge_command(const std::string& list_text) {
    return merge_paths(list_text);
}

void FakePage::call(const std::string& script) {
    std::lock_guard lock(mutex_);
    if (!g_main_context_is_owner(g_main_context_default()))
        off_main_thread_ = true;
    calls_.push_back(script);
}

std::vector<std::string> FakePage::calls() const {
    std::lock_guard lock(mutex_);
    return calls_;
}

int FakePage::count(const std::string& script) const {
    std::lock_guard lock(mutex_);
    return static_cast<int>(std::count(calls_.begin(), calls_.end(), script));
}

int FakePage::count_prefix(const std::string& prefix) const {
    std::lock_guard lock(mutex_);
    return static_cast<int>(std::count_if(calls_.begin(), calls_.end(), [&](const std::string& s) {
        return s.rfind(prefix, 0) == 0;
    }));
}

struct LogCapture::State {
    std::mutex mutex;
    std::vector<std::string> lines;
    LogSink previous;
};

LogCapture::LogCapture() : state_(std::make_shared<State>()) {
    auto state = state_;
    state_->previous = set_log_sink([state](std::string_view line) {
        std::lock_guard lock(state->mutex);
        state->lines.emplace_back(line);
    });
}

LogCapture::~LogCapture() {
    set_log_sink(std::move(state_->previous));
}

std::vector<std::string> LogCapture::lines() const {
    std::lock_guard lock(state_->mutex);
    return state_->lines;
}

int LogCapture::count(const std::string& line) const {
    const auto all = lines();
    return static_cast<int>(std::count(all.begin(), all.end(), line));
}

int LogCapture::count_prefix(const std::string& prefix) const {
    const auto all = lines();
    return static_cast<int>(std::count_if(
        all.begin(), all.end(), [&](const std::string& s) { return s.rfind(prefix, 0) == 0; }));
}

bool spin_until(const std::function<bool()>& done, std::chrono::milliseconds limit) {
    GMainContext* context = g_main_context_default();
    // Own the context while waiting, as the application's main loop does.
    const bool acquired = g_main_context_acquire(context);
    const auto deadline = std::chrono::steady_clock::now() + limit;
    bool ok = false;
    while (true) {
        while (g_main_context_iteration(context, FALSE)) {
        }
        if (done()) {
            ok = true;
            break;
        }
        if (std::chrono::steady_clock::now() >= deadline)
            break;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    if (acquired)
        g_main_context_release(context);
    return ok;
}

std::string shell_quote(const std::string& text) {
    std::string quoted = "'";
    for (char c : text) {
        if (c == '\'')
            quoted += "'\\''";
        else
            quoted += c;
    }
    return quoted + "'";
}

bool run(const std::string& command) {
    return std::system(command.c_str()) == 0;
}

std::string capture(const std::string& command) {
    std::string out;
    FILE* pipe = popen(command.c_str(), "r");
    if (!pipe)
        return out;
    char buffer[4096];
    size_t n;
    while ((n = fread(buffer, 1, sizeof buffer, pipe)) > 0)
        out.append(buffer, n);
    pclose(pipe);
    return out;
}

std::string make_clip(const std::string& path, const ClipSpec& spec) {
    std::ostringstream cmd;
    cmd << "ffmpeg -nostdin -loglevel error -y -f lavfi -i testsrc2=size=" << spec.width << "x"
        << spec.height << ":rate=30";
    if (spec.audio)
        cmd << " -f lavfi -i sine=frequency=440:sample_rate=48000";
    cmd << " -t " << spec.seconds << " -c:v libx264 -preset ultrafast -pix_fmt yuv420p";
    if (spec.audio)
        cmd << " -c:a aac";
    if (!spec.rotate) {
        cmd << " " << shell_quote(path);
        return run(cmd.str()) ? path : std::string();
    }
    // ffmpeg keeps a display rotation only when it copies the stream.
    const std::string plain = path + ".plain.mov";
    cmd << " " << shell_quote(plain) << " && ffmpeg -nostdin -loglevel error -y -i "
        << shell_quote(plain) << " -c copy -metadata:s:v:0 rotate=" << spec.rotate << " "
        << shell_quote(path);
    const bool ok = run(cmd.str());
    std::remove(plain.c_str());
    return ok ? path : std::string();
}

std::string make_camera_clip(const std::string& path, double seconds, const std::string& size,
                             int fps) {
    std::ostringstream cmd;
    cmd << shell_quote(std::string(CAMVAULT_SOURCE_DIR) + "/tools/make-clip") << " --seconds "
        << seconds << " --size " << size << " --fps " << fps << " " << shell_quote(path)
        << " >/dev/null";
    return run(cmd.str()) ? path : std::string();
}

namespace {

std::string field(const std::string& text, const std::string& key) {
    const auto at = text.find(key + "=");
    if (at == std::string::npos)
        return {};
    const auto start = at + key.size() + 1;
    return text.substr(start, text.find('\n', start) - start);
}

}  // namespace

VideoProbe probe(const std::string& path) {
    VideoProbe p;
    const std::string video = capture(
        "ffprobe -v error -select_streams v:0 -count_packets -show_entries "
        "stream=codec_name,width,height,duration,nb_read_packets -of default=nw=1 " +
        shell_quote(path) + " 2>/dev/null");
    const std::string audio = capture(
        "ffprobe -v error -select_streams a:0 -show_entries stream=codec_name -of default=nw=1 " +
        shell_quote(path) + " 2>/dev/null");
    const std::string format =
        capture("ffprobe -v error -show_entries format=format_name -of default=nw=1 " +
                shell_quote(path) + " 2>/dev/null");
    if (video.empty())
        return p;
    p.ok = true;
    p.codec = field(video, "codec_name");
    p.width = std::atoi(field(video, "width").c_str());
    p.height = std::atoi(field(video, "height").c_str());
    p.duration = std::atof(field(video, "duration").c_str());
    p.frames = std::atol(field(video, "nb_read_packets").c_str());
    p.audio_codec = field(audio, "codec_name");
    p.format = field(format, "format_name");
    return p;
}

bool decodes_cleanly(const std::string& path) {
    return run("ffmpeg -nostdin -v error -xerror -i " + shell_quote(path) +
               " -f null - >/dev/null 2>&1");
}

Rgb read_png(const std::string& path) {
    Rgb rgb;
    GError* error = nullptr;
    ObjectRef<GdkPixbuf> owned(gdk_pixbuf_new_from_file(path.c_str(), &error));
    GdkPixbuf* pixbuf = owned.get();
    if (!pixbuf) {
        g_clear_error(&error);
        return rgb;
    }
    rgb.width = gdk_pixbuf_get_width(pixbuf);
    rgb.height = gdk_pixbuf_get_height(pixbuf);
    const int channels = gdk_pixbuf_get_n_channels(pixbuf);
    const int stride = gdk_pixbuf_get_rowstride(pixbuf);
    const guint8* data = gdk_pixbuf_read_pixels(pixbuf);
    rgb.pixels.reserve(static_cast<size_t>(rgb.width) * rgb.height * 3);
    for (int y = 0; y < rgb.height; ++y)
        for (int x = 0; x < rgb.width; ++x)
            for (int c = 0; c < 3; ++c)
                rgb.pixels.push_back(data[y * stride + x * channels + c]);
    return rgb;
}

Rgb ffmpeg_frame(const std::string& movie, double seconds) {
    char tmpl[] = "/tmp/camvault-frame-XXXXXX.png";
    const int fd = g_mkstemp(tmpl);
    if (fd >= 0)
        close(fd);
    std::ostringstream cmd;
    cmd << "ffmpeg -nostdin -loglevel error -y -ss " << seconds << " -i " << shell_quote(movie)
        << " -frames:v 1 -update 1 " << shell_quote(tmpl);
    Rgb rgb = run(cmd.str()) ? read_png(tmpl) : Rgb{};
    std::remove(tmpl);
    return rgb;
}

Rgb ffmpeg_frame_number(const std::string& movie, long index, int fps) {
    return ffmpeg_frame(movie, (index - 0.25) / fps);
}

double rms_difference(const Rgb& a, const Rgb& b) {
    if (a.width != b.width || a.height != b.height || a.pixels.size() != b.pixels.size() ||
        a.pixels.empty())
        return -1;
    double sum = 0;
    for (size_t i = 0; i < a.pixels.size(); ++i) {
        const double d = static_cast<double>(a.pixels[i]) - b.pixels[i];
        sum += d * d;
    }
    return std::sqrt(sum / a.pixels.size());
}

}  // namespace camvault::media::testing

// Leaks that belong to the libraries, not to us: GStreamer's Python plugin
// loader keeps its interpreter; GLib, GStreamer and GES allocate once at
// initialisation and interned strings live as long as the process.
// Our own GStreamer objects stay under the leak checker.
extern "C" const char* __lsan_default_suppressions() {
    return "leak:libpython3\n"
           "leak:libgstpython\n"
           "leak:libgirepository\n"
           "leak:_gi.cpython\n"
           "leak:_dl_init\n"
           "leak:g_intern_string\n"
           "leak:g_intern_static_string\n"
           "leak:gst_init_check\n"
           "leak:ges_init\n"
           // Disposing a finished GES timeline and a reloaded clip asset leaves
           // a few bytes per export behind inside GES and pbutils (GStreamer 1.22).
           "leak:libgstpbutils\n"
           "leak:libges-1.0\n";
}

// The suppressions above need whole stacks: the libraries' frames carry no
// frame pointers, so the fast unwinder would stop before reaching them.
extern "C" const char* __asan_default_options() {
    return "fast_unwind_on_malloc=0";
}
