// Frame position arithmetic.
#include "media/photo_request.hpp"

#include <limits>

namespace camvault::media {
int64_t MediaTime::nanoseconds() const {
    if (timescale <= 0)
        return 0;
    // count * 1e9 / timescale without overflowing for any 32-bit count.
    const int64_t whole = count / timescale;
    const int64_t rest = count % timescale;
    return whole * 1'000'000'000 + rest * 1'000'000'000 / timescale;
}

int64_t exact_frame_position_ns(int64_t exact_ms) {
    return exact_ms * 1'000'000 + 500'000;
}

std::optional<MediaTime> frame_position(int32_t minutes, int32_t seconds) {
    const int64_t count = (int64_t{minutes} * 60 + seconds) * 30 + 30;
    if (count < std::numeric_limits<int32_t>::min() || count > std::numeric_limits<int32_t>::max())
        return std::nullopt;
    return MediaTime{count, 30};
}

}  // namespace camvault::media
