// What the page is told of the listed clips beside the listing itself: each
// clip's files, the key its telemetry lines use, whether its file is there
// now, its summary and events, and the trips the clips make.
#pragma once

#include <string>
#include <vector>

#include "library/index.hpp"
#include "library/library_clip.hpp"
#include "library/search.hpp"

namespace camvault {

// The listed clips as the page is told of them: each movie of the listing
// with its script file, what the index keeps of it (a clip without an index
// row gets no summary) and whether its file can be opened now. A summary
// whose events were found with other thresholds than `thresholds` is made
// again from the clip's script file and kept in the index, so the page never
// sees events of thresholds no longer set. Checks every file: run it off the
// main thread.
std::vector<LibraryClip> listed_clips(LibraryIndex* index, const std::vector<std::string>& movies,
                                      const std::vector<std::string>& scripts,
                                      const EventThresholds& thresholds);

// The movies of `clips` that cannot be opened now.
std::vector<std::string> unavailable_movies(const std::vector<LibraryClip>& clips);

// The movies of `clips` that pass `filter`, in listing order. A clip without
// a summary passes only an empty filter; a route is read again from its script
// file only where its bounding box may reach the place asked for.
std::vector<std::string> search_listed(const std::vector<LibraryClip>& clips,
                                       const SearchFilter& filter);

// library_summaries' JSON: the clips and the trips they make (schema in
// www/README.md, "library_summaries(json)").
std::string listing_json(const std::vector<LibraryClip>& clips);

}  // namespace camvault
