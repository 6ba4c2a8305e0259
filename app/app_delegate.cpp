// The application object.
#include "app/app_delegate.hpp"

#include "app/media_page_calls.hpp"
#include "base/fs/files.hpp"
#include "base/glib/gobject_ptr.hpp"
#include "base/glib/main_thread.hpp"
#include "base/log.hpp"
#include "base/numbers.hpp"
#include "bridge/command_args.hpp"
#include "bridge/page_calls.hpp"
#include "library/chooser_texts.hpp"
#include "library/import_lists.hpp"
#include "library/listing.hpp"
#include "library/naming.hpp"
#include "library/prefs.hpp"
#include "library/settings.hpp"
#include "library/summary_store.hpp"
#include "platform/gio/folder_opener_gio.hpp"
#include "platform/gtk/screen_grabber_gdk.hpp"
#include "platform/gtk/transient_popups.hpp"
#include "platform/x11/click_watcher_xi.hpp"

namespace camvault {
namespace {

std::string file_uri(const std::string& path) {
    GCharPtr uri(g_filename_to_uri(path.c_str(), nullptr, nullptr));
    return uri ? uri.get() : "file://" + path;
}

}  // namespace

AppDelegate::AppDelegate(LaunchOptions options, std::function<void()> quit)
    : options_(std::move(options)),
      quit_(std::move(quit)),
      page_uri_(file_uri(options_.page_path)) {
    window_host_ = std::make_unique<platform::WindowHost>(
        "CamVault", kProportion,
        platform::WindowHost::Callbacks{[this] { windowDidResize(); },
                                        [this] { windowShouldClose(); },
                                        // A card may have come or gone while the user was away.
                                        [this] { refresh_availability(); }});
    web_host_ = std::make_unique<platform::WebViewHost>(
        options_.automation, options_.gpu_compositing,
        platform::WebViewHost::Callbacks{
            [this](const std::string& url, bool user_asked) {
                return on_navigation(url, user_asked);
            },
            [this] { webViewDidFinishLoadForFrame(); },
            [this](std::vector<std::string> paths) { import_paths(std::move(paths)); }});
    if (!options_.tile_url.empty())
        web_host_->add_start_script(page_calls::tile_url(options_.tile_url));
    window = window_host_->window();
    wv = web_host_->view();
    if (auto index = open_library_index(options_.home))
        index_ = std::move(*index);
    else
        index_problem_ = index.error();
    mounts_ = std::make_unique<platform::GioMountWatcher>([this] { refresh_availability(); });
    import_queue_ = std::make_unique<ImportQueue>(
        options_.home, [](std::function<void()> work) { run_on_main_thread(std::move(work)); },
        [](const std::string& clip, const std::string& script, const std::string& name,
           const ExtractProgress& progress) {
            return extract_clip_file(clip, script, name, progress);
        },
        ImportLibrary{index_.get(),
                      [home = options_.home](const IndexedClip& clip, const Extraction* extracted) {
                          // Read per clip: a save_prefs may come in the middle of an import.
                          return encode_facts(summarize_script(
                              clip.script_path, extracted ? extracted->layouts : 0,
                              extracted && extracted->cut, event_thresholds(load_prefs(home))));
                      }});
    // The recorder's capture objects are built now and started only by a command.
    media_ = std::make_unique<media::MediaTools>(
        library_files_dir(options_.home),
        [this](const media::MediaEvent& event) { on_media_event(event); },
        std::make_unique<platform::GdkScreenGrabber>(),
        std::make_unique<platform::XiClickWatcher>(),
        std::make_unique<platform::GioFolderOpener>());
    route_exporter_ = std::make_unique<RouteExporter>(
        library_files_dir(options_.home),
        [](std::function<void()> work) { run_on_main_thread(std::move(work)); });
}

AppDelegate::~AppDelegate() = default;

void AppDelegate::applicationDidFinishLaunching() {
    file_data_path.clear();
    file_mv_path.clear();
    window_host_->set_content(web_host_->widget());
    window_host_->show();
    web_host_->load_page(page_uri_);
    resizes();
}

void AppDelegate::webViewDidFinishLoadForFrame() {
    read_file_list();
    // A reloaded page starts out showing no recording.
    if (const auto state = media_->recorder_state();
        state == media::RecorderState::Recording || state == media::RecorderState::Paused)
        web_host_->call(page_calls::recording_state(recording_state_name(state)));
    if (!first_listing_done_) {
        first_listing_done_ = true;
        if (!options_.import_paths.empty()) {
            import_paths(options_.import_paths);
        }
    }
}

void AppDelegate::windowShouldClose() {
    // A running recording is finished first, so its movie stays playable.
    media_->shutdown();
    quit_();
}

NavigationDecision AppDelegate::on_navigation(const std::string& url_text, bool user_asked) {
    const DispatchResult dispatched = dispatch_commands(url_text, *this);
    return decide_navigation(url_text, page_uri_, dispatched, user_asked);
}

void AppDelegate::on_media_event(const media::MediaEvent& event) {
    for (const auto& script : page_calls_for(event))
        web_host_->call(script);
}

Frame AppDelegate::window_frame() const {
    return frame_from_window(window_host_->window_rect(), window_host_->monitor_area());
}

void AppDelegate::set_window_frame(const Frame& frame) {
    window_host_->set_window_rect(
        window_from_frame(frame, window_host_->monitor_area(), window_host_->work_area()));
}

void AppDelegate::reload_page() {
    web_host_->load_page(page_uri_);
}

void AppDelegate::resizes() {
    const Frame frame = window_frame();
    const double screen_height = window_host_->monitor_area().height;
    oheight = fixed_decimals(frame.height, 6);
    const Frame next = resize_pass(frame, screen_height);
    set_window_frame(next);
    // X11 applies the new size later; what the window will have is the frame just set.
    log_line(resize_log_line(next, screen_height));
}

void AppDelegate::read_file_list() {
    auto problems = prepare_library(options_.home);
    if (!index_problem_.empty())
        problems.push_back(index_problem_);
    send_listing("0", [this, problems] {
        // After the listing, so that the page is ready to show them.
        for (const auto& problem : problems) {
            log_line(problem);
            web_host_->call(
                page_calls::notice(fail("library_problem", {{"error", problem}},
                                        "The library folder cannot be used: " + problem)));
        }
        log_line("finish");
    });
}

void AppDelegate::send_listing(const std::string& selected, std::function<void()> after) {
    const std::string script = page_calls::file_list(file_data_path, file_mv_path, selected,
                                                     library_data_dir(options_.home));
    if (file_mv_path.empty()) {
        web_host_->call(script);
        after();
        return;
    }
    // The page hears which clips cannot be opened before the listing, so it
    // never points its video element at such a clip.
    report_clips([this, script, after = std::move(after)] {
        web_host_->call(script);
        after();
    });
}

void AppDelegate::report_clips(std::function<void()> then) {
    auto movies = list_entries(file_mv_path);
    if (movies.empty())
        return;
    // Which clips cannot be opened any more (replaced by a pipe, a card
    // taken out) is found off the main thread: a card may be slow to answer.
    availability_.submit([this, movies = std::move(movies), scripts = list_entries(file_data_path),
                          then = std::move(then)] {
        // Summaries made with other event thresholds than the settings' are
        // made again here, before the page hears of them.
        const auto listed = listed_clips(index_.get(), movies, scripts,
                                         event_thresholds(load_prefs(options_.home)));
        return std::function<void()>([this, unavailable = unavailable_movies(listed),
                                      summaries = listing_json(listed), then] {
            web_host_->call(page_calls::clips_unavailable(unavailable));
            web_host_->call(page_calls::library_summaries(summaries));
            if (then)
                then();
        });
    });
}

void AppDelegate::save_set(std::string_view url_text) {
    if (auto written = save_settings(options_.home, settings_text(url_text)); !written) {
        log_line(written.error());
        web_host_->call(page_calls::notice(written.failure()));
    }
}

void AppDelegate::save_prefs(std::string_view url_text) {
    const EventThresholds before = event_thresholds(load_prefs(options_.home));
    auto saved = camvault::save_prefs(options_.home, prefs_text(url_text));
    if (!saved) {
        log_line(saved.error());
        web_host_->call(page_calls::notice(saved.failure()));
        return;
    }
    // The listed clips' events are found again with the new thresholds.
    if (event_thresholds(*saved) != before)
        report_clips({});
}

void AppDelegate::mini() {
    const double screen_height = window_host_->monitor_area().height;
    // The window's aspect hint lets X11 take only sizes in proportion, so ask
    // at once for the frame the geometry passes would settle on.
    set_window_frame(settle_frame(mini_frame(window_frame(), screen_height), screen_height).frame);
    log_line("mini");
}

void AppDelegate::max() {
    const double screen_height = window_host_->monitor_area().height;
    // Never wider than the screen's usable area (a portrait screen, say).
    set_window_frame(
        fit_width(settle_frame(max_frame(window_frame(), screen_height), screen_height).frame,
                  window_host_->work_area().width));
    log_line("max");
}

void AppDelegate::import_paths(std::vector<std::string> paths) {
    import_queue_->enqueue(std::move(paths),
                           {[this](const ImportProgress& progress) {
                                web_host_->call(page_calls::import_progress(
                                    progress.done, progress.total, progress.name));
                            },
                            [this](ImportPassResult result) { import_finished(result); }});
}

void AppDelegate::open_paths(std::vector<std::string> paths) {
    if (!first_listing_done_) {
        options_.import_paths.insert(options_.import_paths.end(), paths.begin(), paths.end());
        return;
    }
    import_paths(std::move(paths));
}

void AppDelegate::import_finished(const ImportPassResult& result) {
    for (const auto& refusal : result.refused) {
        log_line("not imported: " + refusal.path + ": " + refusal.reason.text);
        web_host_->call(page_calls::import_refused(refusal.path, refusal.reason));
    }
    for (const auto& problem : result.problems) {
        log_line(problem.text);
        web_host_->call(page_calls::notice(
            !problem.key.empty() ? problem
                                 : fail("telemetry_unreadable", {{"error", problem.text}},
                                        "No telemetry was read: " + problem.text)));
    }
    const auto last = apply_import(file_data_path, file_mv_path, result);
    if (last)
        pathss = *last;
    const std::string selected = last ? *last : std::string("(null)");
    log_line(page_calls::file_list(file_data_path, file_mv_path, selected,
                                   library_data_dir(options_.home)));
    send_listing(selected, [] {});
}

ExtractResult AppDelegate::splitData(std::span<const uint8_t> bytes, const std::string& savepath,
                                     const std::string& fns) {
    return camvault::splitData(bytes, options_.home + savepath, fns);
}

void AppDelegate::file_del_fun(std::string_view url_text) {
    std::vector<std::string> removed;
    for (const auto& piece : removal_paths(url_text)) {
        if (piece.empty())
            continue;
        log_line("del:" + piece + ",,mov:" + file_mv_path);
        remove_clip(file_data_path, file_mv_path, piece);
        log_line("del_res:" + file_data_path);
        log_line("del_res1:" + file_mv_path);
        removed.push_back(piece);
    }
    // Out of the index too, in turn with the imports (never from the disk).
    if (index_ && !removed.empty()) {
        import_queue_->enqueue_task([this, removed]() -> std::function<void()> {
            if (auto done = index_->remove(removed); !done) {
                return [this, error = done.failure()] { tell_library_problem(error.text); };
            }
            return {};
        });
    }
    // One reload after the last piece brings the page the same final listing.
    reload_page();
}

void AppDelegate::library_restore() {
    if (!index_)
        return;
    // In turn with the imports: what was imported or removed before is in it.
    import_queue_->enqueue_task([this]() -> std::function<void()> {
        // "Reopen the library at start" off: the page starts with no listing.
        if (!load_prefs(options_.home).reopen_library)
            return [this] { log_line("library kept closed at start"); };
        auto listed = index_->listed();
        if (!listed)
            return [this, error = listed.failure()] { tell_library_problem(error.text); };
        return [this, clips = std::move(*listed)] {
            std::string data_list, movie_list;
            for (const auto& clip : clips)
                append_clip(data_list, movie_list, clip.script_path, clip.source_path);
            // Nothing remembered, or the page shows it already: the listing stays.
            if (clips.empty() || (data_list == file_data_path && movie_list == file_mv_path))
                return;
            file_data_path = std::move(data_list);
            file_mv_path = std::move(movie_list);
            if (!clips.empty())
                pathss = clips.back().source_path;
            log_line("restored " + std::to_string(clips.size()) + " clips");
            send_listing(clips.empty() ? std::string("(null)") : clips.back().source_path, [] {});
        };
    });
}

void AppDelegate::library_search(std::string_view url_text) {
    auto args = search_args(url_text);
    if (!args) {
        log_line(args.error());
        web_host_->call(page_calls::notice(args.failure()));
        return;
    }
    SearchFilter filter;
    filter.from_ms = args->from_ms;
    filter.to_ms = args->to_ms;
    if (args->near)
        filter.place = PlaceFilter{args->near->lat, args->near->lon, args->near->radius_m};
    for (const auto& name : args->events) {
        const auto kind = event_kind_from_name(name);
        if (!kind) {
            web_host_->call(
                page_calls::notice(fail("library_search: unknown event kind \"" + name + "\"")));
            return;
        }
        filter.event_kinds |= event_bit(*kind);
    }
    // Summaries come from the index and routes from script files: off the main thread.
    availability_.submit([this, filter, movies = list_entries(file_mv_path),
                          scripts = list_entries(file_data_path)] {
        const auto found = search_listed(listed_clips(index_.get(), movies, scripts,
                                                      event_thresholds(load_prefs(options_.home))),
                                         filter);
        return std::function<void()>(
            [this, found] { web_host_->call(page_calls::search_results(found)); });
    });
}

void AppDelegate::refresh_availability() {
    report_clips({});
}

void AppDelegate::tell_library_problem(const std::string& error) {
    log_line(error);
    web_host_->call(page_calls::notice(fail("library_problem", {{"error", error}},
                                            "The library folder cannot be used: " + error)));
}

void AppDelegate::copy_file() {
    // The page may have switched language since the last time.
    auto texts = clip_chooser_texts(read_settings_language(options_.home));
    clip_chooser_.choose(
        window,
        {std::move(texts.title), std::move(texts.cancel), std::move(texts.accept),
         std::move(texts.filter)},
        [this](std::vector<std::string> paths) { import_paths(std::move(paths)); });
}

void AppDelegate::get_photo(std::string_view url_text) {
    media_->get_photo(frame_request(photo_args(url_text)));
}

void AppDelegate::get_full_photo() {
    // Tooltips and menus over the window are closed first; the grab waits for
    // the web view to paint what they covered.
    popups_closed_ = std::make_unique<platform::PopupsClosed>(web_host_->widget());
    full_photo_timer_.start(popups_closed_->closed() ? kRepaintAfterPopupsMs : 0, [this] {
        media_->get_full_photo(window_host_->widget_area(web_host_->widget()));
        popups_closed_.reset();
    });
}

void AppDelegate::open_files_folder() {
    media_->open_files_folder();
}

void AppDelegate::start() {
    media_->start();
}

void AppDelegate::stop() {
    media_->stop();
}

void AppDelegate::merger(std::string_view list_text) {
    media_->merger(merge_paths(list_text));
}

void AppDelegate::export_route(std::string_view url_text) {
    auto args = export_route_args(url_text);
    if (!args) {
        log_line(args.error());
        web_host_->call(page_calls::route_exported(
            fail("route_export_failed", {{"error", args.error()}}, args.error())));
        return;
    }
    route_exporter_->start(
        route_export_request(*args, load_prefs(options_.home)),
        [this](Result<std::string> written) {
            log_line(written ? "route: " + *written : "route not exported: " + written.error());
            web_host_->call(page_calls::route_exported(
                written
                    ? written
                    : Result<std::string>(fail("route_export_failed", {{"error", written.error()}},
                                               written.error()))));
        });
}

void AppDelegate::export_movie(std::string_view url_text) {
    auto args = export_args(url_text);
    if (!args) {
        log_line(args.error());
        web_host_->call(page_calls::export_result(
            args.failure().key.empty()
                ? fail("export_refused", {{"error", args.error()}}, args.error())
                : args.failure()));
        return;
    }
    if (export_job_ && export_job_->running()) {
        web_host_->call(page_calls::export_result(
            fail("export_busy", {}, "An export is running: wait for it or cancel it.")));
        return;
    }
    log_line("export: " + std::to_string(args->pieces.size()) + " pieces");
    ExportJobCallbacks callbacks;
    callbacks.progress = [this](double fraction) {
        web_host_->call(page_calls::export_progress(fraction));
    };
    callbacks.finished = [this](const Result<ExportJobOutcome>& outcome) {
        log_line(outcome ? "export: " + outcome->path : "export failed: " + outcome.error());
        if (!outcome) {
            web_host_->call(page_calls::export_result(outcome.failure()));
            return;
        }
        web_host_->call(page_calls::export_result(page_calls::ExportReport{
            outcome->path, outcome->mode == media::ExportMode::lossless ? "lossless" : "reencoded",
            outcome->gpx, outcome->zip}));
    };
    export_job_ = std::make_unique<ExportJob>(
        std::move(*args), load_prefs(options_.home), read_settings_in_miles(options_.home),
        library_files_dir(options_.home), std::move(callbacks));
}

void AppDelegate::export_cancel() {
    if (export_job_ && export_job_->running())
        export_job_->cancel();
}

}  // namespace camvault
