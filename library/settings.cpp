// The library folders and the settings file.
#include "library/settings.hpp"

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

}  // namespace camvault
