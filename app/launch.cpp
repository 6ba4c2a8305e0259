// Command-line options and the location of the page.
#include "app/launch.hpp"

#include <unistd.h>

#include <cstdlib>

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

std::string find_page(const std::string& executable_dir, const std::string& source_dir) {
    for (const auto& www_dir :
         {executable_dir + "/../www", executable_dir + "/www", source_dir + "/www"}) {
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
