// Library layout and naming: where the library folders lie below home, the clip
// name and extension of a path, and the rule that names a clip's telemetry
// script file.
#pragma once

#include <string>
#include <string_view>

namespace camvault {

// home/CAMVAULT/data and home/CAMVAULT/files (no trailing slash).
std::string library_data_dir(std::string_view home);
std::string library_files_dir(std::string_view home);
// home/CAMVAULT/data/ini.txt
std::string settings_file_path(std::string_view home);
// home/CAMVAULT/data/settings.json: the page's settings beyond ini.txt.
std::string prefs_file_path(std::string_view home);

// The last piece of `path` split at every "/".
std::string clip_name(std::string_view path);

// The last piece of `name` split at every "."; the whole name when it holds no
// "."; empty when the name ends with ".".
std::string clip_extension(std::string_view name);

// True for the two extensions the import accepts: exactly "MOV" or "mov".
bool is_clip_extension(std::string_view extension);

// The home-relative telemetry path of a clip name: "/CAMVAULT/data/" + name,
// then every ".MOV" replaced by ".data", then every ".mov" by ".data".
// FILE0001.MOV -> /CAMVAULT/data/FILE0001.data; trip.movie.MOV ->
// /CAMVAULT/data/trip.dataie.data.
std::string telemetry_relative_path(std::string_view clip_name);

// home followed directly by telemetry_relative_path(clip_name(clip_path)).
std::string telemetry_script_path(std::string_view home, std::string_view clip_path);

}  // namespace camvault
