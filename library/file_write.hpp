// Whole-file atomic writes: a temporary file in the same folder, then rename,
// so a reader never sees a half-written file and a failure leaves the old one.
#pragma once

#include <string>
#include <string_view>

namespace camvault {

struct WriteResult {
    bool ok = false;
    std::string error;  // what went wrong, for a person: "cannot write /x/ini.txt: Permission denied"
};

WriteResult write_file_atomically(const std::string& path, std::string_view content);

// True when anything (file, folder, other) exists at `path`.
bool path_exists(const std::string& path);

// Creates `path` and its missing parents; an existing folder is no failure.
WriteResult create_directories(const std::string& path);

}  // namespace camvault
