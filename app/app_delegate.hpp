// The application object: owns the window, the web view and the subsystems,
// and wires the platform's notifications and the page's commands to them.
// The logic lives in the subsystems; this class only connects them.
#pragma once

#include <gtk/gtk.h>
#include <webkit2/webkit2.h>

#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "app/export_job.hpp"
#include "app/geometry.hpp"
#include "app/launch.hpp"
#include "app/route_export_job.hpp"
#include "base/glib/timeout.hpp"
#include "base/glib/work_pool.hpp"
#include "bridge/dispatcher.hpp"
#include "library/import_pass.hpp"
#include "media/media_tools.hpp"
#include "platform/gio/mount_watcher_gio.hpp"
#include "platform/gtk/clip_chooser.hpp"
#include "platform/gtk/transient_popups.hpp"
#include "platform/gtk/web_view_host.hpp"
#include "platform/gtk/window_host.hpp"

namespace camvault {

class AppDelegate final : public CommandHandlers {
  public:
    // `quit` ends the application's main loop once the window closes.
    AppDelegate(LaunchOptions options, std::function<void()> quit);
    ~AppDelegate() override;
    AppDelegate(const AppDelegate&) = delete;
    AppDelegate& operator=(const AppDelegate&) = delete;

    // Start-up: empty lists, window and web view, page load, first geometry pass.
    void applicationDidFinishLaunching();

    // Platform notifications.
    void webViewDidFinishLoadForFrame();
    void windowShouldClose();
    void windowDidResize() { resizes(); }

    // Own operations.
    void resizes();
    void read_file_list();
    // Imports clips chosen or dropped: queued behind a running import.
    void import_paths(std::vector<std::string> paths);
    // Clips another start of CamVault was opened with: imported after the
    // first listing, like --import.
    void open_paths(std::vector<std::string> paths);
    // Writes the telemetry script of clip bytes held in memory.
    ExtractResult splitData(std::span<const uint8_t> bytes, const std::string& savepath,
                            const std::string& fns);

    // Page commands.
    void file_del_fun(std::string_view url_text) override;
    void copy_file() override;
    void get_photo(std::string_view url_text) override;
    void get_full_photo() override;
    void open_files_folder() override;
    void start() override;
    void stop() override;
    void save_set(std::string_view url_text) override;
    void merger(std::string_view list_text) override;
    void mini() override;
    void max() override;
    void export_route(std::string_view url_text) override;
    void library_restore() override;
    void library_search(std::string_view url_text) override;
    void save_prefs(std::string_view url_text) override;
    void export_movie(std::string_view url_text) override;
    void export_cancel() override;

    // Properties.
    GtkWindow* window = nullptr;         // owned by window_host_
    WebKitWebView* wv = nullptr;         // owned by web_host_
    std::string file_data_path;          // telemetry list
    std::string file_mv_path;            // movie list
    std::optional<std::string> pathss;   // most recently accepted clip
    std::optional<std::string> oheight;  // height text of the last geometry pass

  private:
    NavigationDecision on_navigation(const std::string& url_text, bool user_asked);
    void on_media_event(const media::MediaEvent& event);
    Frame window_frame() const;
    void set_window_frame(const Frame& frame);
    void reload_page();
    void import_finished(const ImportPassResult& result);
    // Sends the listing with `selected`, after the list of clips that cannot
    // be opened; then runs `after`.
    void send_listing(const std::string& selected, std::function<void()> after);
    // Tells the page, off the main thread, which listed clips cannot be opened
    // and what the library knows of them; then runs `then` (may be empty).
    void report_clips(std::function<void()> then);
    void tell_library_problem(const std::string& error);
    // Tells the page again which listed clips can be opened (a card came or went).
    void refresh_availability();

    LaunchOptions options_;
    std::function<void()> quit_;
    std::string page_uri_;
    bool first_listing_done_ = false;
    std::unique_ptr<platform::WindowHost> window_host_;
    std::unique_ptr<platform::WebViewHost> web_host_;
    platform::ClipChooser clip_chooser_;
    // Both call into the page: they go before the web view does.
    // Remembers the library across launches; none when its file cannot be opened.
    std::unique_ptr<LibraryIndex> index_;
    std::unique_ptr<platform::GioMountWatcher> mounts_;
    std::string index_problem_;  // why there is none
    std::unique_ptr<ImportQueue> import_queue_;
    std::unique_ptr<media::MediaTools> media_;  // snapshots, merge, the screen recorder
    // Checks the listed clips; last, so that it stops before what it calls into.
    OrderedWorkPool availability_{1};
    std::unique_ptr<RouteExporter> route_exporter_;
    std::unique_ptr<ExportJob> export_job_;  // the export running, or the last one
    // A window snapshot waiting for the repaint after closing a tooltip.
    static constexpr unsigned kRepaintAfterPopupsMs = 150;
    OneShotTimer full_photo_timer_;
    std::unique_ptr<platform::PopupsClosed> popups_closed_;  // until that grab
};

}  // namespace camvault
