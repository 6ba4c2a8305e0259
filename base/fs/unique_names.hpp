// Files published under a free name, never replacing an earlier file of the
// same name: "stem.ext", then "stem-2.ext", "stem-3.ext", ...
#pragma once

#include <functional>
#include <string>
#include <string_view>

#include "base/result.hpp"

namespace camvault {

// The `attempt`-th candidate name: "stem.ext" for 1, "stem-2.ext" for 2, ...
std::string numbered_name(std::string_view stem, std::string_view extension, int attempt);

// Tries candidate names in `dir` in order and returns the first path for which
// `claim` succeeds. `claim` returns false with `error` empty when the name is
// taken (the next one is tried), or with `error` set on a hard failure.
using ClaimFn = std::function<bool(const std::string& path, std::string& error)>;
Result<std::string> claim_free_name(std::string_view dir, std::string_view stem,
                                    std::string_view extension, const ClaimFn& claim);

// Moves the finished file `temp_path` to the first free name in `dir`,
// atomically and never over an existing file.
Result<std::string> publish_without_overwrite(const std::string& temp_path, std::string_view dir,
                                              std::string_view stem, std::string_view extension);

// Creates an empty file at the first free name in `dir` so that a writer can
// fill it in place.
Result<std::string> create_new_file(std::string_view dir, std::string_view stem,
                                    std::string_view extension);

// Writes `bytes` to a temporary file in `dir`, flushes it and publishes it
// under the first free name. Errors name the file as the user will know it
// (dir/stem.ext), never the temporary name.
Result<std::string> write_new_file(std::string_view dir, std::string_view stem,
                                   std::string_view extension, std::string_view bytes);

}  // namespace camvault
