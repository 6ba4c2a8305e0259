// Frame extraction: uridecodebin ! videoflip(auto) ! videoconvert ! appsink,
// prerolled, then an accurate flushing seek, then the prerolled sample.
#include "media/frame_grabber.hpp"

#include <gst/app/gstappsink.h>
#include <gst/video/video.h>

#include <atomic>
#include <cstring>
#include <vector>

#include "media/gst_handles.hpp"

namespace camvault::media {
namespace {

using Clock = std::chrono::steady_clock;

// What the decodebin side found out, posted to the bus from streaming threads.
constexpr const char* kNoVideoMessage = "camvault-no-video";

struct Branch {
    GstElement* entry = nullptr;  // videoflip's sink side
    bool linked = false;
    // The stream names no colour matrix (set from a parser's streaming thread).
    std::atomic<bool> untagged{false};
};

// A stream that does not say which colour matrix it uses is read the way
// ffmpeg and most tools read it, BT.601, whatever its size (GStreamer alone
// would pick BT.709 for HD): snapshots then agree with other tools' frames.
GstPadProbeReturn on_parser_caps(GstPad*, GstPadProbeInfo* info, gpointer data) {
    GstEvent* event = GST_PAD_PROBE_INFO_EVENT(info);
    if (GST_EVENT_TYPE(event) != GST_EVENT_CAPS)
        return GST_PAD_PROBE_OK;
    GstCaps* caps = nullptr;
    gst_event_parse_caps(event, &caps);
    const GstStructure* s = gst_caps_get_structure(caps, 0);
    static_cast<Branch*>(data)->untagged = !gst_structure_has_field(s, "colorimetry");
    return GST_PAD_PROBE_OK;
}

void on_element_added(GstBin*, GstBin*, GstElement* element, gpointer data) {
    GstElementFactory* factory = gst_element_get_factory(element);
    const char* klass =
        factory ? gst_element_factory_get_metadata(factory, GST_ELEMENT_METADATA_KLASS) : nullptr;
    if (!klass || !strstr(klass, "Parser") || !strstr(klass, "Video"))
        return;
    ObjectRef<GstPad> src(gst_element_get_static_pad(element, "src"));
    if (src)
        gst_pad_add_probe(src.get(), GST_PAD_PROBE_TYPE_EVENT_DOWNSTREAM, on_parser_caps, data,
                          nullptr);
}

GstPadProbeReturn on_decoded_caps(GstPad*, GstPadProbeInfo* info, gpointer data) {
    GstEvent* event = GST_PAD_PROBE_INFO_EVENT(info);
    if (GST_EVENT_TYPE(event) != GST_EVENT_CAPS || !static_cast<Branch*>(data)->untagged)
        return GST_PAD_PROBE_OK;
    GstCaps* caps = nullptr;
    gst_event_parse_caps(event, &caps);
    GstVideoInfo video;
    if (!gst_video_info_from_caps(&video, caps) || GST_VIDEO_INFO_IS_RGB(&video) ||
        video.colorimetry.matrix == GST_VIDEO_COLOR_MATRIX_BT601)
        return GST_PAD_PROBE_OK;
    video.colorimetry.matrix = GST_VIDEO_COLOR_MATRIX_BT601;
    CapsPtr changed(gst_video_info_to_caps(&video));
    gst_event_unref(event);
    GST_PAD_PROBE_INFO_DATA(info) = gst_event_new_caps(changed.get());
    return GST_PAD_PROBE_OK;
}

void on_pad_added(GstElement*, GstPad* pad, gpointer data) {
    auto* branch = static_cast<Branch*>(data);
    if (branch->linked)
        return;
    CapsPtr caps(gst_pad_get_current_caps(pad));
    if (!caps)
        caps.reset(gst_pad_query_caps(pad, nullptr));
    const GstStructure* s = caps ? gst_caps_get_structure(caps.get(), 0) : nullptr;
    if (!s || !g_str_has_prefix(gst_structure_get_name(s), "video/"))
        return;
    ObjectRef<GstPad> sink(gst_element_get_static_pad(branch->entry, "sink"));
    if (gst_pad_link(pad, sink.get()) == GST_PAD_LINK_OK)
        branch->linked = true;
}

void on_no_more_pads(GstElement* decodebin, gpointer data) {
    auto* branch = static_cast<Branch*>(data);
    if (branch->linked)
        return;
    // Without a video stream preroll would wait forever: say so on the bus.
    gst_element_post_message(decodebin,
                             gst_message_new_application(GST_OBJECT(decodebin),
                                                         gst_structure_new_empty(kNoVideoMessage)));
}

// Waits for the pipeline to settle after a state change or seek. Returns an
// empty text on success, else why there will be no frame.
std::string wait_settled(GstElement* pipeline, Clock::time_point deadline, bool& eos) {
    ObjectRef<GstBus> bus(gst_element_get_bus(pipeline));
    const auto types = static_cast<GstMessageType>(GST_MESSAGE_ASYNC_DONE | GST_MESSAGE_ERROR |
                                                   GST_MESSAGE_EOS | GST_MESSAGE_APPLICATION);
    while (true) {
        const auto now = Clock::now();
        if (now >= deadline)
            return "timed out waiting for a frame";
        const auto left =
            std::chrono::duration_cast<std::chrono::nanoseconds>(deadline - now).count();
        MessagePtr message(gst_bus_timed_pop_filtered(bus.get(), left, types));
        if (!message)
            return "timed out waiting for a frame";
        switch (GST_MESSAGE_TYPE(message.get())) {
            case GST_MESSAGE_ASYNC_DONE:
                return {};
            case GST_MESSAGE_EOS:
                eos = true;
                return "no frame at that time (past the end of the movie)";
            case GST_MESSAGE_ERROR: {
                GError* raw = nullptr;
                gst_message_parse_error(message.get(), &raw, nullptr);
                ErrorPtr error(raw);
                return error_text(error.get(), "unknown GStreamer error");
            }
            case GST_MESSAGE_APPLICATION:
                if (gst_message_has_name(message.get(), kNoVideoMessage))
                    return "the file holds no video stream";
                break;
            default:
                break;
        }
    }
}

std::optional<RgbImage> image_from_sample(GstSample* sample) {
    GstVideoInfo info;
    if (!gst_video_info_from_caps(&info, gst_sample_get_caps(sample)))
        return std::nullopt;
    GstBuffer* buffer = gst_sample_get_buffer(sample);
    GstVideoFrame frame;
    if (!buffer || !gst_video_frame_map(&frame, &info, buffer, GST_MAP_READ))
        return std::nullopt;
    RgbImage image;
    image.width = GST_VIDEO_INFO_WIDTH(&info);
    image.height = GST_VIDEO_INFO_HEIGHT(&info);
    image.channels = 3;
    image.stride = image.width * 3;
    image.pixels.resize(static_cast<size_t>(image.stride) * image.height);
    const auto* src = static_cast<const uint8_t*>(GST_VIDEO_FRAME_PLANE_DATA(&frame, 0));
    const int src_stride = GST_VIDEO_FRAME_PLANE_STRIDE(&frame, 0);
    for (int row = 0; row < image.height; ++row)
        std::memcpy(image.pixels.data() + static_cast<size_t>(row) * image.stride,
                    src + static_cast<size_t>(row) * src_stride, image.stride);
    gst_video_frame_unmap(&frame);
    return image;
}

GstElement* make(const char* factory) {
    return gst_element_factory_make(factory, nullptr);
}

}  // namespace

Result<RgbImage> grab_frame(const std::string& uri, int64_t position_ns,
                            std::chrono::milliseconds limit) {
    ensure_gstreamer();
    const auto deadline = Clock::now() + limit;
    if (!gst_uri_is_valid(uri.c_str()))
        return fail("not a URL: " + uri);
    if (position_ns < 0)
        return fail("no frame at that time (before the start of the movie)");

    Pipeline pipeline(GST_ELEMENT(gst_object_ref_sink(gst_pipeline_new("camvault-frame"))));
    GstElement* source = make("uridecodebin");
    GstElement* flip = make("videoflip");
    GstElement* convert = make("videoconvert");
    GstElement* sink = make("appsink");
    if (!source || !flip || !convert || !sink) {
        for (GstElement* e : {source, flip, convert, sink})
            if (e)
                gst_object_unref(gst_object_ref_sink(e));
        return fail("GStreamer elements missing (uridecodebin, videoflip, videoconvert, appsink)");
    }
    gst_bin_add_many(GST_BIN(pipeline.get()), source, flip, convert, sink, nullptr);
    CapsPtr video_only(gst_caps_new_empty_simple("video/x-raw"));
    g_object_set(source, "uri", uri.c_str(), "caps", video_only.get(), nullptr);
    // Turn the picture as the movie's orientation tag asks.
    gst_util_set_object_arg(G_OBJECT(flip), "video-direction", "auto");
    CapsPtr rgb(gst_caps_new_simple("video/x-raw", "format", G_TYPE_STRING, "RGB", nullptr));
    g_object_set(sink, "caps", rgb.get(), "sync", FALSE, "max-buffers", 1u, nullptr);
    gst_element_link_many(flip, convert, sink, nullptr);

    Branch branch;
    branch.entry = flip;
    // Declared after `branch`, so they are disconnected before it goes.
    std::vector<SignalConnection> handlers;
    handlers.push_back(
        connect_signal(pipeline.get(), "deep-element-added", on_element_added, &branch));
    {
        ObjectRef<GstPad> flip_sink(gst_element_get_static_pad(flip, "sink"));
        gst_pad_add_probe(flip_sink.get(), GST_PAD_PROBE_TYPE_EVENT_DOWNSTREAM, on_decoded_caps,
                          &branch, nullptr);
    }
    // The handlers only touch `branch`, which outlives the pipeline's streaming
    // (the pipeline is set to NULL by its owner before this frame unwinds).
    handlers.push_back(connect_signal(source, "pad-added", on_pad_added, &branch));
    handlers.push_back(connect_signal(source, "no-more-pads", on_no_more_pads, &branch));

    bool eos = false;
    if (gst_element_set_state(pipeline.get(), GST_STATE_PAUSED) == GST_STATE_CHANGE_FAILURE) {
        // The bus carries the reason (file missing, not readable, ...).
        std::string error =
            wait_settled(pipeline.get(), Clock::now() + std::chrono::milliseconds(200), eos);
        pipeline.reset();
        return fail(error.empty() ? "could not open " + uri : error);
    }
    std::string error = wait_settled(pipeline.get(), deadline, eos);
    if (error.empty()) {
        gint64 duration = -1;
        if (gst_element_query_duration(pipeline.get(), GST_FORMAT_TIME, &duration) &&
            duration >= 0 && position_ns >= duration) {
            error = "no frame at that time (past the end of the movie)";
        } else if (!gst_element_seek_simple(
                       pipeline.get(), GST_FORMAT_TIME,
                       static_cast<GstSeekFlags>(GST_SEEK_FLAG_FLUSH | GST_SEEK_FLAG_ACCURATE),
                       position_ns)) {
            error = "the movie cannot seek to that time";
        } else {
            error = wait_settled(pipeline.get(), deadline, eos);
        }
    }
    std::optional<RgbImage> image;
    if (error.empty()) {
        SamplePtr sample(gst_app_sink_try_pull_preroll(GST_APP_SINK(sink), 0));
        if (sample)
            image = image_from_sample(sample.get());
    }
    pipeline.reset();
    if (image)
        return std::move(*image);
    return fail(error.empty() ? "no frame at that time (past the end of the movie)" : error);
}

}  // namespace camvault::media
