// What the media tools report, as typed events. The application decides what
// the page hears of them; media never writes script text.
#pragma once

#include <functional>
#include <string>
#include <variant>

#include "base/result.hpp"

namespace camvault::media {

enum class RecorderState {
    Idle,
    Recording,
    Paused,
    Finishing,  // stopped: the movie is being completed in the background
};

// A snapshot request is answered: the file written, or why not.
struct SnapshotFinished {
    Result<std::string> file;
};
struct ExportProgress {
    double fraction = 0;  // 0 to 1, never going back
};
// The merged movie is in the files folder, or the export failed (the error
// is a whole sentence for the user).
struct ExportFinished {
    Status outcome;
};
struct RecordingStateChanged {
    RecorderState state = RecorderState::Idle;
};
// A recording's movie is complete in the files folder.
struct RecordingSaved {
    std::string path;
};

// Something the user should know (a message a person can act on).
struct Notice {
    Message message;
};

using MediaEvent = std::variant<SnapshotFinished, ExportProgress, ExportFinished,
                                RecordingStateChanged, RecordingSaved, Notice>;

// Receives every event on the main thread.
using MediaEventSink = std::function<void(const MediaEvent&)>;

}  // namespace camvault::media
