// Route files written beside an exported movie.
#include "telemetry/route_beside.hpp"

#include "base/fs/atomic_file.hpp"

namespace camvault {

std::string route_path_beside(const std::string& movie_path, RouteFormat format) {
    const size_t slash = movie_path.rfind('/');
    const size_t name_start = slash == std::string::npos ? 0 : slash + 1;
    size_t dot = movie_path.rfind('.');
    // A dot that begins the name (".mov") or lies in a folder's name is no extension.
    if (dot == std::string::npos || dot <= name_start)
        dot = movie_path.size();
    return movie_path.substr(0, dot) + "." + std::string(route_format_extension(format));
}

Result<std::string> write_route_beside(const std::string& movie_path, RouteFormat format,
                                       const ClipRoute& span_points, const RouteOptions& options) {
    const ClipRoute* one = &span_points;
    if (exportable_points({one, 1}, options.utc_offset_minutes, options.clock_correction_s) == 0)
        return fail("no position in the telemetry of the exported stretch of " + movie_path);
    const std::string path = route_path_beside(movie_path, format);
    if (const Status written = write_file_atomically(path, route_text(format, {one, 1}, options));
        !written)
        return written.failure();
    return path;
}

}  // namespace camvault
