// Screen recorder pipeline text and click ring animation.
#include "media/recorder_plan.hpp"

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

}  // namespace camvault::media
