// The media tools as the application shell sees them: frame and window
// snapshots, merge and export, the screen recorder, showing the files folder.
// Every public operation runs on the main thread; slow work runs elsewhere
// and reports back to the main thread.
#pragma once

#include <memory>
#include <string>
#include <string_view>

#include "bridge/page.hpp"
#include "media/desktop.hpp"

namespace camvault::media {

class MediaTools {
  public:
    MediaTools(std::string home, PageCaller& page, std::unique_ptr<ScreenGrabber> grabber,
               std::unique_ptr<ClickWatcher> clicks, std::unique_ptr<FolderOpener> folders);
    ~MediaTools();  // shutdown()
    MediaTools(const MediaTools&) = delete;
    MediaTools& operator=(const MediaTools&) = delete;

    // The whole get_photo command: the frame at the page's minute and second
    // plus one second of the movie in field 0, as a PNG; then
    // snapshot_result(...) and exactly one get_act() in the page.
    void get_photo(std::string_view command_url_text);
    // A PNG of what the web view shows (root-window pixels, worked out by the
    // shell); then snapshot_result(...) and get_act().
    void get_full_photo(ScreenRect web_view_area);
    // The merger command's list (every "http://merger/" already removed):
    // the existing clips joined and exported at 1920x1080 in the background.
    void merger(std::string_view list_text);
    void open_files_folder();

    // Screen recorder (see ScreenRecorder).
    bool start();
    bool stop();
    bool toggle();
    // Tells a freshly loaded page what the recorder is doing.
    void page_loaded();

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
