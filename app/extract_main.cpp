// camvault-extract: writes the telemetry script files of clips into the library
// data folder (or another folder), with the same code the import runs; or
// writes their route as GPX, KML, CSV or GeoJSON to standard output or a file.
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "base/fs/atomic_file.hpp"
#include "library/naming.hpp"
#include "library/prefs.hpp"
#include "telemetry/extract.hpp"
#include "telemetry/freegps_layouts.hpp"
#include "telemetry/route_export.hpp"

namespace {

constexpr const char* kUsage =
    "usage: camvault-extract [--data-dir DIR] [--force] CLIP...\n"
    "       camvault-extract --format gpx|kml|csv|geojson [--data-dir DIR] [--output FILE]\n"
    "                        CLIP...\n"
    "       camvault-extract --help | --version\n"
    "Writes each clip's telemetry script file into DIR (default ~/CAMVAULT/data).\n"
    "Clips whose script file exists are skipped unless --force is given.\n"
    "  --data-dir DIR  write the script files into DIR; with --format, read the\n"
    "                  settings from DIR\n"
    "  --force         rewrite script files that exist\n"
    "  --format FMT    script (the default) or a route file: gpx, kml, csv, geojson;\n"
    "                  several clips make one route in clock order, times in UTC\n"
    "                  by the clock correction and camera time zone of DIR's\n"
    "                  settings.json (default ~/CAMVAULT/data/settings.json)\n"
    "  --output FILE   write the route file to FILE instead of standard output\n"
    "  --help          show this text\n"
    "  --version       show the version\n";

std::string home_dir() {
    if (const char* home = std::getenv("HOME"); home != nullptr && *home != '\0') {
        return home;
    }
    if (const passwd* pw = ::getpwuid(::getuid()); pw != nullptr && pw->pw_dir != nullptr) {
        return pw->pw_dir;
    }
    return "";
}

// Creates `dir` and its missing parents; an existing folder is fine.
bool make_folders(const std::string& dir, std::string& error) {
    for (size_t pos = 1; pos <= dir.size(); ++pos) {
        if (pos != dir.size() && dir[pos] != '/')
            continue;
        const std::string part = dir.substr(0, pos);
        if (::mkdir(part.c_str(), 0777) != 0 && errno != EEXIST) {
            error = "cannot create " + part + ": " + std::strerror(errno);
            return false;
        }
    }
    struct stat st {};
    if (::stat(dir.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) {
        error = "cannot create " + dir + ": " + std::strerror(errno ? errno : ENOTDIR);
        return false;
    }
    return true;
}

// The script file's name by the library's naming rule (it never holds a "/",
// since a clip name does not).
std::string script_file_name(const std::string& name) {
    const std::string relative = camvault::telemetry_relative_path(name);
    return relative.substr(relative.rfind('/') + 1);
}

// "; layout novatek; no G-sensor: x, y, z written as 0.00" for clips with any
// layout but the original block, whose report stays as it always was.
std::string layout_report(camvault::LayoutSet layouts) {
    using camvault::TelemetryLayout;
    if ((layouts & ~camvault::layout_bit(TelemetryLayout::nextbase_block)) == 0)
        return "";
    std::string names;
    std::string gsensor;
    for (unsigned i = 0; i < static_cast<unsigned>(TelemetryLayout::count); ++i) {
        const auto layout = static_cast<TelemetryLayout>(i);
        if ((layouts & camvault::layout_bit(layout)) == 0)
            continue;
        names += (names.empty() ? "" : ", ") + std::string(camvault::layout_name(layout));
        std::string note;
        switch (camvault::layout_gsensor(layout)) {
            case camvault::GSensor::none:
                note = "no G-sensor: x, y, z written as 0.00";
                break;
            case camvault::GSensor::axes_unknown:
                note = "G-sensor axes unknown: x, y, z as recorded";
                break;
            case camvault::GSensor::camvault_axes:
                note = "G-sensor x right, y forward, z up";
                break;
        }
        if (gsensor.find(note) == std::string::npos)
            gsensor += (gsensor.empty() ? "" : "; ") + note;
    }
    return "; layout " + names + "; " + gsensor;
}

enum class Outcome { written, skipped, failed };

Outcome extract_one(const std::string& clip, const std::string& data_dir, bool force) {
    const std::string name = camvault::clip_name(clip);
    if (!camvault::is_clip_extension(camvault::clip_extension(name))) {
        std::fprintf(stderr, "camvault-extract: cannot extract %s: not a .MOV or .mov clip\n",
                     clip.c_str());
        return Outcome::failed;
    }
    struct stat st {};
    if (::stat(clip.c_str(), &st) != 0) {
        std::fprintf(stderr, "camvault-extract: cannot read %s: %s\n", clip.c_str(),
                     std::strerror(errno));
        return Outcome::failed;
    }
    const std::string script = data_dir + "/" + script_file_name(name);
    if (!force && ::access(script.c_str(), F_OK) == 0) {
        std::printf("skipped %s (exists)\n", script.c_str());
        return Outcome::skipped;
    }
    const camvault::ExtractResult result = camvault::extract_clip_file(clip, script, name);
    if (!result) {
        std::fprintf(stderr, "camvault-extract: %s\n", result.error().c_str());
        return Outcome::failed;
    }
    std::printf("written %s (%llu records%s)\n", script.c_str(),
                static_cast<unsigned long long>(result->records),
                layout_report(result->layouts).c_str());
    return Outcome::written;
}

// The route of all clips as one file in clock order: nothing is written unless
// every clip was read and some position was found.
int export_route(const std::vector<std::string>& clips, camvault::RouteFormat format,
                 const std::string& output, const camvault::Prefs& prefs) {
    const int offset = prefs.camera_utc_offset_min;
    const int64_t correction = prefs.clock_correction_s;
    std::vector<camvault::ClipRoute> routes;
    for (const std::string& clip : clips) {
        auto route = camvault::read_clip_route(clip, camvault::clip_name(clip));
        if (!route) {
            std::fprintf(stderr, "camvault-extract: %s\n", route.error().c_str());
            return 1;
        }
        if (camvault::exportable_points({&*route, 1}, offset, correction) == 0)
            std::fprintf(stderr, "camvault-extract: no position in the telemetry of %s\n",
                         clip.c_str());
        routes.push_back(std::move(*route));
    }
    if (camvault::exportable_points(routes, offset, correction) == 0) {
        std::fputs("camvault-extract: nothing to write\n", stderr);
        return 1;
    }
    camvault::sort_by_clock(routes, offset, correction);
    camvault::RouteOptions options;
    options.utc_offset_minutes = offset;
    options.clock_correction_s = correction;
    options.creator = "CamVault " CAMVAULT_VERSION;
    options.title = routes.size() == 1 ? routes.front().name
                                       : routes.front().name + " to " + routes.back().name;
    const std::string text = camvault::route_text(format, routes, options);
    if (output.empty() || output == "-") {
        if (std::fwrite(text.data(), 1, text.size(), stdout) != text.size() ||
            std::fflush(stdout) != 0) {
            std::fprintf(stderr, "camvault-extract: cannot write standard output: %s\n",
                         std::strerror(errno));
            return 1;
        }
        return 0;
    }
    if (auto written = camvault::write_file_atomically(output, text); !written) {
        std::fprintf(stderr, "camvault-extract: %s\n", written.error().c_str());
        return 1;
    }
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    std::string data_dir;
    bool force = false;
    std::string format = "script";
    std::string output;
    std::vector<std::string> clips;
    bool options_done = false;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (options_done || arg.empty() || arg[0] != '-') {
            clips.push_back(arg);
        } else if (arg == "--") {
            options_done = true;
        } else if (arg == "--force") {
            force = true;
        } else if (arg == "--data-dir") {
            if (i + 1 == argc) {
                std::fprintf(stderr, "camvault-extract: --data-dir needs a folder\n%s", kUsage);
                return 2;
            }
            data_dir = argv[++i];
        } else if (arg.rfind("--data-dir=", 0) == 0) {
            data_dir = arg.substr(11);
        } else if (arg == "--format" || arg == "--output") {
            if (i + 1 == argc) {
                std::fprintf(stderr, "camvault-extract: %s needs a value\n%s", arg.c_str(), kUsage);
                return 2;
            }
            (arg == "--format" ? format : output) = argv[++i];
        } else if (arg.rfind("--format=", 0) == 0) {
            format = arg.substr(9);
        } else if (arg.rfind("--output=", 0) == 0) {
            output = arg.substr(9);
        } else if (arg == "--help" || arg == "-h") {
            std::fputs(kUsage, stdout);
            return 0;
        } else if (arg == "--version") {
            std::puts("camvault-extract " CAMVAULT_VERSION);
            return 0;
        } else {
            std::fprintf(stderr, "camvault-extract: unknown option %s\n%s", arg.c_str(), kUsage);
            return 2;
        }
    }
    if (clips.empty()) {
        std::fputs(kUsage, stderr);
        return 2;
    }
    if (format != "script") {
        const auto route_format = camvault::route_format_named(format);
        if (!route_format) {
            std::fprintf(stderr, "camvault-extract: unknown format %s\n%s", format.c_str(), kUsage);
            return 2;
        }
        if (force) {
            std::fputs("camvault-extract: --force writes script files only\n", stderr);
            return 2;
        }
        // The same clock settings as the application's exports.
        if (data_dir.empty()) {
            const std::string home = home_dir();
            if (!home.empty())
                data_dir = camvault::library_data_dir(home);
        }
        const auto prefs = data_dir.empty()
                               ? camvault::Prefs{}
                               : camvault::load_prefs_file(data_dir + "/settings.json");
        return export_route(clips, *route_format, output, prefs);
    }
    if (!output.empty()) {
        std::fputs("camvault-extract: --output needs --format gpx, kml, csv or geojson\n", stderr);
        return 2;
    }
    if (data_dir.empty()) {
        const std::string home = home_dir();
        if (home.empty()) {
            std::fputs("camvault-extract: no home folder; pass --data-dir\n", stderr);
            return 2;
        }
        data_dir = camvault::library_data_dir(home);
    }
    while (data_dir.size() > 1 && data_dir.back() == '/')
        data_dir.pop_back();
    if (std::string error; !make_folders(data_dir, error)) {
        std::fprintf(stderr, "camvault-extract: %s\n", error.c_str());
        return 1;
    }

    size_t failed = 0;
    for (const std::string& clip : clips) {
        if (extract_one(clip, data_dir, force) == Outcome::failed)
            ++failed;
        std::fflush(stdout);
    }
    if (failed > 0) {
        std::fprintf(stderr, "camvault-extract: %zu of %zu clips failed\n", failed, clips.size());
        return 1;
    }
    return 0;
}
