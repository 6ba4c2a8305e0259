// The two import lists: comma-terminated texts in which entry k of the
// telemetry list belongs to entry k of the movie list.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "base/result.hpp"

namespace camvault {

// The entries of a comma-terminated list, without their commas.
std::vector<std::string> list_entries(std::string_view list);

// Why a path cannot live in the lists, or empty when it can: a comma or a line
// break would split its entry, or break the page's listing.
std::optional<Message> unlistable_reason(std::string_view path);

// Appends one clip to both lists.
void append_clip(std::string& data_list, std::string& movie_list, std::string_view script_path,
                 std::string_view source_path);

// Removes every movie entry that equals `source_path` exactly, and with each
// the telemetry entry at the same position, so the lists stay paired. Returns
// how many clips were removed.
size_t remove_clip(std::string& data_list, std::string& movie_list, std::string_view source_path);

}  // namespace camvault
