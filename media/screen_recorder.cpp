// Screen recorder on ximagesrc ! cairooverlay ! x264enc ! qtmux ! filesink.
#include "media/screen_recorder.hpp"

#include <cairo.h>
#include <glib/gstdio.h>

#include <algorithm>
#include <chrono>
#include <fstream>
#include <mutex>
#include <utility>
#include <vector>

#include "base/fs/unique_names.hpp"
#include "base/log.hpp"
#include "media/file_names.hpp"
#include "media/gst_handles.hpp"

namespace camvault::media {
namespace {

// How long a stop waits for the movie's EOS before it cuts the pipeline; the
// periodically rewritten index keeps the file playable even then.
constexpr auto kEosTimeout = std::chrono::seconds(5);
constexpr guint kWatchIntervalMs = 500;
// How often the finishing state looks for the EOS on the bus.
constexpr guint kFinishPollMs = 20;
// Start a new file this long before the reserved index space runs out.
constexpr uint64_t kRolloverMarginNs = 120ull * 1'000'000'000;

struct Click {
    int x;
    int y;
    int64_t time_ns;  // pipeline running time
};

// Clicks shared between the watcher's thread and the overlay's streaming thread.
struct ClickLog {
    std::mutex mutex;
    std::vector<Click> clicks;
};

void draw_rings(GstElement*, cairo_t* cr, guint64 timestamp, guint64, gpointer data) {
    auto* log = static_cast<ClickLog*>(data);
    std::lock_guard lock(log->mutex);
    const auto frame_ns = static_cast<int64_t>(timestamp);
    std::erase_if(log->clicks,
                  [&](const Click& c) { return frame_ns - c.time_ns >= kClickRingNs; });
    for (const auto& click : log->clicks) {
        const auto ring = click_ring(click.time_ns, frame_ns);
        if (!ring)
            continue;
        cairo_set_line_width(cr, 5.0);
        cairo_set_source_rgba(cr, 1.0, 0.8, 0.0, ring->alpha);
        cairo_new_sub_path(cr);
        cairo_arc(cr, click.x, click.y, ring->radius, 0, 2 * G_PI);
        cairo_stroke(cr);
    }
}

std::string bus_error(GstElement* pipeline) {
    ObjectRef<GstBus> bus(gst_element_get_bus(pipeline));
    MessagePtr message(gst_bus_pop_filtered(bus.get(), GST_MESSAGE_ERROR));
    if (!message)
        return {};
    GError* raw = nullptr;
    gchar* debug = nullptr;
    gst_message_parse_error(message.get(), &raw, &debug);
    ErrorPtr error(raw);
    GCharPtr details(debug);
    return error_text(error.get(), "the recording failed");
}

}  // namespace

struct ScreenRecorder::Impl {
    ScreenRecorder* owner = nullptr;
    std::string files_dir;
    std::unique_ptr<ClickWatcher> clicks;
    RecorderEvents events;
    RecorderSettings settings;
    Pipeline pipeline;
    std::string build_error;
    GstElement* source = nullptr;  // owned by the pipeline
    GstElement* sink = nullptr;    // owned by the pipeline
    GstElement* mux = nullptr;     // owned by the pipeline
    gulong draw_handler = 0;
    GstElement* overlay = nullptr;
    ClickLog click_log;
    std::optional<PixelRect> area;  // of the current recording; read by on_click
    RecorderState state = RecorderState::Idle;
    std::string file;
    guint watch_timer = 0;
    guint finish_timer = 0;
    gint64 finish_deadline_us = 0;
    // A start asked for while finishing: the area to record once complete.
    std::optional<std::optional<PixelRect>> pending_start;

    void build();
    void set_state(RecorderState next) {
        state = next;
        if (events.state_changed)
            events.state_changed(next);
    }
    void report(const std::string& message) {
        log_line("recording: " + message);
        if (events.error)
            events.error(message);
    }
    void on_click(int x, int y);
    void discard_if_empty();
    void begin_finish();               // EOS sent, state Finishing
    void complete_finish(bool clean);  // NULL state, state Idle, pending start
    static gboolean on_watch(gpointer data);
    static gboolean on_finishing(gpointer data);
};

void ScreenRecorder::Impl::build() {
    ensure_gstreamer();
    GError* raw = nullptr;
    GstElement* parsed = gst_parse_launch(recorder_pipeline_description(settings).c_str(), &raw);
    ErrorPtr error(raw);
    if (!parsed || error) {
        if (parsed)
            gst_object_unref(gst_object_ref_sink(parsed));
        build_error = "screen capture is not available: " + error_text(error.get());
        return;
    }
    pipeline = Pipeline(GST_ELEMENT(gst_object_ref_sink(parsed)));
    ObjectRef<GstElement> found_source(gst_bin_get_by_name(GST_BIN(parsed), kRecorderSourceName));
    ObjectRef<GstElement> found_sink(gst_bin_get_by_name(GST_BIN(parsed), kRecorderSinkName));
    ObjectRef<GstElement> found_mux(gst_bin_get_by_name(GST_BIN(parsed), kRecorderMuxName));
    ObjectRef<GstElement> found_overlay(gst_bin_get_by_name(GST_BIN(parsed), kRecorderOverlayName));
    source = found_source.get();
    sink = found_sink.get();
    mux = found_mux.get();
    overlay = found_overlay.get();
    draw_handler = g_signal_connect(overlay, "draw", G_CALLBACK(draw_rings), &click_log);
}

void ScreenRecorder::Impl::on_click(int x, int y) {
    // Runs on the watcher's thread: only the click log and thread-safe
    // GStreamer calls are touched.
    GstElement* p = pipeline.get();
    if (!p)
        return;
    ObjectRef<GstClock> clock(gst_element_get_clock(p));
    if (!clock)
        return;  // not running
    const GstClockTime now = gst_clock_get_time(clock.get());
    const GstClockTime base = gst_element_get_base_time(p);
    if (now < base)
        return;
    if (area) {
        // Clicks are in root-window pixels; the movie shows only `area`.
        if (x < area->x || y < area->y || x >= area->x + area->width || y >= area->y + area->height)
            return;
        x -= area->x;
        y -= area->y;
    }
    std::lock_guard lock(click_log.mutex);
    click_log.clicks.push_back(Click{x, y, static_cast<int64_t>(now - base)});
}

// A movie whose header records no time (the disk was full from the start)
// holds nothing to play: it goes, rather than lie in the files folder under
// its final name. One that got some way stays: its header covers what was
// written up to the last update.
void ScreenRecorder::Impl::discard_if_empty() {
    std::vector<uint8_t> head(64 * 1024);
    std::ifstream in(file, std::ios::binary);
    in.read(reinterpret_cast<char*>(head.data()), static_cast<std::streamsize>(head.size()));
    head.resize(static_cast<size_t>(std::max<std::streamsize>(in.gcount(), 0)));
    const auto duration = movie_header_duration(head);
    if (!duration || *duration == 0) {
        g_unlink(file.c_str());
        log_line("recording: " + file + " holds nothing to play, removed");
    }
}

void ScreenRecorder::Impl::begin_finish() {
    if (watch_timer)
        g_source_remove(watch_timer);
    watch_timer = 0;
    if (clicks)
        clicks->stop();
    // A paused live pipeline passes no data, so EOS could not reach the muxer.
    if (state == RecorderState::Paused)
        gst_element_set_state(pipeline.get(), GST_STATE_PLAYING);
    gst_element_send_event(pipeline.get(), gst_event_new_eos());
    finish_deadline_us = g_get_monotonic_time() + std::chrono::microseconds(kEosTimeout).count();
    finish_timer = g_timeout_add(kFinishPollMs, &Impl::on_finishing, this);
    set_state(RecorderState::Finishing);
}

void ScreenRecorder::Impl::complete_finish(bool clean) {
    if (finish_timer)
        g_source_remove(finish_timer);
    finish_timer = 0;
    gst_element_set_state(pipeline.get(), GST_STATE_NULL);
    ObjectRef<GstBus> bus(gst_element_get_bus(pipeline.get()));
    gst_bus_set_flushing(bus.get(), TRUE);  // drop what this recording left on the bus
    gst_bus_set_flushing(bus.get(), FALSE);
    {
        std::lock_guard lock(click_log.mutex);
        click_log.clicks.clear();
    }
    if (!clean) {
        log_line("recording: no clean end of " + file + ", kept as last indexed");
        discard_if_empty();
    }
    if (g_file_test(file.c_str(), G_FILE_TEST_IS_REGULAR) && events.saved)
        events.saved(file);
    set_state(RecorderState::Idle);
    if (auto next = std::exchange(pending_start, std::nullopt))
        owner->start(*next);
}

gboolean ScreenRecorder::Impl::on_finishing(gpointer data) {
    auto* self = static_cast<Impl*>(data);
    ObjectRef<GstBus> bus(gst_element_get_bus(self->pipeline.get()));
    MessagePtr message(gst_bus_pop_filtered(
        bus.get(), static_cast<GstMessageType>(GST_MESSAGE_EOS | GST_MESSAGE_ERROR)));
    if (!message && g_get_monotonic_time() < self->finish_deadline_us)
        return G_SOURCE_CONTINUE;
    self->finish_timer = 0;  // this timer ends by returning G_SOURCE_REMOVE
    self->complete_finish(message && GST_MESSAGE_TYPE(message.get()) == GST_MESSAGE_EOS);
    return G_SOURCE_REMOVE;
}

gboolean ScreenRecorder::Impl::on_watch(gpointer data) {
    auto* self = static_cast<Impl*>(data);
    const std::string error = bus_error(self->pipeline.get());
    if (!error.empty()) {
        self->watch_timer = 0;
        if (self->clicks)
            self->clicks->stop();
        gst_element_set_state(self->pipeline.get(), GST_STATE_NULL);
        self->discard_if_empty();
        self->set_state(RecorderState::Idle);
        self->report(error);
        return G_SOURCE_REMOVE;
    }
    guint64 remaining = G_MAXUINT64;
    g_object_get(self->mux, "reserved-duration-remaining", &remaining, nullptr);
    if (self->state == RecorderState::Recording && remaining < kRolloverMarginNs) {
        // Before the head index is full: finish this movie and go on in a new one.
        self->watch_timer = 0;  // this timer ends by returning G_SOURCE_REMOVE
        log_line("recording: index space nearly full, continuing in a new file");
        self->owner->start(self->area);
        return G_SOURCE_REMOVE;
    }
    return G_SOURCE_CONTINUE;
}

ScreenRecorder::ScreenRecorder(std::string files_dir, std::unique_ptr<ClickWatcher> clicks,
                               RecorderEvents events, RecorderSettings settings)
    : impl_(std::make_unique<Impl>()) {
    impl_->owner = this;
    impl_->files_dir = std::move(files_dir);
    impl_->clicks = std::move(clicks);
    impl_->events = std::move(events);
    impl_->settings = settings;
    impl_->build();
}

ScreenRecorder::~ScreenRecorder() {
    impl_->pending_start.reset();
    finish_now();
    if (impl_->draw_handler)
        g_signal_handler_disconnect(impl_->overlay, impl_->draw_handler);
    impl_->pipeline.reset();
}

bool ScreenRecorder::start(std::optional<PixelRect> area) {
    Impl& r = *impl_;
    if (!r.pipeline) {
        r.report(r.build_error);
        return false;
    }
    if (r.state != RecorderState::Idle) {
        // The pipeline is free again only once this movie is complete.
        if (r.state != RecorderState::Finishing)
            r.begin_finish();
        r.pending_start = area;
        return true;
    }

    auto claimed = create_new_file(r.files_dir, "Recording-" + recording_stamp(local_now()), "mov");
    if (!claimed) {
        r.report(claimed.error());
        return false;
    }
    r.file = *claimed;
    g_object_set(r.sink, "location", r.file.c_str(), nullptr);
    // The watcher thread is stopped here, so `area` can change.
    r.area = area;
    const bool part = area && area->width > 0 && area->height > 0;
    g_object_set(r.source, "startx", part ? static_cast<guint>(area->x) : 0u, "starty",
                 part ? static_cast<guint>(area->y) : 0u, "endx",
                 part ? static_cast<guint>(area->x + area->width - 1) : 0u, "endy",
                 part ? static_cast<guint>(area->y + area->height - 1) : 0u, nullptr);
    if (!part)
        r.area.reset();
    if (gst_element_set_state(r.pipeline.get(), GST_STATE_PLAYING) == GST_STATE_CHANGE_FAILURE) {
        std::string error = bus_error(r.pipeline.get());
        gst_element_set_state(r.pipeline.get(), GST_STATE_NULL);
        g_unlink(r.file.c_str());
        r.report("could not start the screen recording: " +
                 (error.empty() ? std::string("capture failed") : error));
        return false;
    }
    if (r.clicks) {
        std::string error;
        if (!r.clicks->start([&r](int x, int y) { r.on_click(x, y); }, error))
            log_line("recording: clicks not shown: " + error);
    }
    r.watch_timer = g_timeout_add(kWatchIntervalMs, &Impl::on_watch, &r);
    r.set_state(RecorderState::Recording);
    return true;
}

bool ScreenRecorder::stop() {
    Impl& r = *impl_;
    r.pending_start.reset();
    if (r.state == RecorderState::Recording || r.state == RecorderState::Paused)
        r.begin_finish();
    return true;
}

void ScreenRecorder::finish_now() {
    Impl& r = *impl_;
    r.pending_start.reset();
    if (r.state == RecorderState::Idle)
        return;
    if (r.state != RecorderState::Finishing)
        r.begin_finish();
    ObjectRef<GstBus> bus(gst_element_get_bus(r.pipeline.get()));
    const gint64 wait_ns =
        std::max<gint64>(0, r.finish_deadline_us - g_get_monotonic_time()) * 1000;
    MessagePtr message(gst_bus_timed_pop_filtered(
        bus.get(), wait_ns, static_cast<GstMessageType>(GST_MESSAGE_EOS | GST_MESSAGE_ERROR)));
    r.complete_finish(message && GST_MESSAGE_TYPE(message.get()) == GST_MESSAGE_EOS);
}

bool ScreenRecorder::toggle() {
    Impl& r = *impl_;
    switch (r.state) {
        case RecorderState::Recording:
            gst_element_set_state(r.pipeline.get(), GST_STATE_PAUSED);
            r.set_state(RecorderState::Paused);
            return false;
        case RecorderState::Paused:
            gst_element_set_state(r.pipeline.get(), GST_STATE_PLAYING);
            r.set_state(RecorderState::Recording);
            return true;
        case RecorderState::Idle:
        case RecorderState::Finishing:
            return false;
    }
    return false;
}

RecorderState ScreenRecorder::state() const {
    return impl_->state;
}
const std::string& ScreenRecorder::file() const {
    return impl_->file;
}

}  // namespace camvault::media
