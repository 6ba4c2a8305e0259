// Command-line options and the location of the page, decided before the
// window exists.
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace camvault {

// The application id: the desktop entry, the metainfo, the icon and the
// GApplication's name on the session bus.
inline constexpr const char* kApplicationId = "io.github.camvault.CamVault";

struct LaunchOptions {
    bool automation = false;                // drivable by WebKitWebDriver
    std::vector<std::string> import_paths;  // imported after the first listing
    // Clips and folders handed over by the desktop ("Open with", %F): imported
    // like import_paths once folders are expanded (expand_opened_paths).
    std::vector<std::string> open_paths;
    std::string page_path;  // absolute path of www/index.html
    std::string home;       // the user's home directory, no trailing slash
    // The map's tile URL template (CAMVAULT_TILE_URL), or empty for the page's own.
    std::string tile_url;
    // WebKit composites the page with OpenGL (see draw_page_with_gpu).
    bool gpu_compositing = true;
};

struct ParsedArguments {
    LaunchOptions options;
    bool show_help = false;
    bool show_version = false;
    std::string error;  // non-empty when the arguments cannot be used
};

// camvault [--automation] [PATH...] [--import PATH...]
ParsedArguments parse_arguments(const std::vector<std::string>& arguments);

// One CamVault per user session takes every clip opened: false for automation
// runs and when CAMVAULT_NON_UNIQUE is "1" (the tests' own instances).
bool single_instance(const LaunchOptions& options, const char* non_unique_env);

// Whether WebKit should composite the page with OpenGL. Without a GPU, Mesa
// draws that OpenGL on the CPU: every frame of the window is then drawn whole
// (a scroll of the clip list repaints the map and the video, ~65 ms a frame on
// two cores against 16 ms for WebKit's own drawing), and a paused video shows
// black until it is sought again. So WebKit keeps its own policy only when
// `dri_dir` holds a render node (renderD*) this user may open, and is told
// never to composite otherwise; CAMVAULT_GPU ("1" or "0", `gpu_env`) decides
// instead when set.
bool draw_page_with_gpu(const char* gpu_env, const std::string& dri_dir);

// Each folder among `paths` replaced by the clips directly inside it (files
// whose extension is MOV or mov, by name); other paths are kept as they are
// for the import pass to judge.
std::vector<std::string> expand_opened_paths(const std::vector<std::string>& paths);

// The page of an installation (<prefix>/share/camvault/www beside
// <prefix>/bin) or of the build tree (<build>/www beside <build>/app), found
// from the binary's own folder so that any prefix works. Empty when neither
// exists: an installed CamVault never reaches into a source tree.
std::string find_page(const std::string& executable_dir);
// The libraries the page loads, which the build copies beside it.
inline constexpr const char* kPageLibraries[] = {"vendor/leaflet/leaflet.js",
                                                 "vendor/uplot/uPlot.iife.min.js"};

// www_dir/index.html, canonical, or empty when it or its libraries are missing.
std::string find_page_in(const std::string& www_dir);

// The home directory without a trailing slash.
std::string home_without_trailing_slash(std::string home);

inline constexpr const char* kUsage =
    "usage: camvault [--automation] [CLIP|FOLDER...] [--import CLIP...]\n"
    "  CLIP|FOLDER...   import these clips, and the clips directly inside these\n"
    "                   folders; a CamVault already running takes them\n"
    "  --import CLIP... import these clips after the first listing\n"
    "  --automation     allow WebKitWebDriver to drive the window (runs apart\n"
    "                   from any other CamVault)\n"
    "  --help           show this text\n"
    "  --version        show the version\n";

}  // namespace camvault
