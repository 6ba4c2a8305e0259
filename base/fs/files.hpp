// Folders and existence checks on POSIX paths.
#pragma once

#include <string>

#include "base/result.hpp"

namespace camvault {

// True when anything (file, folder, other, a dangling link) exists at `path`.
bool path_exists(const std::string& path);

// True when `path`, symbolic links followed, is a regular file: not a folder,
// a device, a pipe or a socket, nor a broken or looping link. Does not open it.
bool is_regular_file(const std::string& path);

// Opens `path` for reading only when it is a regular file, without ever
// blocking on a pipe or a device on the way: the descriptor, or why not
// ("cannot read /x/A.MOV: not a regular file").
Result<int> open_regular_file(const std::string& path);

// Creates `path` and its missing parents (mode 0755 through the umask); an
// existing folder is no failure, anything else in the way is.
Status create_directories(const std::string& path);

}  // namespace camvault
