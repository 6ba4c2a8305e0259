// MediaTools: command handling, workers and events of the media tools.
#include "media/media_tools.hpp"

#include <glib.h>

#include <atomic>
#include <charconv>
#include <list>
#include <map>
#include <thread>

#include "base/glib/main_thread.hpp"
#include "base/log.hpp"
#include "media/file_names.hpp"
#include "media/frame_grabber.hpp"
#include "media/merge_export.hpp"
#include "media/png_file.hpp"
#include "media/screen_recorder.hpp"

namespace camvault::media {
namespace {

// Locale-independent "%f" (the log's numbers must not take a decimal comma
// from the user's locale).
std::string fixed6(double value) {
    char buffer[64];
    const auto r =
        std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::fixed, 6);
    return std::string(buffer, r.ptr);
}

// Runs `work` on a new thread that has a thread-default main context of its
// own. Without one, g_main_context_invoke on the default context may run a
// main-thread hand-off right there on the worker whenever the main loop is
// not iterating at that instant.
std::thread start_worker(std::function<void()> work) {
    return std::thread([work = std::move(work)] {
        GMainContext* own = g_main_context_new();
        g_main_context_push_thread_default(own);
        work();
        g_main_context_pop_thread_default(own);
        g_main_context_unref(own);
    });
}

struct PhotoWorker {
    std::thread thread;
    std::shared_ptr<std::atomic<bool>> done;
};

}  // namespace

struct MediaTools::Impl : std::enable_shared_from_this<MediaTools::Impl> {
    std::string files_dir;
    MediaEventSink events;
    std::unique_ptr<ScreenGrabber> grabber;
    std::unique_ptr<FolderOpener> folders;
    std::unique_ptr<ScreenRecorder> recorder;
    std::list<PhotoWorker> photo_workers;
    std::map<int, std::unique_ptr<MergeExport>> exports;
    int next_export_id = 0;

    void emit(const MediaEvent& event) {
        if (events)
            events(event);
    }
    void reap_photo_workers(bool all) {
        for (auto it = photo_workers.begin(); it != photo_workers.end();) {
            if (all || it->done->load()) {
                it->thread.join();
                it = photo_workers.erase(it);
            } else {
                ++it;
            }
        }
    }
    void export_finished(int id, const ExportOutcome& outcome);
};

MediaTools::MediaTools(std::string files_dir, MediaEventSink events,
                       std::unique_ptr<ScreenGrabber> grabber, std::unique_ptr<ClickWatcher> clicks,
                       std::unique_ptr<FolderOpener> folders)
    : impl_(std::make_shared<Impl>()) {
    impl_->files_dir = std::move(files_dir);
    impl_->events = std::move(events);
    impl_->grabber = std::move(grabber);
    impl_->folders = std::move(folders);
    // GES may only be used from the thread that initialised it: this one.
    ensure_ges();
    std::weak_ptr<Impl> weak = impl_;
    RecorderEvents recorder_events;
    recorder_events.state_changed = [weak](RecorderState state) {
        if (auto self = weak.lock())
            self->emit(RecordingStateChanged{state});
    };
    recorder_events.error = [weak](const std::string& message) {
        if (auto self = weak.lock())
            self->emit(Notice{message});
    };
    impl_->recorder = std::make_unique<ScreenRecorder>(impl_->files_dir, std::move(clicks),
                                                       std::move(recorder_events));
}

MediaTools::~MediaTools() {
    shutdown();
}

void MediaTools::get_photo(const FrameRequest& request) {
    Impl& m = *impl_;
    m.reap_photo_workers(false);
    log_line("photo:" + request.movie_url + "," + std::to_string(request.minutes) + "," +
             std::to_string(request.seconds));
    if (!request.complete) {
        const std::string error = "a frame needs the movie, the minutes and the seconds";
        log_line("err==" + error + ", imageRef==(null)");
        m.emit(SnapshotFinished{fail(error)});
        return;
    }
    const int64_t position_ns = frame_position(request.minutes, request.seconds).nanoseconds();
    const std::string stem = snapshot_stamp(local_now());
    auto done = std::make_shared<std::atomic<bool>>(false);
    std::weak_ptr<Impl> weak = impl_;
    auto work = [weak, done, url = request.movie_url, position_ns, stem, dir = m.files_dir] {
        const auto frame = grab_frame(url, position_ns);
        log_line("err==" + (frame ? std::string("(null)") : frame.error()) +
                 ", imageRef==" + (frame ? frame->description() : "(null)"));
        Result<std::string> saved = frame ? save_png(*frame, dir, stem) : fail(frame.error());
        run_on_main_thread([weak, saved = std::move(saved)] {
            if (auto self = weak.lock())
                self->emit(SnapshotFinished{saved});
        });
        done->store(true);
    };
    m.photo_workers.push_back(PhotoWorker{start_worker(std::move(work)), done});
}

void MediaTools::get_full_photo(PixelRect area) {
    Impl& m = *impl_;
    log_line("get_photo");
    log_line("y:" + fixed6(area.y));
    if (!m.grabber) {
        m.emit(SnapshotFinished{fail("screen capture is not available")});
        return;
    }
    const auto grab = m.grabber->grab(area);
    m.emit(SnapshotFinished{grab ? save_png(*grab, m.files_dir, snapshot_stamp(local_now()))
                                 : fail(grab.error())});
}

void MediaTools::merger(const std::vector<std::string>& paths) {
    Impl& m = *impl_;
    std::vector<std::string> clips;
    for (const auto& path : paths) {
        if (path.empty() || !g_file_test(path.c_str(), G_FILE_TEST_EXISTS))
            continue;
        log_line("merger:" + path);
        clips.push_back(path);
    }
    if (clips.empty()) {
        // Nothing to join: say so now rather than export an empty movie.
        log_line("FAIL");
        m.emit(ExportFinished{fail("None of the chosen clips exists any more.")});
        return;
    }
    const int id = m.next_export_id++;
    std::weak_ptr<Impl> weak = impl_;
    ExportCallbacks callbacks;
    callbacks.progress = [weak](double fraction) {
        if (auto self = weak.lock())
            self->emit(ExportProgress{fraction});
    };
    callbacks.finished = [weak, id](const ExportOutcome& outcome) {
        if (auto self = weak.lock())
            self->export_finished(id, outcome);
    };
    m.exports.emplace(
        id, std::make_unique<MergeExport>(clips, m.files_dir, "exp_" + export_stamp(local_now()),
                                          std::move(callbacks)));
}

void MediaTools::Impl::export_finished(int id, const ExportOutcome& outcome) {
    log_line(outcome ? "SUCCESS" : "FAIL");
    // The export is done with its pipeline; it may go now (see MergeExport).
    exports.erase(id);
    if (outcome) {
        emit(ExportFinished{});
        if (folders)
            folders->show_folder(files_dir);
    } else {
        emit(ExportFinished{fail("The export failed: " + outcome.error())});
    }
}

void MediaTools::open_files_folder() {
    if (impl_->folders)
        impl_->folders->show_folder(impl_->files_dir);
}

bool MediaTools::start() {
    // Only the main display when the screen spans several monitors.
    std::optional<PixelRect> area;
    if (impl_->grabber)
        area = impl_->grabber->main_display();
    return impl_->recorder->start(area);
}
bool MediaTools::stop() {
    return impl_->recorder->stop();
}
bool MediaTools::toggle() {
    return impl_->recorder->toggle();
}
RecorderState MediaTools::recorder_state() const {
    return impl_->recorder->state();
}

void MediaTools::shutdown() {
    Impl& m = *impl_;
    if (m.recorder)
        m.recorder->finish_now();
    m.exports.clear();
    m.reap_photo_workers(true);
}

int MediaTools::jobs_running() const {
    int running = static_cast<int>(impl_->exports.size());
    for (const auto& worker : impl_->photo_workers)
        if (!worker.done->load())
            ++running;
    return running;
}

}  // namespace camvault::media
