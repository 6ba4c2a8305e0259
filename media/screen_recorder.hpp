// Screen recorder: the whole X screen with clicks drawn as fading rings, into
// a QuickTime movie that stays playable even if the process dies mid-way.
// An explicit state machine; every operation on the main thread, which never
// waits for the movie to be completed except at exit (finish_now).
#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "media/desktop.hpp"
#include "media/media_events.hpp"
#include "media/recorder_plan.hpp"

namespace camvault::media {

struct RecorderEvents {
    std::function<void(RecorderState)> state_changed;
    std::function<void(const std::string& message)> error;  // a message a person can act on
    std::function<void(const std::string& path)> saved;  // a movie is complete in the files folder
};

class ScreenRecorder {
  public:
    // Builds the capture pipeline without starting it; a failure to build is
    // reported when recording is asked for.
    ScreenRecorder(std::string files_dir, std::unique_ptr<ClickWatcher> clicks,
                   RecorderEvents events, RecorderSettings settings = {});
    ~ScreenRecorder();  // finish_now()
    ScreenRecorder(const ScreenRecorder&) = delete;
    ScreenRecorder& operator=(const ScreenRecorder&) = delete;

    // Starts a new movie Recording-<yyyyMMddHHmmss>.mov (never over an older
    // one) of `area` of the screen, or all of it. A running recording is
    // finished first, and the new one starts once it is complete. False on
    // failure.
    bool start(std::optional<PixelRect> area = std::nullopt);
    // Sends EOS and returns at once: the state is Finishing until the movie is
    // complete (or the timeout cut it), then Idle. True also when idle.
    bool stop();
    // Completes a running or finishing recording before returning, waiting
    // at most the EOS timeout: for process exit only.
    void finish_now();
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
