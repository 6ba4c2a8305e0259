// Merge export: clips discovered through GES assets, then either the copying
// join (lossless_join) or a GES timeline with one layer of pieces rendered by
// a GESPipeline through an encoding profile. A copy that finds a cut it
// cannot make falls back to encoding.
#include "media/merge_export.hpp"

#include <ges/ges.h>
#include <glib/gstdio.h>
#include <gst/pbutils/pbutils.h>

#include <mutex>
#include <optional>

#include "base/fs/files.hpp"
#include "base/fs/temporary.hpp"
#include "base/fs/unique_names.hpp"
#include "media/file_names.hpp"
#include "media/gst_handles.hpp"
#include "media/lossless_join.hpp"
#include "media/merge_plan.hpp"
#include "media/track_duration.hpp"

namespace camvault::media {
namespace {

constexpr guint kProgressIntervalMs = 250;

struct ClipInfo {
    ObjectRef<GESAsset> asset;
    GstDiscovererInfo* info = nullptr;  // owned by the asset
    ClipTiming timing;
};

// What the export needs of a discovered clip; nullopt when it is not a
// readable movie.
std::optional<ClipInfo> clip_info_from_asset(ObjectRef<GESAsset> asset) {
    if (!asset || !GES_IS_URI_CLIP_ASSET(asset.get()))
        return std::nullopt;
    ClipInfo clip;
    clip.asset = std::move(asset);
    GstDiscovererInfo* info = ges_uri_clip_asset_get_info(GES_URI_CLIP_ASSET(clip.asset.get()));
    if (!info)
        return std::nullopt;
    clip.info = info;
    clip.timing.duration_ns = gst_discoverer_info_get_duration(info);
    GList* videos = gst_discoverer_info_get_video_streams(info);
    if (videos) {
        auto* video = GST_DISCOVERER_VIDEO_INFO(videos->data);
        clip.timing.fps_num = static_cast<int>(gst_discoverer_video_info_get_framerate_num(video));
        clip.timing.fps_den =
            static_cast<int>(gst_discoverer_video_info_get_framerate_denom(video));
    }
    gst_discoverer_stream_info_list_free(videos);
    if (clip.timing.duration_ns == 0 || clip.timing.duration_ns == GST_CLOCK_TIME_NONE)
        return std::nullopt;
    return clip;
}

GstCaps* caps_from(const char* text) {
    return gst_caps_from_string(text);
}

// QuickTime movie with H.264 (x264 only: its presets are what we tune) and AAC.
GstEncodingProfile* make_profile() {
    CapsPtr container_caps(caps_from("video/quicktime,variant=apple"));
    GstEncodingContainerProfile* container = gst_encoding_container_profile_new(
        "camvault-export", nullptr, container_caps.get(), nullptr);
    CapsPtr video_caps(caps_from("video/x-h264"));
    GstEncodingVideoProfile* video =
        gst_encoding_video_profile_new(video_caps.get(), nullptr, nullptr, 0);
    gst_encoding_profile_set_preset_name(GST_ENCODING_PROFILE(video), "x264enc");
    gst_encoding_container_profile_add_profile(container, GST_ENCODING_PROFILE(video));
    CapsPtr audio_caps(caps_from("audio/mpeg,mpegversion=4"));
    GstEncodingAudioProfile* audio =
        gst_encoding_audio_profile_new(audio_caps.get(), nullptr, nullptr, 0);
    gst_encoding_container_profile_add_profile(container, GST_ENCODING_PROFILE(audio));
    return GST_ENCODING_PROFILE(container);
}

void tune_encoder(GstBin*, GstBin*, GstElement* element, gpointer) {
    GstElementFactory* factory = gst_element_get_factory(element);
    if (!factory || g_strcmp0(gst_plugin_feature_get_name(factory), "x264enc") != 0)
        return;
    gst_util_set_object_arg(G_OBJECT(element), "speed-preset", kExportSpeedPreset);
    g_object_set(element, "bitrate", kExportBitrateKbps, nullptr);
}

}  // namespace

void ensure_ges() {
    ensure_gstreamer();
    static std::once_flag once;
    std::call_once(once, [] { ges_init(); });
}

struct MergeExport::Impl {
    std::string output_dir;
    std::string stem;
    std::string temp_path;
    ExportCallbacks callbacks;
    ExportOptions options;
    ObjectRef<GESTimeline> timeline;
    Pipeline pipeline;
    std::unique_ptr<LosslessJoin> join;  // the copy, while it runs
    ExportMode mode = ExportMode::reencoded;
    std::vector<PieceSpan> spans;
    GstClockTime total = 0;
    double reported = 0;
    guint bus_watch = 0;
    guint progress_timer = 0;
    guint failure_idle = 0;
    std::string start_error;
    bool running = false;
    // Discovery: one slot per piece, filled as GES answers, in list order.
    std::vector<ExportPiece> pieces;
    std::vector<std::string> paths;
    std::vector<std::optional<ClipInfo>> clips;
    size_t pending = 0;
    ObjectRef<GCancellable> cancel;
    Message failure;  // why the export could not start, for the user

    // One clip's discovery, in flight. Holds its own reference to the
    // cancellable: once that is cancelled the export may be gone.
    struct AssetRequest {
        Impl* impl;
        size_t index;
        ObjectRef<GCancellable> cancel;
    };
    static void on_asset_ready(GObject*, GAsyncResult* result, gpointer data);

    // Off the main thread: which clips are no regular files (a pipe or a
    // device would hold discovery for ever; a card may be slow to answer),
    // and, when all are files, how long each one's picture lasts.
    struct FileCheck {
        std::vector<std::string> bad;
        std::vector<std::optional<uint64_t>> video_durations;
    };
    std::vector<std::optional<uint64_t>> video_durations;
    void check_files();
    static void on_files_checked(GObject*, GAsyncResult* result, gpointer data);
    void request_assets();
    void asset_arrived(size_t index, ObjectRef<GESAsset> asset);
    void all_discovered();
    bool start_copy(const CopyFormat& format);
    bool build();
    bool add_captions(GESLayer* layer);
    bool watch(GstElement* element);
    void fall_back_to_encoding();
    void stop_sources() {
        if (bus_watch)
            g_source_remove(bus_watch);
        if (progress_timer)
            g_source_remove(progress_timer);
        if (failure_idle)
            g_source_remove(failure_idle);
        bus_watch = progress_timer = failure_idle = 0;
    }
    // Stops the pipeline and the sources; the temp file goes unless published.
    void finish_pipeline() {
        stop_sources();
        join.reset();
        pipeline.reset();
        timeline.reset();
        running = false;
    }
    void report_failure_later(Message error);
    static gboolean on_bus(GstBus*, GstMessage* message, gpointer data);
    static gboolean on_progress(gpointer data);
};

void MergeExport::Impl::on_asset_ready(GObject*, GAsyncResult* result, gpointer data) {
    std::unique_ptr<AssetRequest> request(static_cast<AssetRequest*>(data));
    GError* raw = nullptr;
    ObjectRef<GESAsset> asset(ges_asset_request_finish(result, &raw));
    ErrorPtr error(raw);
    if (g_cancellable_is_cancelled(request->cancel.get()))
        return;  // the export is gone
    request->impl->asset_arrived(request->index, std::move(asset));
}

// The clips that cannot be read, one per line, for the user.
Message unreadable_clips(const std::vector<std::string>& bad) {
    std::string list;
    for (const auto& path : bad)
        list += (list.empty() ? "" : "\n") + path;
    return fail("export_missing_clips", {{"clips", list}},
                "These clips cannot be read, so nothing was exported: " + list);
}

void MergeExport::Impl::check_files() {
    cancel.reset(g_cancellable_new());
    GTask* task = g_task_new(nullptr, cancel.get(), &Impl::on_files_checked,
                             new AssetRequest{this, 0, ObjectRef<GCancellable>::ref(cancel.get())});
    g_task_set_task_data(task, new std::vector<std::string>(paths), [](gpointer data) {
        delete static_cast<std::vector<std::string>*>(data);
    });
    g_task_run_in_thread(task, [](GTask* t, gpointer, gpointer data, GCancellable* cancel) {
        auto* check = new FileCheck;
        const auto& all = *static_cast<std::vector<std::string>*>(data);
        for (const auto& path : all)
            if (!is_regular_file(path))
                check->bad.push_back(path);
        for (size_t i = 0; i < all.size() && check->bad.empty(); ++i)
            check->video_durations.push_back(
                g_cancellable_is_cancelled(cancel) ? std::nullopt : video_track_duration(all[i]));
        g_task_return_pointer(t, check, [](gpointer p) { delete static_cast<FileCheck*>(p); });
    });
    g_object_unref(task);
}

void MergeExport::Impl::on_files_checked(GObject*, GAsyncResult* result, gpointer data) {
    std::unique_ptr<AssetRequest> request(static_cast<AssetRequest*>(data));
    std::unique_ptr<FileCheck> check(
        static_cast<FileCheck*>(g_task_propagate_pointer(G_TASK(result), nullptr)));
    if (g_cancellable_is_cancelled(request->cancel.get()))
        return;  // the export is gone
    if (check && !check->bad.empty()) {
        request->impl->report_failure_later(unreadable_clips(check->bad));
        return;
    }
    if (check)
        request->impl->video_durations = std::move(check->video_durations);
    request->impl->request_assets();
}

void MergeExport::Impl::request_assets() {
    clips.resize(paths.size());
    pending = paths.size();
    for (size_t i = 0; i < paths.size(); ++i) {
        GError* raw = nullptr;
        GCharPtr uri(gst_filename_to_uri(paths[i].c_str(), &raw));
        ErrorPtr uri_error(raw);
        if (!uri) {
            --pending;
            continue;
        }
        // The file may have changed since an earlier export cached what GES
        // knew of it (cameras reuse clip names from card to card).
        ges_asset_needs_reload(GES_TYPE_URI_CLIP, uri.get());
        ges_asset_request_async(
            GES_TYPE_URI_CLIP, uri.get(), cancel.get(), on_asset_ready,
            new AssetRequest{this, i, ObjectRef<GCancellable>::ref(cancel.get())});
    }
    if (pending == 0)
        all_discovered();
}

void MergeExport::Impl::asset_arrived(size_t index, ObjectRef<GESAsset> asset) {
    clips[index] = clip_info_from_asset(std::move(asset));
    // The picture's own length where it is known: the container's may be the sound's.
    if (clips[index] && index < video_durations.size() && video_durations[index])
        clips[index]->timing.duration_ns = *video_durations[index];
    if (--pending == 0)
        all_discovered();
}

void MergeExport::Impl::all_discovered() {
    // Every clip asked for, or nothing: a movie with holes in it is no merge.
    std::vector<std::string> bad;
    for (size_t i = 0; i < paths.size(); ++i)
        if (!clips[i])
            bad.push_back(paths[i]);
    if (!bad.empty()) {
        report_failure_later(unreadable_clips(bad));
        return;
    }
    std::vector<ClipTiming> timings;
    std::vector<GstDiscovererInfo*> infos;
    for (const auto& clip : clips) {
        timings.push_back(clip->timing);
        infos.push_back(clip->info);
    }
    auto planned = plan_spans(pieces, timings);
    if (!planned) {
        report_failure_later(fail("export_empty_piece", {},
                                  "A part of the export holds no frame (its end is not after "
                                  "its start, or it starts after the clip ends)."));
        return;
    }
    spans = std::move(*planned);
    total = spans.back().offset + spans.back().length;
    const bool may_copy = options.copy_when_possible && options.captions.empty();
    if (const auto format = may_copy ? copy_format(infos) : std::nullopt;
        format && start_copy(*format))
        return;
    if (!build()) {
        stop_sources();
        report_failure_later(
            fail("export_failed", {{"error", start_error}}, "The export failed: " + start_error));
    }
}

// The streams as recorded, when every clip shares them; false when the copy
// cannot even be set up (the caller encodes instead).
bool MergeExport::Impl::start_copy(const CopyFormat& format) {
    temp_path = temporary_path_in(output_dir);
    auto created = LosslessJoin::create(paths, spans, format, temp_path);
    if (!created)
        return false;
    join = std::move(*created);
    mode = ExportMode::lossless;
    if (!watch(join->pipeline())) {
        finish_pipeline();
        running = true;
        g_unlink(temp_path.c_str());
        return false;
    }
    return true;
}

// Bus watch, PLAYING, progress timer. False when the pipeline refuses to start.
bool MergeExport::Impl::watch(GstElement* element) {
    ObjectRef<GstBus> bus(gst_element_get_bus(element));
    bus_watch = gst_bus_add_watch(bus.get(), &Impl::on_bus, this);
    if (gst_element_set_state(element, GST_STATE_PLAYING) == GST_STATE_CHANGE_FAILURE)
        return false;
    if (!progress_timer)
        progress_timer = g_timeout_add(kProgressIntervalMs, &Impl::on_progress, this);
    return true;
}

// The copy found a cut it cannot make (or failed): the same pieces, encoded.
void MergeExport::Impl::fall_back_to_encoding() {
    finish_pipeline();
    running = true;
    g_unlink(temp_path.c_str());
    mode = ExportMode::reencoded;
    if (!build()) {
        stop_sources();
        report_failure_later(
            fail("export_failed", {{"error", start_error}}, "The export failed: " + start_error));
    }
}

// Each caption as a text overlay over its stretch of its piece, at the
// bottom of the picture, white with a dark outline so it reads over any road.
// The overlay scales its font with the picture (9 points read as about 30
// pixels at 1920 wide): one line, clear of the image's centre.
bool MergeExport::Impl::add_captions(GESLayer* layer) {
    for (const auto& caption : options.captions) {
        if (caption.piece >= spans.size() || caption.at_ns >= spans[caption.piece].length)
            continue;
        const auto& span = spans[caption.piece];
        const uint64_t duration = std::min(caption.duration_ns, span.length - caption.at_ns);
        GESTextOverlayClip* text = ges_text_overlay_clip_new();
        if (!text)
            return false;
        ges_text_overlay_clip_set_text(text, caption.text.c_str());
        ges_text_overlay_clip_set_font_desc(text, "Sans Bold 9");
        ges_text_overlay_clip_set_valign(text, GES_TEXT_VALIGN_BOTTOM);
        ges_text_overlay_clip_set_halign(text, GES_TEXT_HALIGN_CENTER);
        ges_timeline_element_set_start(GES_TIMELINE_ELEMENT(text), span.offset + caption.at_ns);
        ges_timeline_element_set_duration(GES_TIMELINE_ELEMENT(text), duration);
        if (!ges_layer_add_clip(layer, GES_CLIP(text)))  // takes the floating reference
            return false;
    }
    return true;
}

bool MergeExport::Impl::build() {
    timeline.reset(ges_timeline_new_audio_video());
    // The captions' layer goes first: the first layer is the top one.
    GESLayer* captions =
        options.captions.empty() ? nullptr : ges_timeline_append_layer(timeline.get());
    GESLayer* layer = ges_timeline_append_layer(timeline.get());  // owned by the timeline
    int fps_num = 0, fps_den = 1;
    for (size_t i = 0; i < clips.size(); ++i) {
        const ClipInfo& clip = *clips[i];
        if (fps_num == 0 && clip.timing.fps_num > 0) {
            fps_num = clip.timing.fps_num;
            fps_den = clip.timing.fps_den;
        }
        if (!ges_layer_add_asset(layer, clip.asset.get(), spans[i].offset, spans[i].inpoint,
                                 spans[i].length, GES_TRACK_TYPE_UNKNOWN)) {
            start_error = "a clip could not be placed on the export timeline";
            return false;
        }
    }
    if (fps_num == 0)
        fps_num = 30, fps_den = 1;
    if (captions && !add_captions(captions)) {
        start_error = "the captions could not be placed on the export timeline";
        return false;
    }

    GList* tracks = ges_timeline_get_tracks(timeline.get());
    for (GList* it = tracks; it; it = it->next) {
        GESTrack* track = GES_TRACK(it->data);
        // One layer, clips end to end: nothing to blend, so no mixer (a
        // compositor would blend every 1080p frame over a background), and
        // I420 throughout as the encoder wants it. The scaler adds the bars
        // that keep each clip's aspect.
        ges_track_set_mixing(track, FALSE);
        CapsPtr restriction(
            track->type == GES_TRACK_TYPE_VIDEO
                ? gst_caps_new_simple("video/x-raw", "format", G_TYPE_STRING, "I420", "width",
                                      G_TYPE_INT, kExportWidth, "height", G_TYPE_INT, kExportHeight,
                                      "framerate", GST_TYPE_FRACTION, fps_num, fps_den,
                                      "pixel-aspect-ratio", GST_TYPE_FRACTION, 1, 1, nullptr)
                : gst_caps_new_simple("audio/x-raw", "rate", G_TYPE_INT, 48000, "channels",
                                      G_TYPE_INT, 2, nullptr));
        ges_track_set_restriction_caps(track, restriction.get());
    }
    g_list_free_full(tracks, gst_object_unref);
    ges_timeline_commit_sync(timeline.get());

    GESPipeline* ges_pipeline = ges_pipeline_new();
    pipeline = Pipeline(GST_ELEMENT(gst_object_ref_sink(ges_pipeline)));
    if (!ges_pipeline_set_timeline(ges_pipeline, GES_TIMELINE(g_object_ref(timeline.get())))) {
        start_error = "the export timeline could not be set up";
        return false;
    }
    temp_path = temporary_path_in(output_dir);
    GError* raw = nullptr;
    GCharPtr temp_uri(gst_filename_to_uri(temp_path.c_str(), &raw));
    ErrorPtr uri_error(raw);
    ObjectRef<GstEncodingProfile> profile(make_profile());
    // Before the render settings: they create the encoders.
    g_signal_connect(ges_pipeline, "deep-element-added", G_CALLBACK(tune_encoder), nullptr);
    if (!temp_uri ||
        !ges_pipeline_set_render_settings(ges_pipeline, temp_uri.get(), profile.get()) ||
        !ges_pipeline_set_mode(ges_pipeline, GES_PIPELINE_MODE_RENDER)) {
        start_error = "the export could not be set up (H.264, AAC or QuickTime encoder missing)";
        return false;
    }

    // A refusal to start: the bus carries the reason; on_bus reports it.
    watch(pipeline.get());
    return true;
}

void MergeExport::Impl::report_failure_later(Message error) {
    failure = std::move(error);
    failure_idle = g_idle_add(
        [](gpointer data) -> gboolean {
            auto* self = static_cast<Impl*>(data);
            self->failure_idle = 0;
            self->finish_pipeline();
            g_unlink(self->temp_path.c_str());
            ExportOutcome outcome = self->failure;
            // Last use of `self`: the callback may destroy this export.
            auto finished = self->callbacks.finished;
            if (finished)
                finished(outcome);
            return G_SOURCE_REMOVE;
        },
        this);
}

gboolean MergeExport::Impl::on_bus(GstBus*, GstMessage* message, gpointer data) {
    auto* self = static_cast<Impl*>(data);
    ExportOutcome outcome = fail("the export failed");
    const bool copying = static_cast<bool>(self->join);
    if (copying &&
        (LosslessJoin::is_refusal(message) || GST_MESSAGE_TYPE(message) == GST_MESSAGE_ERROR)) {
        self->bus_watch = 0;  // this watch ends by returning G_SOURCE_REMOVE
        self->fall_back_to_encoding();
        return G_SOURCE_REMOVE;
    }
    switch (GST_MESSAGE_TYPE(message)) {
        case GST_MESSAGE_EOS: {
            self->bus_watch = 0;  // this watch ends by returning G_SOURCE_REMOVE
            self->finish_pipeline();
            auto published = self->callbacks.leave_unpublished
                                 ? Result<std::string>(self->temp_path)
                                 : publish_without_overwrite(self->temp_path, self->output_dir,
                                                             self->stem, "mov");
            outcome = published ? ExportOutcome(ExportResult{*published, self->mode})
                                : ExportOutcome(published.failure());
            break;
        }
        case GST_MESSAGE_ERROR: {
            GError* raw = nullptr;
            gst_message_parse_error(message, &raw, nullptr);
            ErrorPtr error(raw);
            self->bus_watch = 0;
            self->finish_pipeline();
            outcome = fail(error_text(error.get(), "the export failed"));
            break;
        }
        default:
            return G_SOURCE_CONTINUE;
    }
    if (!outcome)
        g_unlink(self->temp_path.c_str());
    // Last use of `self`: the callback may destroy this export.
    auto finished = self->callbacks.finished;
    if (finished)
        finished(outcome);
    return G_SOURCE_REMOVE;
}

gboolean MergeExport::Impl::on_progress(gpointer data) {
    auto* self = static_cast<Impl*>(data);
    gint64 position = 0;
    double fraction = -1;
    if (self->join)
        fraction = self->join->progress();
    else if (self->pipeline &&
             gst_element_query_position(self->pipeline.get(), GST_FORMAT_TIME, &position) &&
             position >= 0 && self->total > 0)
        fraction = std::min(1.0, static_cast<double>(position) / self->total);
    if (fraction >= 0 && self->callbacks.progress) {
        // Position queries answer from different streams, and a copy that
        // falls back to encoding starts again: the bar only moves forwards.
        if (fraction <= self->reported)
            return G_SOURCE_CONTINUE;
        self->reported = fraction;
        self->callbacks.progress(fraction);
    }
    return G_SOURCE_CONTINUE;
}

namespace {

std::vector<ExportPiece> whole_clips(const std::vector<std::string>& paths) {
    std::vector<ExportPiece> pieces;
    for (const auto& path : paths)
        pieces.push_back(ExportPiece{path, 0, std::nullopt});
    return pieces;
}

}  // namespace

MergeExport::MergeExport(const std::vector<std::string>& clip_paths, std::string output_dir,
                         std::string stem, ExportCallbacks callbacks)
    : MergeExport(whole_clips(clip_paths), std::move(output_dir), std::move(stem),
                  std::move(callbacks)) {}

MergeExport::MergeExport(std::vector<ExportPiece> pieces, std::string output_dir, std::string stem,
                         ExportCallbacks callbacks, ExportOptions options)
    : impl_(std::make_unique<Impl>()) {
    impl_->options = options;
    ensure_ges();
    impl_->output_dir = std::move(output_dir);
    impl_->stem = std::move(stem);
    impl_->callbacks = std::move(callbacks);
    impl_->running = true;
    // Clips are checked and discovered in the background: a long list, a slow
    // card or a pipe named like a clip never holds up the window.
    for (const auto& piece : pieces)
        impl_->paths.push_back(piece.path);
    impl_->pieces = std::move(pieces);
    impl_->check_files();
}

MergeExport::~MergeExport() {
    if (impl_->cancel)
        g_cancellable_cancel(impl_->cancel.get());
    const bool abandoned = impl_->running;
    impl_->finish_pipeline();
    if (abandoned && !impl_->temp_path.empty())
        g_unlink(impl_->temp_path.c_str());
}

bool MergeExport::running() const {
    return impl_->running;
}

}  // namespace camvault::media
