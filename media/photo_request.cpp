// Frame position arithmetic.
#include "media/photo_request.hpp"

namespace camvault::media {
namespace {

// Wrapping 32-bit arithmetic without signed-overflow UB.
int32_t wrap_mul(int32_t a, int32_t b) {
    return static_cast<int32_t>(static_cast<uint32_t>(a) * static_cast<uint32_t>(b));
}
int32_t wrap_add(int32_t a, int32_t b) {
    return static_cast<int32_t>(static_cast<uint32_t>(a) + static_cast<uint32_t>(b));
}

}  // namespace

int64_t MediaTime::nanoseconds() const {
    if (timescale <= 0)
        return 0;
    // count * 1e9 / timescale without overflowing for any 32-bit count.
    const int64_t whole = count / timescale;
    const int64_t rest = count % timescale;
    return whole * 1'000'000'000 + rest * 1'000'000'000 / timescale;
}

MediaTime frame_position(int32_t minutes, int32_t seconds) {
    const int32_t total_seconds = wrap_add(wrap_mul(minutes, 60), seconds);
    return MediaTime{wrap_add(wrap_mul(total_seconds, 30), 30), 30};
}

}  // namespace camvault::media
