// The library folders and the settings file.
#include "library/settings.hpp"

#include <unistd.h>

#include "base/text.hpp"

#include "base/fs/atomic_file.hpp"
#include "base/fs/files.hpp"
#include "base/fs/temporary.hpp"
#include "library/naming.hpp"

namespace camvault {

std::vector<std::string> prepare_library(std::string_view home) {
    std::vector<std::string> problems;
    for (const auto& folder : {library_data_dir(home), library_files_dir(home)}) {
        if (auto made = create_directories(folder); !made)
            problems.push_back(made.error());
        // An import or export cut short by the end of the process leaves its
        // temporary file behind.
        sweep_abandoned_temporaries(folder);
    }
    const auto settings = settings_file_path(home);
    if (!path_exists(settings)) {
        if (auto written = write_file_atomically(settings, kDefaultSettings); !written)
            problems.push_back(written.error());
    }
    return problems;
}

Status save_settings(std::string_view home, std::string_view text) {
    if (text.size() > kMaxSettingsSize) {
        const std::string size = std::to_string(text.size());
        const std::string limit = std::to_string(kMaxSettingsSize);
        return fail(
            "settings_too_large", {{"size", size}, {"limit", limit}},
            "Settings not saved: " + size + " bytes is more than the " + limit + " bytes allowed.");
    }
    if (auto written = write_file_atomically(settings_file_path(home), text); !written)
        return fail("settings_not_saved", {{"error", written.error()}},
                    "Settings not saved: " + written.error());
    return {};
}

namespace {

std::string lower_ascii(std::string text) {
    for (char& c : text)
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
    return text;
}

std::string trimmed(std::string_view text) {
    const auto first = text.find_first_not_of(" \t\r\n");
    if (first == std::string_view::npos)
        return {};
    const auto last = text.find_last_not_of(" \t\r\n");
    return std::string(text.substr(first, last - first + 1));
}

}  // namespace

std::string settings_language(std::string_view ini_text) {
    // The page's LANGUAGES in www/js/i18n.js: id, own name, code.
    struct Language {
        const char* id;
        const char* label;
        const char* code;
    };
    static constexpr Language kLanguages[] = {{"English", "english", "en"},
                                              {"German", "deutsch", "de"},
                                              {"French", "fran\u00e7ais", "fr"},
                                              {"Spanish", "espa\u00f1ol", "es"}};
    if (ini_text.starts_with("\xEF\xBB\xBF"))
        ini_text.remove_prefix(3);
    const auto comma = ini_text.find(',');
    if (comma == std::string_view::npos)
        return "English";
    const std::string wanted =
        lower_ascii(trimmed(percent_decode(trimmed(ini_text.substr(comma + 1)))));
    for (const auto& language : kLanguages)
        if (wanted == lower_ascii(language.id) || wanted == language.label ||
            wanted == language.code)
            return language.id;
    return "English";
}

namespace {

// ini.txt's text; empty when it cannot be read.
std::string read_settings_text(std::string_view home) {
    auto fd = open_regular_file(settings_file_path(home));
    if (!fd)
        return {};
    // ini.txt holds a few bytes; save_set never stores more than this.
    std::string text(kMaxSettingsSize + 1, '\0');
    const ssize_t got = ::read(*fd, text.data(), text.size());
    ::close(*fd);
    text.resize(got > 0 ? static_cast<size_t>(got) : 0);
    return text;
}

}  // namespace

std::string read_settings_language(std::string_view home) {
    const std::string text = read_settings_text(home);
    return text.empty() ? "English" : settings_language(text);
}

bool settings_in_miles(std::string_view ini_text) {
    const std::string_view unit = ini_text.substr(0, ini_text.find(','));
    return unit == "miles" || unit == "mi";
}

bool read_settings_in_miles(std::string_view home) {
    return settings_in_miles(read_settings_text(home));
}

}  // namespace camvault
