// The video track's length from the segment qtdemux announces for it: its
// stop minus its start is the track's edited duration.
#include "media/track_duration.hpp"

#include <gst/gst.h>

#include "media/gst_handles.hpp"

namespace camvault::media {
namespace {

constexpr GstClockTime kHeaderTimeout = 5 * GST_SECOND;

struct Probe {
    GstElement* pipeline;
    GstElement* sink;
    bool linked = false;
};

void link_first_video(GstElement*, GstPad* pad, gpointer data) {
    auto* probe = static_cast<Probe*>(data);
    if (probe->linked || !g_str_has_prefix(GST_PAD_NAME(pad), "video_"))
        return;
    GstPad* sink_pad = gst_element_get_static_pad(probe->sink, "sink");
    probe->linked = gst_pad_link(pad, sink_pad) == GST_PAD_LINK_OK;
    gst_object_unref(sink_pad);
}

}  // namespace

std::optional<uint64_t> video_track_duration(const std::string& path) {
    ensure_gstreamer();
    Pipeline pipeline(GST_ELEMENT(gst_object_ref_sink(gst_pipeline_new("camvault-track-length"))));
    GstElement* source = gst_element_factory_make("filesrc", nullptr);
    GstElement* demuxer = gst_element_factory_make("qtdemux", nullptr);
    GstElement* sink = gst_element_factory_make("fakesink", nullptr);
    if (!source || !demuxer || !sink) {
        for (GstElement* e : {source, demuxer, sink})
            if (e)
                gst_object_unref(gst_object_ref_sink(e));
        return std::nullopt;
    }
    gst_bin_add_many(GST_BIN(pipeline.get()), source, demuxer, sink, nullptr);
    if (!gst_element_link(source, demuxer))
        return std::nullopt;
    g_object_set(source, "location", path.c_str(), nullptr);
    Probe probe{pipeline.get(), sink};
    g_signal_connect(demuxer, "pad-added", G_CALLBACK(link_first_video), &probe);
    // Prerolled once the first frame reached the sink: its segment is known by then.
    gst_element_set_state(pipeline.get(), GST_STATE_PAUSED);
    GstState state = GST_STATE_NULL;
    const bool prerolled = gst_element_get_state(pipeline.get(), &state, nullptr, kHeaderTimeout) ==
                               GST_STATE_CHANGE_SUCCESS &&
                           state == GST_STATE_PAUSED;
    std::optional<uint64_t> duration;
    if (prerolled && probe.linked) {
        GstPad* sink_pad = gst_element_get_static_pad(sink, "sink");
        GstEvent* event = gst_pad_get_sticky_event(sink_pad, GST_EVENT_SEGMENT, 0);
        gst_object_unref(sink_pad);
        if (event) {
            const GstSegment* segment = nullptr;
            gst_event_parse_segment(event, &segment);
            if (segment->format == GST_FORMAT_TIME && GST_CLOCK_TIME_IS_VALID(segment->stop) &&
                segment->stop > segment->start)
                duration = segment->stop - segment->start;
            gst_event_unref(event);
        }
    }
    pipeline.reset();  // before `probe` goes: the handler may not outlive it
    return duration;
}

}  // namespace camvault::media
