// Whole-frame durations, piece spans on the joined timeline, the sound of a
// copied merge placed frame after frame, and the pieces of a trimmed span.
#include "media/merge_plan.hpp"

#include <algorithm>

namespace camvault::media {
namespace {

using Wide = unsigned __int128;
constexpr uint64_t kSecond = 1'000'000'000;

}  // namespace

const char* mode_name(ExportMode mode) {
    return mode == ExportMode::lossless ? "lossless" : "re-encoded";
}

uint64_t whole_frame_duration(uint64_t duration_ns, int fps_num, int fps_den) {
    if (fps_num <= 0 || fps_den <= 0)
        return duration_ns;
    constexpr uint64_t kTolerance = 1'000'000;
    const Wide frames = (static_cast<Wide>(duration_ns) + kTolerance) * fps_num /
                        (static_cast<Wide>(kSecond) * fps_den);
    return static_cast<uint64_t>(frames * kSecond * fps_den / fps_num);
}

uint64_t nearest_frame_boundary(uint64_t ns, int fps_num, int fps_den) {
    if (fps_num <= 0 || fps_den <= 0)
        return ns;
    const Wide frame_units = static_cast<Wide>(kSecond) * fps_den;  // one frame is this / fps_num
    const Wide frames = (static_cast<Wide>(ns) * fps_num + frame_units / 2) / frame_units;
    return static_cast<uint64_t>((frames * frame_units + fps_num / 2) / fps_num);
}

std::optional<std::vector<PieceSpan>> plan_spans(const std::vector<ExportPiece>& pieces,
                                                 const std::vector<ClipTiming>& clips) {
    if (pieces.size() != clips.size())
        return std::nullopt;
    std::vector<PieceSpan> spans;
    uint64_t offset = 0;
    for (size_t i = 0; i < pieces.size(); ++i) {
        const int fps_num = clips[i].fps_num, fps_den = clips[i].fps_den;
        const uint64_t end = whole_frame_duration(clips[i].duration_ns, fps_num, fps_den);
        const uint64_t in = nearest_frame_boundary(pieces[i].inpoint_ns, fps_num, fps_den);
        const uint64_t out =
            pieces[i].outpoint_ns
                ? std::min(end, nearest_frame_boundary(*pieces[i].outpoint_ns, fps_num, fps_den))
                : end;
        if (out <= in)
            return std::nullopt;
        spans.push_back(PieceSpan{in, out - in, offset});
        offset += out - in;
    }
    return spans;
}

AudioJoin::AudioJoin(int rate, int samples_per_frame)
    : rate_(rate > 0 ? static_cast<uint64_t>(rate) : 48000),
      samples_per_frame_(samples_per_frame > 0 ? static_cast<uint64_t>(samples_per_frame) : 1024) {}

uint64_t AudioJoin::end_ns() const {
    return base_ns_ + static_cast<uint64_t>(static_cast<Wide>(samples_) * kSecond / rate_);
}

std::optional<uint64_t> AudioJoin::place(int64_t natural_ns) {
    const auto half = static_cast<int64_t>(samples_per_frame_ * kSecond / (2 * rate_));
    const auto end = static_cast<int64_t>(end_ns());
    if (natural_ns + half < end)
        return std::nullopt;  // would overlap the sound before it
    if (natural_ns > end + half) {
        base_ns_ = static_cast<uint64_t>(natural_ns);  // a gap in the recording: keep it
        samples_ = 0;
    }
    const uint64_t at = end_ns();
    samples_ += samples_per_frame_;
    return at;
}

std::vector<ExportPiece> pieces_for_span(const std::vector<std::string>& clip_paths,
                                         const std::vector<uint64_t>& clip_durations,
                                         uint64_t start_ns, uint64_t end_ns) {
    std::vector<ExportPiece> pieces;
    uint64_t clip_start = 0;
    for (size_t i = 0; i < clip_paths.size() && i < clip_durations.size(); ++i) {
        const uint64_t clip_end = clip_start + clip_durations[i];
        if (start_ns < clip_end && end_ns > clip_start) {
            ExportPiece piece{clip_paths[i], start_ns > clip_start ? start_ns - clip_start : 0,
                              std::nullopt};
            if (end_ns < clip_end)
                piece.outpoint_ns = end_ns - clip_start;
            pieces.push_back(std::move(piece));
        }
        clip_start = clip_end;
    }
    return pieces;
}

}  // namespace camvault::media
