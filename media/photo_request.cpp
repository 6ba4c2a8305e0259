// Parsing of the get_photo argument and the frame position arithmetic.
#include "media/photo_request.hpp"

#include <limits>

#include "bridge/command_text.hpp"

namespace camvault::media {
namespace {

constexpr std::string_view kPhotoPrefix = "http://get_photo/";

bool is_blank(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

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

int32_t read_leading_int32(std::string_view field) {
    size_t i = 0;
    while (i < field.size() && is_blank(field[i]))
        ++i;
    bool negative = false;
    if (i < field.size() && (field[i] == '+' || field[i] == '-')) {
        negative = field[i] == '-';
        ++i;
    }
    int64_t value = 0;
    constexpr int64_t kLimit = int64_t{std::numeric_limits<int32_t>::max()} + 1;
    for (; i < field.size() && field[i] >= '0' && field[i] <= '9'; ++i) {
        value = value * 10 + (field[i] - '0');
        if (value > kLimit)
            value = kLimit;  // saturate; more digits cannot bring it back
    }
    if (negative)
        return static_cast<int32_t>(-value < std::numeric_limits<int32_t>::min()
                                        ? std::numeric_limits<int32_t>::min()
                                        : -value);
    return static_cast<int32_t>(
        value > std::numeric_limits<int32_t>::max() ? std::numeric_limits<int32_t>::max() : value);
}

PhotoRequest parse_photo_command(std::string_view command_url_text) {
    const auto fields = split_keep_empty(remove_all(command_url_text, kPhotoPrefix), ';');
    PhotoRequest request;
    request.movie_url = fields[0];
    if (fields.size() > 1)
        request.minutes = read_leading_int32(fields[1]);
    if (fields.size() > 2)
        request.seconds = read_leading_int32(fields[2]);
    request.complete = fields.size() >= 3;
    return request;
}

MediaTime frame_position(int32_t minutes, int32_t seconds) {
    const int32_t total_seconds = wrap_add(wrap_mul(minutes, 60), seconds);
    return MediaTime{wrap_add(wrap_mul(total_seconds, 30), 30), 30};
}

}  // namespace camvault::media
