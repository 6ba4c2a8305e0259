// The library's summaries as JSON for the page: one text per listing with every
// clip's summary and events and the trips, small enough to send with each
// listing (no per-record data). www/README.md, "library_summaries(json)",
// describes the schema.
#pragma once

#include <span>
#include <string>

#include "library/library_clip.hpp"
#include "library/trips.hpp"

namespace camvault {

// The JSON text of `clips` and `trips` (as group_trips gave them for the same
// clips; clip indices outside the list are left out). Pure ASCII: every other
// character is escaped as \uXXXX, so the text can stand in script text as it
// is, and bytes that are no UTF-8 become U+FFFD instead of an error.
std::string library_summaries_json(std::span<const LibraryClip> clips, std::span<const Trip> trips);

}  // namespace camvault
