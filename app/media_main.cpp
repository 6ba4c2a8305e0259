// camvault-media: the media tools from the command line, for benchmarks and
// for looking at a clip by hand (the verbs are in kUsage and its manual).
#include <glib.h>

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

namespace {

using namespace camvault::media;
using Clock = std::chrono::steady_clock;

constexpr const char* kUsage =
    "usage: camvault-media snapshot URI SECONDS[,SECONDS...] OUT_DIR\n"
    "       camvault-media merge OUT_DIR CLIP...\n"
    "       camvault-media --help | --version\n"
    "Verbs:\n"
    "  snapshot  save the frames of the movie at URI (e.g. file:///card/A.MOV) at\n"
    "            these seconds as PNG files in OUT_DIR (snapshot.png, snapshot-2.png,\n"
    "            ...); prints each second, the milliseconds it took and the file\n"
    "  merge     join the clips in the order given into one 1920x1080 QuickTime\n"
    "            movie exp_YYYYMMDD_HHMMSS.mov in OUT_DIR; prints its path\n"
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

int merge(const std::string& dir, std::vector<std::string> clips) {
    ensure_ges();
    bool done = false;
    ExportOutcome result = camvault::fail("not finished");
    ExportCallbacks callbacks;
    callbacks.finished = [&](const ExportOutcome& outcome) {
        result = outcome;
        done = true;
    };
    MergeExport job(clips, dir, "exp_" + export_stamp(local_now()), callbacks);
    while (!done)
        g_main_context_iteration(nullptr, TRUE);
    if (!result) {
        std::fprintf(stderr, "merge failed: %s\n", result.error().c_str());
        return 1;
    }
    std::printf("%s\n", result->c_str());
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    const std::vector<std::string> args(argv + 1, argv + argc);
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
    std::fputs(kUsage, stderr);
    return 2;
}
