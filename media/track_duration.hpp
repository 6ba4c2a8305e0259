// How long a movie's picture lasts, as its video track says (edit list
// applied). A container's duration is that of its longest track: a camera
// clip whose sound runs on past the last frame would otherwise be joined
// with a gap or a held frame after its picture.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace camvault::media {

// Blocks for as long as reading the movie's header takes (at most a few
// seconds): call it off the main thread. nullopt when the file is no
// QuickTime / MP4 movie with a video track of known length.
std::optional<uint64_t> video_track_duration(const std::string& path);

}  // namespace camvault::media
