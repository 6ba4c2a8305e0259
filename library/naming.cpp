// Library layout and naming rules.
#include "library/naming.hpp"

#include "base/text.hpp"

namespace camvault {

std::string library_data_dir(std::string_view home) {
    return std::string(home) + "/CAMVAULT/data";
}

std::string library_files_dir(std::string_view home) {
    return std::string(home) + "/CAMVAULT/files";
}

std::string settings_file_path(std::string_view home) {
    return std::string(home) + "/CAMVAULT/data/ini.txt";
}

std::string prefs_file_path(std::string_view home) {
    return std::string(home) + "/CAMVAULT/data/settings.json";
}

std::string clip_name(std::string_view path) {
    const auto slash = path.rfind('/');
    return std::string(slash == std::string_view::npos ? path : path.substr(slash + 1));
}

std::string clip_extension(std::string_view name) {
    const auto dot = name.rfind('.');
    return std::string(dot == std::string_view::npos ? name : name.substr(dot + 1));
}

bool is_clip_extension(std::string_view extension) {
    return extension == "MOV" || extension == "mov";
}

std::string telemetry_relative_path(std::string_view clip_name) {
    std::string path = "/CAMVAULT/data/" + std::string(clip_name);
    path = replace_all(path, ".MOV", ".data");
    return replace_all(path, ".mov", ".data");
}

std::string telemetry_script_path(std::string_view home, std::string_view clip_path) {
    return std::string(home) + telemetry_relative_path(clip_name(clip_path));
}

}  // namespace camvault
