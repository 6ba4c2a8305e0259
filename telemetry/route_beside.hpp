// Route files written beside an exported movie: "<movie stem>.gpx" (or .csv,
// ...) from the source records of the movie's span, one point per record, in
// the clock settings of the route export (telemetry/route_export.hpp).
#pragma once

#include <string>

#include "base/result.hpp"
#include "telemetry/route_export.hpp"

namespace camvault {

// "/x/exp_1.mov" and gpx -> "/x/exp_1.gpx": the movie's name with the
// format's extension in place of its own (added when it has none).
std::string route_path_beside(const std::string& movie_path, RouteFormat format);

// Writes the route of `span_points` (one point per record that is exportable)
// beside the movie, replacing a file of that name, atomically; returns its
// path. Fails when no record is exportable (a route file without points is
// refused by other tools) or the folder cannot be written. Blocking.
Result<std::string> write_route_beside(const std::string& movie_path, RouteFormat format,
                                       const ClipRoute& span_points, const RouteOptions& options);

}  // namespace camvault
