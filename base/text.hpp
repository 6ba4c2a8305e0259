// Text helpers for command arguments: prefix removal, splitting, percent-decoding.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace camvault {

// Every non-overlapping occurrence of `from` in `text`, left to right, replaced by `to`.
std::string replace_all(std::string_view text, std::string_view from, std::string_view to);

// Every occurrence of `prefix` anywhere in `text` removed.
std::string remove_all(std::string_view text, std::string_view prefix);

// `text` split at every `separator`; empty pieces are kept, so "a," gives
// {"a", ""} and "" gives {""}.
std::vector<std::string> split_keep_empty(std::string_view text, char separator);

// Decodes %XX escapes (UTF-8 bytes). A "%" not followed by two hex digits is
// kept as it is.
std::string percent_decode(std::string_view text);

}  // namespace camvault
