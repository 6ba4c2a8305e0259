// One clip of the library as the summary functions see it: where its movie and
// telemetry script are, what the index knows of the movie file, and the
// summary of its telemetry. A plain value filled by whoever keeps the index;
// trips, search and the page's JSON read it.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "library/clip_summary.hpp"

namespace camvault {

struct LibraryClip {
    std::string movie_path;      // absolute path of the .MOV
    std::string telemetry_path;  // its telemetry script file; empty when none was written
    // The name the script's lines use in the page's data table: the clip name,
    // or name~N when another clip of the same name was listed first.
    std::string key;
    // The movie can be opened now (it is a regular file); a clip on a memory
    // card that is not inserted stays listed but is not present.
    bool present = true;
    std::string layout;          // telemetry layout name (layout_name), empty when none
    int64_t mtime_ms = 0;        // the movie's modification time, ms since 1970 (UTC)
    bool telemetry_cut = false;  // the script stopped at its record limit
    // Nothing until the telemetry was read; a summary with no records: the
    // clip has no telemetry.
    std::optional<ClipSummary> summary;

    // True when the clip has telemetry records with clock times.
    bool timed() const { return summary.has_value() && summary->records > 0; }
};

}  // namespace camvault
