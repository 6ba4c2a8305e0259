// Media events into page calls.
#include "app/media_page_calls.hpp"

#include <type_traits>

#include "bridge/page_calls.hpp"

namespace camvault {

media::SnapshotStamp snapshot_stamp_of(const PhotoStampArgs& s) {
    return media::SnapshotStamp{s.clock_ms, s.lat, s.lon, s.speed_kmh, s.heading, s.caption};
}

media::FrameRequest frame_request(const PhotoArgs& args) {
    media::FrameRequest request{args.movie_url, args.minutes,  args.seconds,
                                args.complete,  args.exact_ms, std::nullopt};
    if (args.stamp)
        request.stamp = snapshot_stamp_of(*args.stamp);
    return request;
}

std::string recording_state_name(media::RecorderState state) {
    switch (state) {
        case media::RecorderState::Recording:
            return "recording";
        case media::RecorderState::Paused:
            return "paused";
        case media::RecorderState::Idle:
            return "stopped";
        case media::RecorderState::Finishing:
            break;
    }
    return {};
}

std::vector<std::string> page_calls_for(const media::MediaEvent& event) {
    return std::visit(
        [](const auto& e) -> std::vector<std::string> {
            using E = std::decay_t<decltype(e)>;
            if constexpr (std::is_same_v<E, media::SnapshotFinished>) {
                return {page_calls::snapshot_result(e.file), page_calls::get_act()};
            } else if constexpr (std::is_same_v<E, media::ExportProgress>) {
                return {page_calls::export_progress(e.fraction)};
            } else if constexpr (std::is_same_v<E, media::ExportFinished>) {
                if (e.outcome)
                    return {page_calls::export_progress(1.0), page_calls::export_done(true)};
                return {page_calls::export_done(false), page_calls::notice(e.outcome.failure())};
            } else if constexpr (std::is_same_v<E, media::RecordingStateChanged>) {
                const std::string name = recording_state_name(e.state);
                if (name.empty())
                    return {};
                return {page_calls::recording_state(name)};
            } else if constexpr (std::is_same_v<E, media::RecordingSaved>) {
                return {page_calls::notice(fail("recording_saved", {{"path", e.path}},
                                                "The recording is saved as " + e.path + "."))};
            } else {
                return {page_calls::notice(e.message)};
            }
        },
        event);
}

}  // namespace camvault
