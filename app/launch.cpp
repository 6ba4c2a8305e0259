// Command-line options and the location of the page.
#include "app/launch.hpp"

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

std::string find_page(const std::string& executable_dir, const std::string& source_dir) {
    for (const auto& candidate : {executable_dir + "/../www/index.html",
                                  executable_dir + "/www/index.html",
                                  source_dir + "/www/index.html"}) {
        // WebKit reports the page's URL without "..": keep the path canonical.
        if (char* resolved = realpath(candidate.c_str(), nullptr)) {
            std::string page(resolved);
            free(resolved);
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
