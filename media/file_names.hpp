// Names of the files the media tools write, and how they are published
// without ever replacing an earlier file of the same name.
#pragma once

#include <ctime>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

namespace camvault::media {

// Calendar-date stamps (never the week-based year or the day of the year).
std::string snapshot_stamp(const std::tm& local);   // yyyy_MMdd_HHmmss
std::string export_stamp(const std::tm& local);     // yyyyMMdd_HHmmss
std::string recording_stamp(const std::tm& local);  // yyyyMMddHHmmss

// The current local time.
std::tm local_now();

// The `attempt`-th candidate name: "stem.ext" for 1, "stem-2.ext" for 2, ...
std::string numbered_name(std::string_view stem, std::string_view extension, int attempt);

// Tries candidate names in `dir` in order and returns the first path for
// which `claim` succeeds. `claim` must fail only because the name is taken
// (returning false); a hard error is reported through `failed`.
struct ClaimResult {
    std::optional<std::string> path;
    std::string error;  // set when no name could be claimed
};
using ClaimFn = std::function<bool(const std::string& path, std::string& error)>;
ClaimResult claim_free_name(std::string_view dir, std::string_view stem, std::string_view extension,
                            const ClaimFn& claim);

// Moves the finished file `temp_path` to the first free name in `dir`,
// atomically and never over an existing file.
ClaimResult publish_without_overwrite(const std::string& temp_path, std::string_view dir,
                                      std::string_view stem, std::string_view extension);

// Creates an empty file at the first free name in `dir` so that a writer can
// fill it in place (recordings stay playable under their final name).
ClaimResult create_new_file(std::string_view dir, std::string_view stem,
                            std::string_view extension);

// A hidden temporary name in `dir` for a file being written.
std::string temporary_path(std::string_view dir, std::string_view stem, std::string_view extension);

}  // namespace camvault::media
