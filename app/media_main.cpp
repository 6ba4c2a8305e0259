// camvault-media: the media tools from the command line, for benchmarks and
// for looking at a clip by hand (the verbs are in kUsage and its manual).
#include <glib.h>
#include <gst/pbutils/pbutils.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "base/fs/atomic_file.hpp"
#include "base/text.hpp"
#include "library/fingerprint.hpp"
#include "library/prefs.hpp"
#include "media/evidence_pack.hpp"
#include "media/evidence_verify.hpp"
#include "media/file_names.hpp"
#include "media/frame_grabber.hpp"
#include "media/gst_handles.hpp"
#include "media/merge_export.hpp"
#include "media/png_file.hpp"
#include "media/route_map.hpp"
#include "media/track_duration.hpp"
#include "telemetry/extract.hpp"
#include "telemetry/route_export.hpp"

namespace {

using namespace camvault::media;
using Clock = std::chrono::steady_clock;

constexpr const char* kUsage =
    "usage: camvault-media snapshot URI SECONDS[,SECONDS...] OUT_DIR\n"
    "       camvault-media merge [--reencode] OUT_DIR CLIP...\n"
    "       camvault-media trim [--reencode] OUT_DIR START_S END_S CLIP...\n"
    "       camvault-media pack OUT_DIR NAME MOVIE CLIP...\n"
    "       camvault-media verify PACK\n"
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
    "  pack      make the evidence pack NAME in OUT_DIR: a folder holding a copy of\n"
    "            MOVIE, the route of the clips it was cut from (GPX, CSV and a map\n"
    "            picture, times written with the clock settings of\n"
    "            ~/CAMVAULT/data/settings.json), manifest.json with every file's\n"
    "            SHA-256 and the clips' fingerprints, manifest.sha256, and NAME.zip\n"
    "            beside it; prints both paths and the milliseconds it took\n"
    "  verify    check the pack PACK (its folder or its zip) against its manifest\n"
    "            and the manifest against manifest.sha256; prints every file that\n"
    "            changed, is missing or is not listed; exit status 0 only when all\n"
    "            match\n"
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
                    ExportOptions{.copy_when_possible = !g_reencode, .captions = {}});
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

int verify(const std::string& pack) {
    const auto check = verify_evidence_pack(pack);
    if (!check) {
        std::fprintf(stderr, "verify failed: %s\n", check.error().c_str());
        return 2;
    }
    for (const auto& problem : check->problems)
        std::printf("%s: %s\n", problem.name.c_str(), problem.what.c_str());
    if (!check->ok()) {
        std::printf("FAILED: %zu problem(s), %zu file(s) match\n", check->problems.size(),
                    check->files_matched);
        return 1;
    }
    std::printf("OK: %zu file(s) and the manifest match\n", check->files_matched);
    return 0;
}

// The route files and the map of the clips, written into `dir`; the paths.
std::vector<PackFile> route_files(const std::vector<camvault::ClipRoute>& clips,
                                  const camvault::Prefs& prefs, const std::string& dir,
                                  const std::string& stem) {
    using namespace camvault;
    RouteOptions options;
    options.utc_offset_minutes = prefs.camera_utc_offset_min;
    options.clock_correction_s = prefs.clock_correction_s;
    options.title = stem;
    std::vector<PackFile> files;
    if (exportable_points(clips, options.utc_offset_minutes, options.clock_correction_s) == 0)
        return files;
    RouteMapRequest map;
    for (const auto& clip : clips)
        for (const auto& p : clip.points)
            if (is_exportable(p, options.utc_offset_minutes, options.clock_correction_s))
                map.route.push_back({p.latitude, p.longitude});
    for (const auto format : {RouteFormat::gpx, RouteFormat::csv}) {
        const std::string path =
            dir + "/" + stem + "." + std::string(route_format_extension(format));
        if (write_file_atomically(path, route_text(format, clips, options)))
            files.push_back({path, true, ""});
    }
    if (const std::string path = dir + "/map.png"; write_route_map(path, map))
        files.push_back({path, true, ""});
    return files;
}

int pack(const std::string& out_dir, const std::string& name, const std::string& movie,
         const std::vector<std::string>& clips) {
    using namespace camvault;
    const auto start = Clock::now();
    const Prefs prefs = load_prefs(g_get_home_dir());
    PackRequest request{out_dir, name, {{movie, false, ""}}, {}, {}};
    request.clock = {prefs.clock_correction_s, prefs.camera_utc_offset_min};
    std::vector<ClipRoute> routes;
    for (const auto& clip : clips) {
        const std::string clip_name = std::filesystem::path(clip).filename().string();
        const auto identity = identify_clip(clip);
        auto route =
            identity ? read_clip_route(clip, clip_name) : Result<ClipRoute>(identity.failure());
        if (!route) {
            std::fprintf(stderr, "pack failed: %s\n", route.error().c_str());
            return 1;
        }
        request.sources.push_back({clip_name, identity->size, identity->fingerprint});
        routes.push_back(std::move(*route));
    }
    std::string scratch = out_dir + "/.camvault-pack-XXXXXX";
    if (::mkdtemp(scratch.data()) == nullptr) {
        std::fprintf(stderr, "pack failed: cannot write in %s\n", out_dir.c_str());
        return 1;
    }
    const std::string stem = std::filesystem::path(movie).stem().string();
    for (auto& file : route_files(routes, prefs, scratch, stem))
        request.files.push_back(std::move(file));
    const auto made = make_evidence_pack(request);
    std::error_code ec;
    std::filesystem::remove_all(scratch, ec);
    if (!made) {
        std::fprintf(stderr, "pack failed: %s\n", made.error().c_str());
        return 1;
    }
    std::printf("%s\n%s\n%.1f ms\n", made->folder.c_str(), made->zip.c_str(), ms_since(start));
    return 0;
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
    if (args.size() >= 5 && args[0] == "pack")
        return pack(args[1], args[2], args[3],
                    std::vector<std::string>(args.begin() + 4, args.end()));
    if (args.size() == 2 && args[0] == "verify")
        return verify(args[1]);
    std::fputs(kUsage, stderr);
    return 2;
}
