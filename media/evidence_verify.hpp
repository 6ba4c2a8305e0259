// The check that an evidence pack (media/evidence_pack.hpp), its folder or
// its zip, is still what was packed. Blocking file reads: run it off the main
// thread.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "base/result.hpp"

namespace camvault::media {

struct PackProblem {
    std::string name;  // the file's name inside the pack
    std::string what;  // "missing", "changed", ...

    bool operator==(const PackProblem&) const = default;
};

struct PackCheck {
    std::vector<PackProblem> problems;
    size_t files_matched = 0;  // listed files whose size and hash match
    bool ok() const { return problems.empty(); }
};

// Hashes every file the manifest lists again, and the manifest against its
// seal, in the folder or in the zip (any PACK that is not a folder; its
// entries are hashed in place, stored or deflated). Every file that changed, is missing
// or is not listed is a problem. A failure only when PACK cannot be read at
// all.
Result<PackCheck> verify_evidence_pack(const std::string& pack);

}  // namespace camvault::media
