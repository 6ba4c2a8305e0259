// What the page hears of the media tools' events: the script calls for each.
#pragma once

#include <string>
#include <vector>

#include "media/media_events.hpp"

namespace camvault {

// The page calls for `event`, in order; none for a state the page does not
// show (a recording being completed).
std::vector<std::string> page_calls_for(const media::MediaEvent& event);

// The recorder state as the page names it; empty for one it is not told.
std::string recording_state_name(media::RecorderState state);

}  // namespace camvault
