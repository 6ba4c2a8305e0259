// The pure part of a merge: what is exported (pieces of clips), how long each
// piece lasts in whole frames, where it sits on the joined timeline, where the
// sound's frames go when streams are copied, and the export's output settings.
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

// Places the sound's frames (`samples_per_frame` at `rate`) of joined pieces
// one after the other. Each frame comes with its natural export time (its
// time in its clip moved with its piece, so a little before 0 or overlapping
// the previous piece's sound at a join); a frame within half a frame of where
// the previous one ends follows it without a gap, one that would overlap it by
// more than that is dropped, and one after a longer gap keeps its own time.
// So the sound plays without gaps or overlaps however many pieces there are,
// and never drifts from the picture by more than half a frame.
class AudioJoin {
  public:
    AudioJoin(int rate, int samples_per_frame = 1024);
    // The frame's export time, or nullopt when it is dropped.
    std::optional<uint64_t> place(int64_t natural_ns);
    // Where the sound placed so far ends.
    uint64_t end_ns() const;

  private:
    uint64_t rate_;
    uint64_t samples_per_frame_;
    uint64_t base_ns_ = 0;  // where the current run of frames starts
    uint64_t samples_ = 0;  // and how many samples it holds
};

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
