// The media tools as the application shell sees them: frame and window
// snapshots, merge and export, the screen recorder, showing the files folder.
// Every public operation runs on the main thread; slow work runs elsewhere.
// Outcomes arrive as typed events on the main thread.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "media/desktop.hpp"
#include "media/media_events.hpp"
#include "media/photo_request.hpp"

namespace camvault::media {

class MediaTools {
  public:
    // `files_dir`: where snapshots, merged movies and recordings are written.
    MediaTools(std::string files_dir, MediaEventSink events, std::unique_ptr<ScreenGrabber> grabber,
               std::unique_ptr<ClickWatcher> clicks, std::unique_ptr<FolderOpener> folders);
    ~MediaTools();  // shutdown()
    MediaTools(const MediaTools&) = delete;
    MediaTools& operator=(const MediaTools&) = delete;

    // The frame at the request's minute and second plus one second, as a
    // PNG; then exactly one SnapshotFinished.
    void get_photo(const FrameRequest& request);
    // A PNG of what the web view shows (root-window pixels, worked out by the
    // shell); then SnapshotFinished.
    void get_full_photo(PixelRect web_view_area);
    // The existing clips joined and exported at 1920x1080 in the background:
    // ExportProgress events, then one ExportFinished.
    void merger(const std::vector<std::string>& clips);
    void open_files_folder();

    // Screen recorder (see ScreenRecorder); RecordingStateChanged on changes.
    bool start();
    bool stop();
    bool toggle();
    RecorderState recorder_state() const;

    // Before the process exits: finishes a running recording, abandons running
    // exports (temporary files removed) and waits for snapshot workers.
    void shutdown();

    // Snapshot workers and exports still running (for tests and shutdown).
    int jobs_running() const;

  private:
    struct Impl;
    std::shared_ptr<Impl> impl_;
};

}  // namespace camvault::media
