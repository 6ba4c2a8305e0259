// Telemetry carried inside an exported movie: the route points of the
// exported span turned back into original 332-byte freeGPS blocks (ten
// records a second, one block per second of the camera clock) and appended
// after the movie's own atoms as top-level `free` atoms, which players skip
// and CamVault's scanner reads like a camera's clip. The blocks are pure;
// only append_movie_telemetry touches a file.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "base/result.hpp"
#include "telemetry/route_export.hpp"
#include "telemetry/scanner.hpp"

namespace camvault {

// A stretch of the camera's clock as recorded (no clock correction, no time
// zone): milliseconds since 1970 of the clock's readings taken as UTC, the
// end included.
struct CameraSpan {
    int64_t start_ms = 0;
    int64_t end_ms = 0;
};

// The camera-clock milliseconds of a recorded time (as utc_milliseconds with
// no offset and no correction); nothing when the time is no real one.
std::optional<int64_t> camera_milliseconds(const CameraTime& time);

// Sources further apart than this are not bridged: the tenths between them
// are written without a fix (the camera had none, or the clip was cut).
inline constexpr int64_t kLongestBridgedGapMs = 2000;
// A span longer than a day is refused: 86,400 blocks are 32 MB in the movie.
inline constexpr int64_t kLongestSpanMs = 86'400'000;

using FreeGpsBlock = std::array<uint8_t, kBlockSize>;

// The blocks of every clock second from the span's start to its end, records
// on the tenths of the second. Each record takes the source point at its tenth
// or interpolates position, speed and heading linearly between the sources on
// either side (heading the short way round); a tenth with no source on one
// side, or between sources more than kLongestBridgedGapMs apart, has no fix
// (status 0, the readers skip it). Record 0 carries the second's date and
// minute. The block's G-sensor is the mean of the second's sources that have
// one, else that of the nearest such source within kLongestBridgedGapMs, else
// zero. Points without a real time or position are ignored; order does not
// matter. Fails for an empty, reversed or over-long span.
Result<std::vector<FreeGpsBlock>> freegps_blocks(std::span<const RoutePoint> points,
                                                 CameraSpan span);

// The blocks wrapped in top-level `free` atoms (size, "free", then for each
// block the marker, padding and the block, kBlockSpan bytes apart so that the
// scanner's marker step lands on each marker in turn). The byte after each
// marker is zero, which keeps the layout registry on the original block.
std::vector<uint8_t> freegps_atoms(std::span<const FreeGpsBlock> blocks);

// Appends the atoms of the span's points to the movie at `movie_path` after
// checking that its top-level atoms fill the file exactly (a last atom "to the
// end of the file" would swallow them). On a failed write the movie is cut
// back to its old size. Returns the number of blocks written. Blocking: run it
// off the main thread.
Result<size_t> append_movie_telemetry(const std::string& movie_path,
                                      std::span<const RoutePoint> points, CameraSpan span);

// The points of the clips that lie in the span, in clock order: what the
// movie's telemetry and its GPX are made from.
std::vector<RoutePoint> points_in_span(std::span<const ClipRoute> clips, CameraSpan span);

}  // namespace camvault
