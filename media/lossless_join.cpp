// The copying join: filesrc ! qtdemux per piece, h264parse / aacparse per
// stream, a pad probe that cuts and retimes each piece, concat per stream,
// qtmux ! filesink.
#include "media/lossless_join.hpp"

#include <atomic>
#include <cstdlib>
#include <mutex>

#include "media/gst_handles.hpp"

namespace camvault::media {
namespace {

constexpr const char* kRefusal = "camvault-copy-refused";
// Output buffers sit this far into a segment that starts here, so that the
// decoding times of a stream with B-frames (earlier than its first
// presentation time) stay representable; qtmux writes running times.
constexpr uint64_t kTimelineShift = GST_SECOND;

bool same_value(const GstStructure* a, const GstStructure* b, const char* field) {
    const GValue* va = gst_structure_get_value(a, field);
    const GValue* vb = gst_structure_get_value(b, field);
    if (!va || !vb)
        return !va && !vb;
    return gst_value_compare(va, vb) == GST_VALUE_EQUAL;
}

struct ClipStreams {
    CapsPtr video;
    CapsPtr audio;
    int width = 0, height = 0, fps_num = 0, fps_den = 1, rate = 0;
    int video_count = 0, audio_count = 0;
};

ClipStreams streams_of(GstDiscovererInfo* info) {
    ClipStreams s;
    GList* videos = gst_discoverer_info_get_video_streams(info);
    s.video_count = static_cast<int>(g_list_length(videos));
    if (videos) {
        auto* video = GST_DISCOVERER_VIDEO_INFO(videos->data);
        s.video.reset(gst_discoverer_stream_info_get_caps(GST_DISCOVERER_STREAM_INFO(video)));
        s.width = static_cast<int>(gst_discoverer_video_info_get_width(video));
        s.height = static_cast<int>(gst_discoverer_video_info_get_height(video));
        s.fps_num = static_cast<int>(gst_discoverer_video_info_get_framerate_num(video));
        s.fps_den = static_cast<int>(gst_discoverer_video_info_get_framerate_denom(video));
    }
    gst_discoverer_stream_info_list_free(videos);
    GList* audios = gst_discoverer_info_get_audio_streams(info);
    s.audio_count = static_cast<int>(g_list_length(audios));
    if (audios) {
        auto* audio = GST_DISCOVERER_AUDIO_INFO(audios->data);
        s.audio.reset(gst_discoverer_stream_info_get_caps(GST_DISCOVERER_STREAM_INFO(audio)));
        s.rate = static_cast<int>(gst_discoverer_audio_info_get_sample_rate(audio));
    }
    gst_discoverer_stream_info_list_free(audios);
    return s;
}

bool is_copyable_h264(const GstStructure* s) {
    return gst_structure_has_name(s, "video/x-h264") &&
           g_strcmp0(gst_structure_get_string(s, "stream-format"), "avc") == 0 &&
           gst_structure_has_field(s, "codec_data");
}

bool is_copyable_aac(const GstStructure* s) {
    int version = 0;
    return gst_structure_has_name(s, "audio/mpeg") &&
           gst_structure_get_int(s, "mpegversion", &version) && version == 4 &&
           gst_structure_has_field(s, "codec_data");
}

}  // namespace

std::optional<CopyFormat> copy_format(const std::vector<GstDiscovererInfo*>& clips) {
    if (clips.empty())
        return std::nullopt;
    std::vector<ClipStreams> all;
    for (auto* info : clips) {
        if (!info)
            return std::nullopt;
        all.push_back(streams_of(info));
    }
    const ClipStreams& first = all.front();
    // One picture and at most one sound per clip: a second track has nowhere to go.
    if (first.video_count != 1 || first.audio_count > 1 || !first.video ||
        gst_caps_get_size(first.video.get()) == 0)
        return std::nullopt;
    const GstStructure* video = gst_caps_get_structure(first.video.get(), 0);
    if (!is_copyable_h264(video) || first.width != kExportWidth || first.height != kExportHeight ||
        first.fps_num <= 0 || first.fps_den <= 0)
        return std::nullopt;
    if (first.audio &&
        (gst_caps_get_size(first.audio.get()) == 0 ||
         !is_copyable_aac(gst_caps_get_structure(first.audio.get(), 0)) || first.rate <= 0))
        return std::nullopt;
    for (const auto& clip : all) {
        if (clip.video_count != 1 || clip.audio_count != first.audio_count || !clip.video ||
            gst_caps_get_size(clip.video.get()) == 0)
            return std::nullopt;
        const GstStructure* v = gst_caps_get_structure(clip.video.get(), 0);
        if (!is_copyable_h264(v) || !same_value(v, video, "codec_data") ||
            clip.width != first.width || clip.height != first.height ||
            clip.fps_num != first.fps_num || clip.fps_den != first.fps_den)
            return std::nullopt;
        if (first.audio && !gst_caps_is_equal(clip.audio.get(), first.audio.get()))
            return std::nullopt;
    }
    return CopyFormat{first.fps_num, first.fps_den, first.audio ? first.rate : 0};
}

// One stream of one piece on its way to concat: what is kept, and where it goes.
struct PieceCut {
    struct Shared* shared = nullptr;
    bool video = true;
    uint64_t inpoint = 0;
    uint64_t length = 0;
    uint64_t offset = 0;
    // Streaming state (the piece's streaming thread only).
    GstSegment segment{};
    bool have_segment = false;
    bool started = false;
    bool passed_end = false;
};

struct Shared {
    uint64_t total = 0;
    uint64_t frame_ns = 0;
    int audio_rate = 0;
    std::atomic<uint64_t> written{0};
    // The sound after concat, one piece after the other (one thread at a time).
    std::optional<AudioJoin> audio;
    std::atomic<bool> refused{false};
};

struct LosslessJoin::State {
    Shared shared;
    std::vector<std::unique_ptr<PieceCut>> cuts;
    // One per piece: the concat pads its streams go to, and what is linked.
    struct Piece {
        State* state = nullptr;
        GstPad* video_sink = nullptr;  // concat's request pads, owned by concat
        GstPad* audio_sink = nullptr;
        PieceCut* video_cut = nullptr;
        PieceCut* audio_cut = nullptr;
        bool video_linked = false;
        bool audio_linked = false;
    };
    std::vector<std::unique_ptr<Piece>> pieces;
    GstElement* bin = nullptr;  // owned by `pipeline`
    Pipeline pipeline;          // last member: stopped before the cuts go
};

namespace {

void refuse(GstPad* pad, Shared* shared, const char* why) {
    if (shared->refused.exchange(true))
        return;
    GstElement* element = gst_pad_get_parent_element(pad);
    if (!element)
        return;
    gst_element_post_message(
        element, gst_message_new_application(
                     GST_OBJECT(element),
                     gst_structure_new(kRefusal, "reason", G_TYPE_STRING, why, nullptr)));
    gst_object_unref(element);
}

// Clip time of a timestamp (the piece's own segment), signed: decoding times
// of B-frames lie before the first presentation time.
std::optional<int64_t> clip_time(const GstSegment& segment, GstClockTime ts) {
    if (!GST_CLOCK_TIME_IS_VALID(ts))
        return std::nullopt;
    guint64 running = 0;
    const int sign = gst_segment_to_running_time_full(&segment, GST_FORMAT_TIME, ts, &running);
    if (sign == 0)
        return std::nullopt;
    return sign > 0 ? static_cast<int64_t>(running) : -static_cast<int64_t>(running);
}

GstPadProbeReturn replace_segment(GstPadProbeInfo* info, PieceCut* cut, GstEvent* event) {
    gst_event_copy_segment(event, &cut->segment);
    cut->have_segment = cut->segment.format == GST_FORMAT_TIME;
    // Every piece announces the same segment; concat passes it on unchanged
    // (adjust-base off) and the timestamps carry the joined timeline.
    GstSegment joined;
    gst_segment_init(&joined, GST_FORMAT_TIME);
    joined.start = kTimelineShift;
    joined.position = kTimelineShift;
    joined.time = 0;
    GstEvent* replacement = gst_event_new_segment(&joined);
    gst_event_set_seqnum(replacement, gst_event_get_seqnum(event));
    gst_event_unref(event);
    GST_PAD_PROBE_INFO_DATA(info) = replacement;
    return GST_PAD_PROBE_OK;
}

GstPadProbeReturn cut_video(GstPad* pad, GstPadProbeInfo* info, PieceCut* cut) {
    Shared* shared = cut->shared;
    GstBuffer* buffer = GST_PAD_PROBE_INFO_BUFFER(info);
    const auto pts = clip_time(cut->segment, GST_BUFFER_PTS(buffer));
    if (!pts)
        return GST_PAD_PROBE_DROP;  // before the clip's start (edited out)
    const int64_t half = static_cast<int64_t>(shared->frame_ns / 2);
    const auto in = static_cast<int64_t>(cut->inpoint);
    const auto out = static_cast<int64_t>(cut->inpoint + cut->length);
    if (*pts + half < in) {
        // A frame shown before the in-point but decoded after it refers
        // to frames before the key frame (an open group of pictures).
        if (cut->started)
            refuse(pad, shared, "a frame after the in-point refers to frames before it");
        return GST_PAD_PROBE_DROP;
    }
    if (*pts + half >= out) {
        cut->passed_end = true;
        return GST_PAD_PROBE_DROP;
    }
    if (cut->passed_end) {
        // Decoded after a dropped frame, shown before the out-point: it may
        // refer to the frame that was dropped.
        refuse(pad, shared, "the out-point falls where frames refer to later ones");
        return GST_PAD_PROBE_DROP;
    }
    if (!cut->started) {
        if (GST_BUFFER_FLAG_IS_SET(buffer, GST_BUFFER_FLAG_DELTA_UNIT) ||
            std::llabs(*pts - in) > half) {
            refuse(pad, shared, "the in-point is not on a key frame");
            return GST_PAD_PROBE_DROP;
        }
        cut->started = true;
    }
    const int64_t base = static_cast<int64_t>(kTimelineShift + cut->offset) - in;
    const auto dts = clip_time(cut->segment, GST_BUFFER_DTS(buffer));
    buffer = gst_buffer_make_writable(buffer);
    GST_BUFFER_PTS(buffer) = static_cast<GstClockTime>(base + *pts);
    GST_BUFFER_DTS(buffer) =
        dts && base + *dts >= 0 ? static_cast<GstClockTime>(base + *dts) : GST_CLOCK_TIME_NONE;
    GST_BUFFER_DURATION(buffer) = shared->frame_ns;
    GST_PAD_PROBE_INFO_DATA(info) = buffer;
    const uint64_t reached = cut->offset + static_cast<uint64_t>(*pts - in) + shared->frame_ns;
    uint64_t seen = shared->written.load();
    while (reached > seen && !shared->written.compare_exchange_weak(seen, reached)) {
    }
    return GST_PAD_PROBE_OK;
}

// The piece's sound: frames more than half inside the piece, at their natural
// export time; `place_audio` lines them up after concat.
GstPadProbeReturn cut_audio(GstPad* pad, GstPadProbeInfo* info, PieceCut* cut) {
    Shared* shared = cut->shared;
    GstBuffer* buffer = GST_PAD_PROBE_INFO_BUFFER(info);
    const auto pts = clip_time(cut->segment, GST_BUFFER_PTS(buffer));
    const auto rate = static_cast<uint64_t>(shared->audio_rate);
    if (GST_BUFFER_DURATION_IS_VALID(buffer)) {
        // Frames of 1024 samples are what the join lines up.
        const uint64_t samples =
            gst_util_uint64_scale_round(GST_BUFFER_DURATION(buffer), rate, GST_SECOND);
        if (samples < 1000 || samples > 1048) {
            refuse(pad, shared, "the sound is not in frames of 1024 samples");
            return GST_PAD_PROBE_DROP;
        }
    }
    // Before the clip's start (the encoder's priming frame), or mostly
    // outside the piece: not kept.
    const auto half = static_cast<int64_t>(gst_util_uint64_scale(512, GST_SECOND, rate));
    const auto in = static_cast<int64_t>(cut->inpoint);
    if (!pts || *pts + half < in || *pts + half > in + static_cast<int64_t>(cut->length))
        return GST_PAD_PROBE_DROP;
    buffer = gst_buffer_make_writable(buffer);
    GST_BUFFER_PTS(buffer) = GST_BUFFER_DTS(buffer) =
        static_cast<GstClockTime>(static_cast<int64_t>(kTimelineShift + cut->offset) - in + *pts);
    GST_PAD_PROBE_INFO_DATA(info) = buffer;
    return GST_PAD_PROBE_OK;
}

// After concat, in the order the pieces play: each frame where the previous
// one ended (see AudioJoin), the segment once more the joined one.
GstPadProbeReturn place_audio(GstPad*, GstPadProbeInfo* info, gpointer data) {
    auto* shared = static_cast<Shared*>(data);
    GstBuffer* buffer = GST_PAD_PROBE_INFO_BUFFER(info);
    if (!GST_BUFFER_PTS_IS_VALID(buffer))
        return GST_PAD_PROBE_DROP;
    const auto natural =
        static_cast<int64_t>(GST_BUFFER_PTS(buffer)) - static_cast<int64_t>(kTimelineShift);
    const auto at = shared->audio->place(natural);
    if (!at)
        return GST_PAD_PROBE_DROP;
    buffer = gst_buffer_make_writable(buffer);
    GST_BUFFER_PTS(buffer) = GST_BUFFER_DTS(buffer) = kTimelineShift + *at;
    GST_BUFFER_DURATION(buffer) = shared->audio->end_ns() - *at;
    GST_PAD_PROBE_INFO_DATA(info) = buffer;
    return GST_PAD_PROBE_OK;
}

GstPadProbeReturn on_piece_data(GstPad* pad, GstPadProbeInfo* info, gpointer data) {
    auto* cut = static_cast<PieceCut*>(data);
    if (cut->shared->refused.load())
        return GST_PAD_PROBE_DROP;  // the owner is switching to encoding
    if (GST_PAD_PROBE_INFO_TYPE(info) & GST_PAD_PROBE_TYPE_EVENT_DOWNSTREAM) {
        GstEvent* event = GST_PAD_PROBE_INFO_EVENT(info);
        if (GST_EVENT_TYPE(event) == GST_EVENT_SEGMENT)
            return replace_segment(info, cut, event);
        return GST_PAD_PROBE_OK;
    }
    if (!cut->have_segment)
        return GST_PAD_PROBE_DROP;
    return cut->video ? cut_video(pad, info, cut) : cut_audio(pad, info, cut);
}

// qtdemux's streams as they appear: the first picture and the first sound,
// each through its parser and the cutting probe to concat.
void on_pad_added(GstElement*, GstPad* pad, gpointer data) {
    auto* piece = static_cast<LosslessJoin::State::Piece*>(data);
    const char* name = GST_PAD_NAME(pad);
    const bool is_video = g_str_has_prefix(name, "video_");
    const bool is_audio = g_str_has_prefix(name, "audio_");
    if ((is_video && piece->video_linked) || (is_audio && piece->audio_linked) ||
        (is_audio && !piece->audio_sink) || (!is_video && !is_audio))
        return;  // an extra track (telemetry, a second sound): not joined
    GstElement* parser = gst_element_factory_make(is_video ? "h264parse" : "aacparse", nullptr);
    if (!parser)
        return;
    gst_bin_add(GST_BIN(piece->state->bin), parser);
    GstPad* parser_sink = gst_element_get_static_pad(parser, "sink");
    GstPad* parser_src = gst_element_get_static_pad(parser, "src");
    gst_pad_add_probe(parser_src,
                      static_cast<GstPadProbeType>(GST_PAD_PROBE_TYPE_BUFFER |
                                                   GST_PAD_PROBE_TYPE_EVENT_DOWNSTREAM),
                      on_piece_data, is_video ? piece->video_cut : piece->audio_cut, nullptr);
    const bool linked = gst_pad_link(pad, parser_sink) == GST_PAD_LINK_OK &&
                        gst_pad_link(parser_src, is_video ? piece->video_sink
                                                          : piece->audio_sink) == GST_PAD_LINK_OK;
    gst_object_unref(parser_sink);
    gst_object_unref(parser_src);
    gst_element_sync_state_with_parent(parser);
    if (linked)
        (is_video ? piece->video_linked : piece->audio_linked) = true;
}

// A clip without the stream its concat waits for would hold the join for ever.
void on_no_more_pads(GstElement* demuxer, gpointer data) {
    auto* piece = static_cast<LosslessJoin::State::Piece*>(data);
    if (!piece->video_linked || (piece->audio_sink && !piece->audio_linked)) {
        GstPad* src = gst_element_get_static_pad(demuxer, "sink");
        refuse(src, &piece->state->shared, "a clip lacks a stream the others have");
        gst_object_unref(src);
    }
}

GstElement* add(GstElement* bin, const char* factory) {
    GstElement* element = gst_element_factory_make(factory, nullptr);
    if (element)
        gst_bin_add(GST_BIN(bin), element);
    return element;
}

}  // namespace

LosslessJoin::LosslessJoin(std::unique_ptr<State> state) : state_(std::move(state)) {}

LosslessJoin::~LosslessJoin() {
    state_->pipeline.reset();
}

GstElement* LosslessJoin::pipeline() const {
    return state_->pipeline.get();
}

double LosslessJoin::progress() const {
    const auto& shared = state_->shared;
    return shared.total ? std::min(1.0, static_cast<double>(shared.written.load()) /
                                            static_cast<double>(shared.total))
                        : 0.0;
}

bool LosslessJoin::is_refusal(GstMessage* message) {
    return GST_MESSAGE_TYPE(message) == GST_MESSAGE_APPLICATION &&
           gst_message_has_name(message, kRefusal);
}

Result<std::unique_ptr<LosslessJoin>> LosslessJoin::create(const std::vector<std::string>& paths,
                                                           const std::vector<PieceSpan>& spans,
                                                           const CopyFormat& format,
                                                           const std::string& temp_path) {
    if (paths.empty() || paths.size() != spans.size() || format.fps_num <= 0)
        return fail("nothing to join");
    auto state = std::make_unique<State>();
    Shared& shared = state->shared;
    shared.frame_ns = gst_util_uint64_scale_int(GST_SECOND, format.fps_den, format.fps_num);
    shared.audio_rate = format.audio_rate;
    shared.total = spans.back().offset + spans.back().length;
    const bool with_audio = format.audio_rate > 0;
    if (with_audio)
        shared.audio.emplace(format.audio_rate);

    state->pipeline = Pipeline(GST_ELEMENT(gst_object_ref_sink(gst_pipeline_new("camvault-copy"))));
    GstElement* bin = state->bin = state->pipeline.get();
    GstElement* mux = add(bin, "qtmux");
    GstElement* sink = add(bin, "filesink");
    GstElement* video_concat = add(bin, "concat");
    GstElement* video_queue = add(bin, "queue");
    GstElement* audio_concat = with_audio ? add(bin, "concat") : nullptr;
    GstElement* audio_queue = with_audio ? add(bin, "queue") : nullptr;
    if (!mux || !sink || !video_concat || !video_queue ||
        (with_audio && (!audio_concat || !audio_queue)))
        return fail("the QuickTime muxer or GStreamer's concat element is missing");
    g_object_set(sink, "location", temp_path.c_str(), nullptr);
    // Several seconds between the joins and the muxer, so that a stream that
    // ends a little early in one clip never holds up the other.
    for (GstElement* queue : {video_queue, audio_queue})
        if (queue)
            g_object_set(queue, "max-size-time", 5 * GST_SECOND, "max-size-buffers", 0u,
                         "max-size-bytes", 0u, nullptr);
    for (GstElement* concat : {video_concat, audio_concat})
        if (concat)
            g_object_set(concat, "adjust-base", FALSE, nullptr);
    bool linked = gst_element_link(video_concat, video_queue) &&
                  gst_element_link_pads(video_queue, "src", mux, "video_%u") &&
                  gst_element_link(mux, sink);
    if (with_audio)
        linked = linked && gst_element_link(audio_concat, audio_queue) &&
                 gst_element_link_pads(audio_queue, "src", mux, "audio_%u");
    if (!linked)
        return fail("the copying pipeline could not be linked");
    if (with_audio) {
        GstPad* joined = gst_element_get_static_pad(audio_concat, "src");
        gst_pad_add_probe(joined, GST_PAD_PROBE_TYPE_BUFFER, place_audio, &shared, nullptr);
        gst_object_unref(joined);
    }

    for (size_t i = 0; i < paths.size(); ++i) {
        auto piece = std::make_unique<State::Piece>();
        piece->state = state.get();
        for (bool video : {true, false}) {
            if (!video && !with_audio)
                continue;
            auto cut = std::make_unique<PieceCut>();
            cut->shared = &shared;
            cut->video = video;
            cut->inpoint = spans[i].inpoint;
            cut->length = spans[i].length;
            cut->offset = spans[i].offset;
            (video ? piece->video_cut : piece->audio_cut) = cut.get();
            state->cuts.push_back(std::move(cut));
        }
        // Requested in order: concat plays its pads in the order they came.
        piece->video_sink = gst_element_request_pad_simple(video_concat, "sink_%u");
        gst_object_unref(piece->video_sink);  // concat keeps it
        if (with_audio) {
            piece->audio_sink = gst_element_request_pad_simple(audio_concat, "sink_%u");
            gst_object_unref(piece->audio_sink);
        }
        GstElement* source = add(bin, "filesrc");
        GstElement* demuxer = add(bin, "qtdemux");
        if (!source || !demuxer || !gst_element_link(source, demuxer))
            return fail("the QuickTime demuxer is missing");
        g_object_set(source, "location", paths[i].c_str(), nullptr);
        g_signal_connect(demuxer, "pad-added", G_CALLBACK(on_pad_added), piece.get());
        g_signal_connect(demuxer, "no-more-pads", G_CALLBACK(on_no_more_pads), piece.get());
        state->pieces.push_back(std::move(piece));
    }
    return std::unique_ptr<LosslessJoin>(new LosslessJoin(std::move(state)));
}

}  // namespace camvault::media
