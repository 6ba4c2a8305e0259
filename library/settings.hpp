// The library folders and the settings file ini.txt, which the page reads and
// save_set rewrites.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "base/result.hpp"

namespace camvault {

inline constexpr std::string_view kDefaultSettings = "km,English";

// Creates home/CAMVAULT/data and home/CAMVAULT/files when missing and writes the
// default ini.txt when nothing exists at its path, and sweeps both folders of
// temporary files whose writer is gone. Returns what could not be
// done (empty when all is in place); the listing goes on regardless.
std::vector<std::string> prepare_library(std::string_view home);

// The most save_set may store: the page's two settings take a few bytes.
inline constexpr size_t kMaxSettingsSize = 1024;

// The save_set command: `text` (everything but the prefix, as sent) replaces
// ini.txt, unless it is longer than kMaxSettingsSize (the former settings stay).
Status save_settings(std::string_view home, std::string_view text);

// The page's language in ini.txt's text ("unit,language", each field as the
// page encoded it), resolved as the page resolves it: a language's id, name
// or code in any case gives its id ("English", "German", "French",
// "Spanish"); anything else gives "English".
std::string settings_language(std::string_view ini_text);
// settings_language of home's ini.txt; "English" when it cannot be read.
std::string read_settings_language(std::string_view home);
// Whether ini.txt's unit is miles ("miles,English"); kilometres otherwise.
bool settings_in_miles(std::string_view ini_text);
bool read_settings_in_miles(std::string_view home);

}  // namespace camvault
