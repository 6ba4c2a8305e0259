// What the page is told of the listed clips beside the listing itself: for
// each clip its movie and script file, the key its telemetry lines use,
// whether its file is there now, and its summary.
#pragma once

#include <string>
#include <vector>

#include "library/index.hpp"

namespace camvault {

struct ListedClip {
    IndexedClip clip;
    bool present = false;  // the movie is a regular file now (the card is in)
};

// The listed clips as the page is told of them: each movie of the listing
// with its script file, its index row where there is one, and whether its
// file can be opened now. Checks every file: run it off the main thread.
std::vector<ListedClip> listed_clips(LibraryIndex* index, const std::vector<std::string>& movies,
                                     const std::vector<std::string>& scripts);

// The movies of `clips` that cannot be opened now.
std::vector<std::string> unavailable_movies(const std::vector<ListedClip>& clips);

// {"clips":[{"movie":..., "script":..., "key":..., "present":true, "summary":{...}|null}]}
// in listing order (schema in www/README.md, "library_summaries").
std::string listing_json(const std::vector<ListedClip>& clips);

}  // namespace camvault
