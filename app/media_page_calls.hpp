// What the page hears of the media tools' events: the script calls for each.
#pragma once

#include <string>
#include <vector>

#include "bridge/command_args.hpp"
#include "media/media_events.hpp"
#include "media/photo_request.hpp"

namespace camvault {

// The page calls for `event`, in order; none for a state the page does not
// show (a recording being completed).
std::vector<std::string> page_calls_for(const media::MediaEvent& event);

// The frame a get_photo command's arguments ask for, with their stamp.
media::FrameRequest frame_request(const PhotoArgs& args);
// A stamp the page sent, as the media tools take it.
media::SnapshotStamp snapshot_stamp_of(const PhotoStampArgs& stamp);

// The recorder state as the page names it; empty for one it is not told.
std::string recording_state_name(media::RecorderState state);

}  // namespace camvault
