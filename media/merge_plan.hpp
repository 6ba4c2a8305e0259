// The pure part of a merge: what is exported (pieces of clips), how long each
// piece lasts in whole frames, where it sits on the joined timeline, how many
// AAC frames each piece contributes when streams are copied, and the export's
// output settings.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace camvault::media {

// A clip, or the part of it from `inpoint_ns` (clip time) up to `outpoint_ns`
// (the clip's end when absent). Consecutive pieces make a trip or a segment of
// one; the export joins them in order.
struct ExportPiece {
    std::string path;
    uint64_t inpoint_ns = 0;
    std::optional<uint64_t> outpoint_ns;

    bool operator==(const ExportPiece&) const = default;
};

// How an export made its movie: streams copied as recorded, or decoded and
// encoded again (scaled to fit 1920x1080).
enum class ExportMode { lossless, reencoded };
const char* mode_name(ExportMode mode);  // "lossless" / "re-encoded"

// A clip's duration cut to its last whole video frame, so that a clip whose
// audio runs a little longer than its video neither leaves a held frame nor
// pushes the next clip late. A tolerance of a millisecond absorbs rounding in
// container durations. Without a known frame rate the duration is kept.
uint64_t whole_frame_duration(uint64_t duration_ns, int fps_num, int fps_den);

// The frame boundary nearest to `ns` (the time itself without a frame rate).
uint64_t nearest_frame_boundary(uint64_t ns, int fps_num, int fps_den);

// Where a piece's frames come from (clip time) and where they go (export time).
struct PieceSpan {
    uint64_t inpoint = 0;  // on a frame boundary
    uint64_t length = 0;   // whole frames
    uint64_t offset = 0;   // start on the joined timeline
};

// What a clip's discovery says of its timing.
struct ClipTiming {
    uint64_t duration_ns = 0;  // as the container has it
    int fps_num = 0;
    int fps_den = 1;
};

// Resolves each piece against its clip's whole-frame duration: in and out
// points on the nearest frame boundaries, out points past the end cut to it.
// nullopt when a piece holds no frame (empty, reversed, or past the clip's end).
std::optional<std::vector<PieceSpan>> plan_spans(const std::vector<ExportPiece>& pieces,
                                                 const std::vector<ClipTiming>& clips);

// How many AAC frames (`samples_per_frame` at `rate`) each piece keeps when
// streams are copied: the audio ends at every join within half an AAC frame of
// the video, so sound never drifts however many pieces a trip has.
std::vector<uint64_t> audio_frames_per_piece(const std::vector<PieceSpan>& spans, int rate,
                                             int samples_per_frame = 1024);

// The pieces that cover [start_ns, end_ns) of these clips played one after the
// other (`clip_durations` in whole frames). Empty when the span holds nothing.
std::vector<ExportPiece> pieces_for_span(const std::vector<std::string>& clip_paths,
                                         const std::vector<uint64_t>& clip_durations,
                                         uint64_t start_ns, uint64_t end_ns);

// The frame size every export is fitted into (aspect kept, bars added); only
// clips of this size are copied without encoding.
inline constexpr int kExportWidth = 1920;
inline constexpr int kExportHeight = 1080;
// x264 at "veryfast" and about 10 Mbit/s.
inline constexpr const char* kExportSpeedPreset = "veryfast";
inline constexpr unsigned kExportBitrateKbps = 10000;

}  // namespace camvault::media
