// The arguments of the page's commands, read from the command URL text as
// WebKit hands it over (its normalised URL: escapes arrive percent-encoded).
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "base/result.hpp"

namespace camvault {

// file_del_fun: every prefix removed, "%20" read as a space, split at ",",
// then each piece percent-decoded. Empty pieces are kept (they name nothing).
std::vector<std::string> removal_paths(std::string_view url_text);

// save_set: everything but the prefix, as sent (the page's own encoding).
std::string settings_text(std::string_view url_text);

// save_prefs: the JSON text after "http://save_prefs/", percent-decoded
// whole (the page sends it through encodeURIComponent); library/prefs reads
// it. Empty when the URL holds no such prefix.
std::string prefs_text(std::string_view url_text);

// get_photo: "<movie url>;<minutes>;<seconds>[;<ms>[;<stamp>]]" after every
// prefix is removed. The page adds the exact media time of the frame on screen
// in milliseconds as a fourth field and, for a clip with telemetry, the
// frame's facts as a fifth (percent-encoded JSON, see www/README.md); further
// fields are ignored.
struct PhotoStampArgs {
    int64_t clock_ms = 0;
    std::optional<double> lat;
    std::optional<double> lon;
    std::optional<double> speed_kmh;
    std::optional<double> heading;
    std::vector<std::string> caption;
};
struct PhotoArgs {
    std::string movie_url;  // field 0, untouched: URL parsing decodes its escapes
    int32_t minutes = 0;
    int32_t seconds = 0;
    bool complete = false;                // false when the text holds fewer than three fields
    std::optional<int64_t> exact_ms;      // field 3 when it is a whole number of milliseconds
    std::optional<PhotoStampArgs> stamp;  // field 4 when it is a stamp the page makes
};
// The stamp of a get_photo's fifth field (percent-decoded); nothing unless it
// is an object with a whole-number "clock_ms" and fields of the right types.
std::optional<PhotoStampArgs> photo_stamp_args(std::string_view json_text);
PhotoArgs photo_args(std::string_view url_text);

// The leading decimal integer of `field` as C's strtol reads it (leading
// blanks, one sign), clamped to the 32-bit range; 0 when there are no digits.
int32_t read_leading_int32(std::string_view field);

// merger: the list text after every "http://merger/" is removed, split at
// ",", each piece percent-decoded (the page encodes every path with
// encodeURIComponent). Empty pieces are kept; they name no file.
std::vector<std::string> merge_paths(std::string_view list_text);

// export_route: the JSON object after "http://export_route/", percent-decoded
// (the page sends it through encodeURIComponent). www/README.md gives its
// schema: "clips" (one or more absolute clip paths), "format" ("gpx", "kml",
// "csv" or "geojson") and "speed_unit" ("kmh", the default, or "mph"; the CSV's
// speed column). Anything else is an error a person can read.
struct ExportRouteArgs {
    std::vector<std::string> clips;
    std::string format;
    std::string speed_unit = "kmh";
};
Result<ExportRouteArgs> export_route_args(std::string_view url_text);

// export: a percent-encoded JSON object (www/README.md, "The export
// command"): what to make, the pieces of clips in order, an optional output
// name and, for an evidence pack, the event's moment. Anything else is an
// error a person can read.
enum class ExportKind { merge, trim, evidence };
struct ExportPieceArgs {
    std::string clip;  // absolute path
    int64_t from_ms = 0;
    std::optional<int64_t> to_ms;  // nothing: to the clip's end
    bool operator==(const ExportPieceArgs&) const = default;
};
struct ExportEventArgs {
    std::string kind;
    std::string clip;  // the clip holding the moment
    int64_t at_ms = 0;
    std::optional<PhotoStampArgs> stamp;
};
struct ExportArgs {
    ExportKind kind = ExportKind::merge;
    std::vector<ExportPieceArgs> pieces;
    std::optional<std::string> name;
    std::optional<ExportEventArgs> event;
    // Speed, clock time and position written into the picture (the movie is
    // then encoded again).
    bool burn_in = false;
};
inline constexpr size_t kMaxExportPieces = 1000;
inline constexpr size_t kMaxExportNameBytes = 100;
Result<ExportArgs> export_args(std::string_view url_text);
// Whether `name` may name an output file in the files folder: 1 to 100
// bytes, no '/', no control character, not starting with '.'.
bool valid_output_name(std::string_view name);

// library_search: a percent-encoded JSON object, every field optional:
// {"from": ms, "to": ms, "near": {"lat": deg, "lon": deg, "radius_m": m},
//  "events": ["harsh_braking", ...]}. Times are the camera's clock, in
// milliseconds since 1970.
struct SearchArgs {
    std::optional<int64_t> from_ms;
    std::optional<int64_t> to_ms;
    struct Place {
        double lat = 0;
        double lon = 0;
        double radius_m = 0;
    };
    std::optional<Place> near;
    std::vector<std::string> events;
};
Result<SearchArgs> search_args(std::string_view url_text);

}  // namespace camvault
