// Screen recorder pipeline text and click ring animation.
#include "media/recorder_plan.hpp"

#include <algorithm>
#include <string_view>

namespace camvault::media {

std::string recorder_pipeline_description(const RecorderSettings& s) {
    std::string d;
    // use-damage=false: whole frames at a steady rate instead of damage rectangles.
    d += "ximagesrc name=" + std::string(kRecorderSourceName) +
         " use-damage=false show-pointer=true ! video/x-raw,framerate=";
    d += std::to_string(s.framerate) + "/1 ! queue max-size-buffers=8 ! videoconvert ! ";
    d += "cairooverlay name=" + std::string(kRecorderOverlayName) + " ! videoconvert ! ";
    d += "x264enc speed-preset=ultrafast tune=zerolatency bitrate=" +
         std::to_string(s.bitrate_kbps) + " key-int-max=" + std::to_string(s.framerate * 2) + " ! ";
    d += "h264parse ! qtmux name=" + std::string(kRecorderMuxName) +
         " reserved-max-duration=" + std::to_string(s.reserved_max_duration_ns) +
         " reserved-moov-update-period=" + std::to_string(s.moov_update_period_ns) + " ! ";
    d += "filesink name=" + std::string(kRecorderSinkName);
    return d;
}

std::optional<ClickRing> click_ring(int64_t click_ns, int64_t frame_ns) {
    const int64_t age = frame_ns - click_ns;
    if (age < 0 || age >= kClickRingNs)
        return std::nullopt;
    const double t = static_cast<double>(age) / kClickRingNs;
    return ClickRing{14.0 + 26.0 * t, 1.0 - t};
}

namespace {

uint64_t big_endian(std::span<const uint8_t> bytes) {
    uint64_t value = 0;
    for (uint8_t b : bytes)
        value = value << 8 | b;
    return value;
}

// The payload of the first box of `type` among the boxes that fill `data`.
std::optional<std::span<const uint8_t>> find_box(std::span<const uint8_t> data,
                                                 std::string_view type) {
    size_t at = 0;
    while (at + 8 <= data.size()) {
        uint64_t size = big_endian(data.subspan(at, 4));
        size_t header = 8;
        if (size == 1) {  // 64-bit size after the type
            if (at + 16 > data.size())
                return std::nullopt;
            size = big_endian(data.subspan(at + 8, 8));
            header = 16;
        } else if (size == 0) {  // to the end
            size = data.size() - at;
        }
        if (size < header)
            return std::nullopt;
        const std::string_view box_type(reinterpret_cast<const char*>(data.data() + at + 4), 4);
        const size_t end = static_cast<size_t>(std::min<uint64_t>(at + size, data.size()));
        if (box_type == type)
            return data.subspan(at + header, end - at - header);
        if (size > data.size() - at)
            return std::nullopt;
        at += static_cast<size_t>(size);
    }
    return std::nullopt;
}

}  // namespace

std::optional<uint64_t> movie_header_duration(std::span<const uint8_t> head) {
    const auto moov = find_box(head, "moov");
    if (!moov)
        return std::nullopt;
    const auto mvhd = find_box(*moov, "mvhd");
    if (!mvhd || mvhd->empty())
        return std::nullopt;
    // version 0: 4-byte times, timescale, duration; version 1: 8-byte times and duration.
    const bool wide = (*mvhd)[0] == 1;
    const size_t at = wide ? 4 + 8 + 8 + 4 : 4 + 4 + 4 + 4;
    const size_t length = wide ? 8 : 4;
    if (mvhd->size() < at + length)
        return std::nullopt;
    return big_endian(mvhd->subspan(at, length));
}

}  // namespace camvault::media
