// Evidence packs: a folder holding an exported movie and what goes with it
// (a stamped frame, a map picture, route files), a manifest of every file's
// size and SHA-256, the manifest's own SHA-256 in `sha256sum` form, and a zip
// of the folder beside it (media/evidence_verify.hpp checks one again).
// Blocking file work: run it off the main thread.
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

}  // namespace camvault::media
