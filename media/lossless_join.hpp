// Joining pieces of clips without encoding: each piece's streams are
// demuxed, parsed and fed through `concat` into `qtmux`, with every buffer
// moved onto the joined timeline (starting at 0, gapless, in the given order).
// Which clips qualify is decided from their discovered caps; whether the cuts
// fall where a copy can start and end (a key frame at each in-point, no frame
// kept that refers to one dropped) is only seen while streaming, and a cut
// that does not qualify makes the join give up with a refusal message on the
// bus, so that its owner can encode instead.
#pragma once

#include <gst/gst.h>
#include <gst/pbutils/pbutils.h>

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "base/result.hpp"
#include "media/merge_plan.hpp"

namespace camvault::media {

// What every clip of a copied join shares.
struct CopyFormat {
    int fps_num = 0;
    int fps_den = 1;
    int audio_rate = 0;  // 0: no clip has sound
};

// The shared format when every clip's video is H.264 of 1920x1080 with the
// same codec configuration (codec_data), size and frame rate, and every clip
// has the same AAC audio or none has sound; nullopt otherwise.
std::optional<CopyFormat> copy_format(const std::vector<GstDiscovererInfo*>& clips);

class LosslessJoin {
  public:
    // Builds (but does not start) the pipeline that writes `spans` of
    // `paths` (one span per path) to `temp_path`.
    static Result<std::unique_ptr<LosslessJoin>> create(const std::vector<std::string>& paths,
                                                        const std::vector<PieceSpan>& spans,
                                                        const CopyFormat& format,
                                                        const std::string& temp_path);
    ~LosslessJoin();  // the pipeline is brought to NULL first
    LosslessJoin(const LosslessJoin&) = delete;
    LosslessJoin& operator=(const LosslessJoin&) = delete;

    GstElement* pipeline() const;
    // How much of the joined timeline has been written, 0..1 (any thread).
    double progress() const;
    // Whether a bus message says the cuts cannot be copied.
    static bool is_refusal(GstMessage* message);

    struct State;  // opaque: the pipeline and what its streaming threads share

  private:
    explicit LosslessJoin(std::unique_ptr<State> state);
    std::unique_ptr<State> state_;
};

}  // namespace camvault::media
