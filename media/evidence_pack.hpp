// Evidence packs: a folder holding an exported movie and what goes with it
// (a stamped frame, a map picture, route files), a manifest of every file's
// size and SHA-256, the manifest's own SHA-256 in `sha256sum` form, and a zip
// of the folder beside it; and the check that a pack, folder or zip, is still
// what was packed. Blocking file work: run it off the main thread.
#pragma once

#include <string>
#include <vector>

#include "base/result.hpp"
#include "media/evidence_manifest.hpp"

namespace camvault::media {

struct PackFile {
    std::string path;
    // Moved into the pack (a renamed file costs nothing; across file systems
    // it is copied and then removed); otherwise copied.
    bool move = false;
    // The name inside the pack; empty: the file's own name.
    std::string name;
};

struct PackRequest {
    std::string parent_dir;  // where the folder and the zip go
    std::string name;        // the folder's name; "-2", "-3", ... added when taken
    std::vector<PackFile> files;
    std::vector<PackSource> sources;
    PackClock clock;
};

struct PackOutcome {
    std::string folder;
    std::string zip;
    PackManifest manifest;
};

// Makes the pack: the folder with the files, manifest.json (CamVault's
// version and the creation time filled in), manifest.sha256 and
// "<folder>.zip" (stored entries under "<folder name>/"). Checks every file
// before anything is made; on a later failure a folder that received no
// moved file is removed again.
Result<PackOutcome> make_evidence_pack(const PackRequest& request);

// The SHA-256 of a file, read in chunks, as 64 hexadecimal digits.
Result<std::string> sha256_of_file(const std::string& path);

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
// seal, in the folder or in the zip (PACK ends in ".zip"; its entries are
// hashed in place, stored or deflated). Every file that changed, is missing
// or is not listed is a problem. A failure only when PACK cannot be read at
// all.
Result<PackCheck> verify_evidence_pack(const std::string& pack);

}  // namespace camvault::media
