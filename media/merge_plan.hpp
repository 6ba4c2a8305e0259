// The pure part of a merge: how long each clip lasts in whole frames, and the export's output
// settings.
#pragma once

#include <cstdint>

namespace camvault::media {

// A clip's duration cut to its last whole video frame, so that a clip whose
// audio runs a little longer than its video neither leaves a held frame nor
// pushes the next clip late. A tolerance of a millisecond absorbs rounding in
// container durations. Without a known frame rate the duration is kept.
uint64_t whole_frame_duration(uint64_t duration_ns, int fps_num, int fps_den);

// The frame size every export is fitted into (aspect kept, bars added).
inline constexpr int kExportWidth = 1920;
inline constexpr int kExportHeight = 1080;
// x264 at "veryfast" and about 10 Mbit/s.
inline constexpr const char* kExportSpeedPreset = "veryfast";
inline constexpr unsigned kExportBitrateKbps = 10000;

}  // namespace camvault::media
