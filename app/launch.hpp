// Command-line options and the location of the page, decided before the
// window exists.
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace camvault {

struct LaunchOptions {
    bool automation = false;                // drivable by WebKitWebDriver
    std::vector<std::string> import_paths;  // imported after the first listing
    std::string page_path;                  // absolute path of www/index.html
    std::string home;                       // the user's home directory, no trailing slash
};

struct ParsedArguments {
    LaunchOptions options;
    bool show_help = false;
    std::string error;  // non-empty when the arguments cannot be used
};

// camvault [--automation] [--import PATH...]
ParsedArguments parse_arguments(const std::vector<std::string>& arguments);

// The page next to the binary (build tree or installation), else in the
// source tree. Empty when neither exists.
std::string find_page(const std::string& executable_dir, const std::string& source_dir);
// The libraries the page loads, which the build copies beside it.
inline constexpr const char* kPageLibraries[] = {"vendor/leaflet/leaflet.js",
                                                 "vendor/uplot/uPlot.iife.min.js"};

// www_dir/index.html, canonical, or empty when it or its libraries are missing.
std::string find_page_in(const std::string& www_dir);

// The home directory without a trailing slash.
std::string home_without_trailing_slash(std::string home);

inline constexpr const char* kUsage =
    "usage: camvault [--automation] [--import CLIP...]\n"
    "  --automation     allow WebKitWebDriver to drive the window\n"
    "  --import CLIP... import these clips after the first listing\n";

}  // namespace camvault
