// Owners of the GStreamer handles that are not GObjects (messages, samples,
// caps, structures). Header only: the GStreamer libraries are linked by the
// targets that use them.
#pragma once

#include <gst/gst.h>

#include "base/glib/gobject_ptr.hpp"

namespace camvault {

inline void unref_message(GstMessage* m) {
    gst_message_unref(m);
}
inline void unref_sample(GstSample* s) {
    gst_sample_unref(s);
}
inline void unref_caps(GstCaps* c) {
    gst_caps_unref(c);
}
inline void free_structure(GstStructure* s) {
    gst_structure_free(s);
}

using MessagePtr = UniqueHandle<GstMessage, unref_message>;
using SamplePtr = UniqueHandle<GstSample, unref_sample>;
using CapsPtr = UniqueHandle<GstCaps, unref_caps>;
using StructurePtr = UniqueHandle<GstStructure, free_structure>;

}  // namespace camvault
