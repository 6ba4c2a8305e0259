// Whole-frame durations.
#include "media/merge_plan.hpp"

namespace camvault::media {

uint64_t whole_frame_duration(uint64_t duration_ns, int fps_num, int fps_den) {
    if (fps_num <= 0 || fps_den <= 0)
        return duration_ns;
    constexpr unsigned __int128 kSecond = 1'000'000'000;
    constexpr uint64_t kTolerance = 1'000'000;
    const unsigned __int128 frames =
        (static_cast<unsigned __int128>(duration_ns) + kTolerance) * fps_num / (kSecond * fps_den);
    return static_cast<uint64_t>(frames * kSecond * fps_den / fps_num);
}

}  // namespace camvault::media
