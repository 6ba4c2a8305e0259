// Folders and existence checks on POSIX paths.
#pragma once

#include <string>

#include "base/result.hpp"

namespace camvault {

// True when anything (file, folder, other, a dangling link) exists at `path`.
bool path_exists(const std::string& path);

// Creates `path` and its missing parents (mode 0755 through the umask); an
// existing folder is no failure, anything else in the way is.
Status create_directories(const std::string& path);

}  // namespace camvault
