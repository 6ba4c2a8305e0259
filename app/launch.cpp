// Command-line options and the location of the page.
#include "app/launch.hpp"

#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <string_view>

#include "library/naming.hpp"

namespace camvault {

ParsedArguments parse_arguments(const std::vector<std::string>& arguments) {
    ParsedArguments parsed;
    bool importing = false;
    for (const auto& argument : arguments) {
        if (importing && argument != "--automation") {
            parsed.options.import_paths.push_back(argument);
        } else if (argument == "--automation") {
            parsed.options.automation = true;
        } else if (argument == "--import") {
            importing = true;
        } else if (argument == "--help" || argument == "-h") {
            parsed.show_help = true;
        } else if (argument == "--version") {
            parsed.show_version = true;
        } else if (!argument.empty() && argument[0] != '-') {
            parsed.options.open_paths.push_back(argument);
        } else {
            parsed.error = "unknown argument: " + argument;
            return parsed;
        }
    }
    return parsed;
}

std::string find_page_in(const std::string& www_dir) {
    // A page folder without the libraries the build bundles (the source
    // folder, say) would show a broken page: it is no page folder.
    for (const char* library : kPageLibraries) {
        if (::access((www_dir + "/" + library).c_str(), R_OK) != 0)
            return {};
    }
    // WebKit reports the page's URL without "..": keep the path canonical.
    const std::string candidate = www_dir + "/index.html";
    char* resolved = realpath(candidate.c_str(), nullptr);
    if (!resolved) {
        return {};
    }
    std::string page(resolved);
    free(resolved);
    return page;
}

bool single_instance(const LaunchOptions& options, const char* non_unique_env) {
    return !options.automation && !(non_unique_env && std::string_view(non_unique_env) == "1");
}

bool draw_page_with_gpu(const char* gpu_env, const std::string& dri_dir) {
    if (gpu_env != nullptr &&
        (std::string_view(gpu_env) == "1" || std::string_view(gpu_env) == "0"))
        return std::string_view(gpu_env) == "1";
    std::error_code error;
    for (std::filesystem::directory_iterator it(dri_dir, error), end; !error && it != end;
         it.increment(error)) {
        // A node without the rights to open it (not in the render group, a
        // container's bare mount) leaves Mesa drawing on the CPU all the same.
        if (it->path().filename().string().starts_with("renderD") &&
            access(it->path().c_str(), R_OK | W_OK) == 0)
            return true;
    }
    return false;
}

std::vector<std::string> expand_opened_paths(const std::vector<std::string>& paths) {
    namespace fs = std::filesystem;
    std::vector<std::string> expanded;
    for (const auto& path : paths) {
        std::error_code error;
        if (!fs::is_directory(path, error)) {
            expanded.push_back(path);
            continue;
        }
        std::vector<std::string> clips;
        for (const auto& entry : fs::directory_iterator(path, error)) {
            const std::string name = entry.path().filename().string();
            if (entry.is_regular_file(error) && is_clip_extension(clip_extension(name)))
                clips.push_back(name);
        }
        std::sort(clips.begin(), clips.end());
        const std::string folder = path.ends_with('/') ? path : path + "/";
        for (const auto& name : clips)
            expanded.push_back(folder + name);
    }
    return expanded;
}

std::string find_page(const std::string& executable_dir) {
    for (const auto& www_dir :
         {executable_dir + "/../share/camvault/www", executable_dir + "/../www"}) {
        if (auto page = find_page_in(www_dir); !page.empty()) {
            return page;
        }
    }
    return {};
}

std::string home_without_trailing_slash(std::string home) {
    while (home.size() > 1 && home.back() == '/') {
        home.pop_back();
    }
    return home;
}

}  // namespace camvault
