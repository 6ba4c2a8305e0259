// The one form of temporary file name in the library folders, and the sweep
// that removes those whose writer is gone (a process killed mid-write).
#pragma once

#include <sys/types.h>

#include <string>
#include <string_view>

namespace camvault {

// A fresh hidden name in `folder`: ".camvault-<pid>-<n>.part". Short and of
// bounded length whatever the target's name, so it is valid wherever the
// target is.
std::string temporary_path_in(std::string_view folder);

// The process that writes the temporary file `name` (a name, not a path), or 0
// when the name is no temporary. Also reads the forms of earlier versions
// (".<target>.tmp-<pid>-<n>", ".<stem>.part-<pid>-<n>.<ext>") so that their
// leftovers are swept too.
pid_t temporary_writer(std::string_view name);

// Removes every temporary file in `folder` whose writer process no longer runs.
// Returns how many were removed.
int sweep_abandoned_temporaries(const std::string& folder);

}  // namespace camvault
