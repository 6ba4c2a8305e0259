// MediaTools: command handling, workers and events of the media tools.
#include "media/media_tools.hpp"

#include <glib.h>

#include <map>

#include "base/fs/files.hpp"
#include "base/glib/gobject_ptr.hpp"
#include "base/glib/work_pool.hpp"
#include "base/log.hpp"
#include "base/numbers.hpp"
#include "media/caption_strip.hpp"
#include "media/file_names.hpp"
#include "media/frame_grabber.hpp"
#include "media/merge_export.hpp"
#include "media/png_file.hpp"
#include "media/screen_recorder.hpp"

namespace camvault::media {
namespace {

// A snapshot's outcome as the user hears it: failures without a key of their
// own are "snapshot_failed" with the error as it is.
SnapshotFinished snapshot_outcome(Result<std::string> saved) {
    if (saved || !saved.failure().key.empty())
        return SnapshotFinished{std::move(saved)};
    return SnapshotFinished{fail("snapshot_failed", {{"error", saved.error()}}, saved.error())};
}

// The file a file: URL names; nothing for any other URL.
std::optional<std::string> local_file_path(const std::string& url) {
    if (!g_str_has_prefix(url.c_str(), "file:"))
        return std::nullopt;
    GCharPtr path(g_filename_from_uri(url.c_str(), nullptr, nullptr));
    if (!path)
        return std::nullopt;
    return std::string(path.get());
}

}  // namespace

struct MediaTools::Impl : std::enable_shared_from_this<MediaTools::Impl> {
    std::string files_dir;
    MediaEventSink events;
    std::unique_ptr<ScreenGrabber> grabber;
    std::unique_ptr<FolderOpener> folders;
    std::unique_ptr<ScreenRecorder> recorder;
    // Snapshots queue on two threads: a burst of requests never starts a
    // thread each, and the answers keep the order of the requests.
    OrderedWorkPool snapshots{2};
    std::map<int, std::unique_ptr<MergeExport>> exports;
    int next_export_id = 0;

    void emit(const MediaEvent& event) {
        if (events)
            events(event);
    }
    void export_finished(int id, const ExportOutcome& outcome);
    // A snapshot refused at once still waits for the answers of earlier ones.
    void answer_snapshot_in_turn(Result<std::string> outcome) {
        std::weak_ptr<Impl> weak = shared_from_this();
        snapshots.submit([weak, outcome = std::move(outcome)]() -> std::function<void()> {
            return [weak, outcome] {
                if (auto self = weak.lock())
                    self->emit(snapshot_outcome(outcome));
            };
        });
    }
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
    recorder_events.error = [weak](const std::string& error) {
        if (auto self = weak.lock())
            self->emit(Notice{
                fail("recording_failed", {{"error", error}}, "The recording stopped: " + error)});
    };
    recorder_events.saved = [weak](const std::string& path) {
        if (auto self = weak.lock())
            self->emit(RecordingSaved{path});
    };
    impl_->recorder = std::make_unique<ScreenRecorder>(impl_->files_dir, std::move(clicks),
                                                       std::move(recorder_events));
}

MediaTools::~MediaTools() {
    shutdown();
}

void MediaTools::get_photo(const FrameRequest& request) {
    Impl& m = *impl_;
    log_line("photo:" + request.movie_url + "," + std::to_string(request.minutes) + "," +
             std::to_string(request.seconds));
    if (!request.complete) {
        const std::string error = "a frame needs the movie, the minutes and the seconds";
        log_line("err==" + error + ", imageRef==(null)");
        m.answer_snapshot_in_turn(fail(error));
        return;
    }
    // Only clips on this computer: a web address would have CamVault fetch
    // whatever the page names.
    const auto path = local_file_path(request.movie_url);
    if (!path) {
        log_line("err==not a local clip, imageRef==(null)");
        m.answer_snapshot_in_turn(fail("snapshot_not_local", {{"url", request.movie_url}},
                                       "A snapshot can only be taken of a clip on this computer."));
        return;
    }
    const auto position = frame_position(request.minutes, request.seconds);
    if (!position && !request.exact_ms) {
        const std::string time =
            std::to_string(request.minutes) + ":" + std::to_string(request.seconds);
        log_line("err==no frame at " + time + ", imageRef==(null)");
        m.answer_snapshot_in_turn(fail("snapshot_outside_movie", {{"time", time}},
                                       "There is no frame at " + time + " in this clip."));
        return;
    }
    const int64_t position_ns =
        request.exact_ms ? exact_frame_position_ns(*request.exact_ms) : position->nanoseconds();
    // A clip with telemetry names its still after the footage's clock time;
    // others (and a stamp whose time is none) after the computer's clock.
    StillWriting still = still_writing(*path, request.stamp, snapshot_stamp(local_now()),
                                       "CamVault " CAMVAULT_VERSION);
    std::weak_ptr<Impl> weak = impl_;
    auto work = [weak, url = request.movie_url, file = *path, position_ns, still = std::move(still),
                 dir = m.files_dir]() -> std::function<void()> {
        // Checked here, off the main thread: a pipe or a device would block
        // the decoder's open for ever, and a card may be slow to answer.
        const auto frame =
            is_regular_file(file)
                ? grab_frame(url, position_ns)
                : Result<RgbImage>(fail("cannot read " + file + ": not a regular file"));
        log_line("err==" + (frame ? std::string("(null)") : frame.error()) +
                 ", imageRef==" + (frame ? frame->description() : "(null)"));
        Result<std::string> saved =
            frame ? save_png(with_caption_strip(*frame, still.caption), dir, still.stem, still.text)
                  : fail(frame.error());
        return [weak, saved = std::move(saved)] {
            if (auto self = weak.lock())
                self->emit(snapshot_outcome(saved));
        };
    };
    m.snapshots.submit(std::move(work));
}

void MediaTools::get_full_photo(PixelRect area) {
    Impl& m = *impl_;
    log_line("get_photo");
    log_line("y:" + fixed_decimals(area.y, 6));
    if (!m.grabber) {
        m.emit(snapshot_outcome(fail("screen capture is not available")));
        return;
    }
    const auto grab = m.grabber->grab(area);
    m.emit(snapshot_outcome(grab ? save_png(*grab, m.files_dir, snapshot_stamp(local_now()))
                                 : fail(grab.error())));
}

void MediaTools::merger(const std::vector<std::string>& paths) {
    Impl& m = *impl_;
    // Empty pieces name nothing (the list ends with a comma). Whether the
    // others can be read is found out in the background, never here.
    std::vector<std::string> clips;
    for (const auto& path : paths) {
        if (path.empty())
            continue;
        log_line("merger:" + path);
        clips.push_back(path);
    }
    if (clips.empty()) {
        // Nothing to join: say so now rather than export an empty movie.
        log_line("FAIL");
        m.emit(ExportFinished{fail("export_nothing", {}, "No clips were chosen.")});
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
    } else if (!outcome.failure().key.empty()) {
        emit(ExportFinished{outcome.failure()});
    } else {
        emit(ExportFinished{fail("export_failed", {{"error", outcome.error()}},
                                 "The export failed: " + outcome.error())});
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
    m.snapshots.shutdown(std::chrono::seconds(5));
}

int MediaTools::jobs_running() const {
    return static_cast<int>(impl_->exports.size() + impl_->snapshots.pending());
}

}  // namespace camvault::media
