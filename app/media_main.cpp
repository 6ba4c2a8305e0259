// camvault-media: the media tools from the command line, for benchmarks and
// for looking at a clip by hand (the verbs are in kUsage and its manual).
#include <glib.h>
#include <gst/pbutils/pbutils.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "base/text.hpp"
#include "media/file_names.hpp"
#include "media/frame_grabber.hpp"
#include "media/gst_handles.hpp"
#include "media/merge_export.hpp"
#include "media/png_file.hpp"
#include "media/track_duration.hpp"

namespace {

using namespace camvault::media;
using Clock = std::chrono::steady_clock;

constexpr const char* kUsage =
    "usage: camvault-media snapshot URI SECONDS[,SECONDS...] OUT_DIR\n"
    "       camvault-media merge [--reencode] OUT_DIR CLIP...\n"
    "       camvault-media trim [--reencode] OUT_DIR START_S END_S CLIP...\n"
    "       camvault-media --help | --version\n"
    "Verbs:\n"
    "  snapshot  save the frames of the movie at URI (e.g. file:///card/A.MOV) at\n"
    "            these seconds as PNG files in OUT_DIR (snapshot.png, snapshot-2.png,\n"
    "            ...); prints each second, the milliseconds it took and the file\n"
    "  merge     join the clips in the order given into one 1920x1080 QuickTime\n"
    "            movie exp_YYYYMMDD_HHMMSS.mov in OUT_DIR; prints its path and\n"
    "            \"lossless\" (streams copied: every clip 1920x1080 H.264 alike)\n"
    "            or \"re-encoded\"\n"
    "  trim      as merge, of the part from START_S to END_S seconds of the clips\n"
    "            played one after the other; lossless when it starts on a key frame\n"
    "  --reencode  (merge, trim) encode even clips that could be copied\n"
    "Options:\n"
    "  --help     show this text\n"
    "  --version  show the version\n";

double ms_since(Clock::time_point start) {
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

int snapshot(const std::string& uri, const std::string& times, const std::string& dir) {
    ensure_gstreamer();
    int failures = 0;
    for (const auto& t : camvault::split_keep_empty(times, ',')) {
        const auto start = Clock::now();
        const auto position = static_cast<int64_t>(std::atof(t.c_str()) * 1e9);
        const auto frame = grab_frame(uri, position);
        const auto saved =
            frame ? save_png(*frame, dir, "snapshot") : camvault::fail(frame.error());
        if (saved) {
            std::printf("%s %.1f ms %s\n", t.c_str(), ms_since(start), saved->c_str());
        } else {
            std::printf("%s failed: %s\n", t.c_str(), saved.error().c_str());
            ++failures;
        }
    }
    return failures ? 1 : 0;
}

bool g_reencode = false;  // --reencode

int export_pieces(const std::string& dir, std::vector<ExportPiece> pieces) {
    ensure_ges();
    bool done = false;
    ExportOutcome result = camvault::fail("not finished");
    ExportCallbacks callbacks;
    callbacks.finished = [&](const ExportOutcome& outcome) {
        result = outcome;
        done = true;
    };
    MergeExport job(std::move(pieces), dir, "exp_" + export_stamp(local_now()), callbacks,
                    ExportOptions{.copy_when_possible = !g_reencode});
    while (!done)
        g_main_context_iteration(nullptr, TRUE);
    if (!result) {
        std::fprintf(stderr, "merge failed: %s\n", result.error().c_str());
        return 1;
    }
    std::printf("%s %s\n", result->path.c_str(), mode_name(result->mode));
    return 0;
}

int merge(const std::string& dir, const std::vector<std::string>& clips) {
    std::vector<ExportPiece> pieces;
    for (const auto& clip : clips)
        pieces.push_back(ExportPiece{clip, 0, std::nullopt});
    return export_pieces(dir, std::move(pieces));
}

// The clips' whole-frame durations, read here in the foreground: a command
// line tool may wait.
std::optional<std::vector<uint64_t>> clip_durations(const std::vector<std::string>& clips) {
    ensure_gstreamer();
    GError* raw = nullptr;
    ObjectRef<GstDiscoverer> discoverer(gst_discoverer_new(30 * GST_SECOND, &raw));
    ErrorPtr error(raw);
    if (!discoverer)
        return std::nullopt;
    std::vector<uint64_t> durations;
    for (const auto& clip : clips) {
        camvault::GCharPtr uri(gst_filename_to_uri(clip.c_str(), nullptr));
        ObjectRef<GstDiscovererInfo> info(
            uri ? gst_discoverer_discover_uri(discoverer.get(), uri.get(), nullptr) : nullptr);
        if (!info || gst_discoverer_info_get_result(info.get()) != GST_DISCOVERER_OK) {
            std::fprintf(stderr, "trim failed: cannot read %s\n", clip.c_str());
            return std::nullopt;
        }
        int fps_num = 0, fps_den = 1;
        GList* videos = gst_discoverer_info_get_video_streams(info.get());
        if (videos) {
            auto* video = GST_DISCOVERER_VIDEO_INFO(videos->data);
            fps_num = static_cast<int>(gst_discoverer_video_info_get_framerate_num(video));
            fps_den = static_cast<int>(gst_discoverer_video_info_get_framerate_denom(video));
        }
        gst_discoverer_stream_info_list_free(videos);
        // The picture's own length: the container's may be the sound's.
        const auto picture = video_track_duration(clip);
        durations.push_back(whole_frame_duration(
            picture ? *picture : gst_discoverer_info_get_duration(info.get()), fps_num, fps_den));
    }
    return durations;
}

int trim(const std::string& dir, const std::string& start_text, const std::string& end_text,
         const std::vector<std::string>& clips) {
    char* start_end = nullptr;
    char* end_end = nullptr;
    const double start = std::strtod(start_text.c_str(), &start_end);
    const double end = std::strtod(end_text.c_str(), &end_end);
    if (*start_end || *end_end || start_text.empty() || end_text.empty() || start < 0 ||
        end <= start) {
        std::fputs("trim: START_S and END_S are seconds, START_S before END_S\n", stderr);
        return 2;
    }
    const auto durations = clip_durations(clips);
    if (!durations)
        return 1;
    auto pieces = pieces_for_span(clips, *durations, static_cast<uint64_t>(start * 1e9 + 0.5),
                                  static_cast<uint64_t>(end * 1e9 + 0.5));
    if (pieces.empty()) {
        std::fputs("trim failed: the clips end before START_S\n", stderr);
        return 1;
    }
    return export_pieces(dir, std::move(pieces));
}

}  // namespace

int main(int argc, char** argv) {
    std::vector<std::string> args(argv + 1, argv + argc);
    if (args.size() > 1 && (args[0] == "merge" || args[0] == "trim") && args[1] == "--reencode") {
        g_reencode = true;
        args.erase(args.begin() + 1);
    }
    if (args.size() == 1 && (args[0] == "--help" || args[0] == "-h")) {
        std::fputs(kUsage, stdout);
        return 0;
    }
    if (args.size() == 1 && args[0] == "--version") {
        std::puts("camvault-media " CAMVAULT_VERSION);
        return 0;
    }
    if (args.size() == 4 && args[0] == "snapshot")
        return snapshot(args[1], args[2], args[3]);
    if (args.size() >= 3 && args[0] == "merge")
        return merge(args[1], std::vector<std::string>(args.begin() + 2, args.end()));
    if (args.size() >= 5 && args[0] == "trim")
        return trim(args[1], args[2], args[3],
                    std::vector<std::string>(args.begin() + 4, args.end()));
    std::fputs(kUsage, stderr);
    return 2;
}
