// The library folders and the settings file.
#include "library/settings.hpp"

#include "bridge/command_text.hpp"
#include "library/naming.hpp"
#include "telemetry/atomic_file.hpp"

namespace camvault {

std::vector<std::string> prepare_library(std::string_view home) {
    std::vector<std::string> problems;
    for (const auto& folder : {library_data_dir(home), library_files_dir(home)}) {
        if (auto made = create_directories(folder); !made.ok) {
            problems.push_back(made.error);
        }
    }
    // An import cut short by the end of the process leaves its temporary file.
    remove_abandoned_temporary_files(library_data_dir(home));
    const auto settings = settings_file_path(home);
    if (!path_exists(settings)) {
        if (auto written = write_file_atomically(settings, kDefaultSettings); !written.ok) {
            problems.push_back(written.error);
        }
    }
    return problems;
}

WriteResult save_settings(std::string_view home, std::string_view command_url_text) {
    return write_file_atomically(settings_file_path(home),
                                 remove_all(command_url_text, "http://save_set/"));
}

}  // namespace camvault
