// Screen recorder: the whole X screen with clicks drawn as fading rings, into
// a QuickTime movie that stays playable even if the process dies mid-way.
// An explicit state machine; every operation on the main thread.
#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "media/desktop.hpp"
#include "media/recorder_plan.hpp"

namespace camvault::media {

enum class RecorderState { Idle, Recording, Paused };

struct RecorderEvents {
    std::function<void(RecorderState)> state_changed;
    std::function<void(const std::string& message)> error;  // a message a person can act on
};

class ScreenRecorder {
  public:
    // Builds the capture pipeline without starting it; a failure to build is
    // reported when recording is asked for.
    ScreenRecorder(std::string files_dir, std::unique_ptr<ClickWatcher> clicks,
                   RecorderEvents events, RecorderSettings settings = {});
    ~ScreenRecorder();  // finishes a running recording
    ScreenRecorder(const ScreenRecorder&) = delete;
    ScreenRecorder& operator=(const ScreenRecorder&) = delete;

    // Starts a new movie Recording-<yyyyMMddHHmmss>.mov (never over an older
    // one) of `area` of the screen, or all of it; a running recording is
    // finished properly first. False on failure.
    bool start(std::optional<ScreenRect> area = std::nullopt);
    // Ends the movie with EOS (timeout fallback). True also when idle.
    bool stop();
    // Pauses a recording (false) or resumes a paused one into the same file (true).
    bool toggle();

    RecorderState state() const;
    // The file of the current or last recording; empty before the first.
    const std::string& file() const;

  private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

}  // namespace camvault::media
