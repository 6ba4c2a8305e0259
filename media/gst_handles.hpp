// Owning wrappers for the GStreamer handles the media tools hold, on top of the
// GLib ones, so that every early return releases what was taken.
#pragma once

#include <glib-object.h>
#include <glib.h>
#include <gst/gst.h>

#include <string>

#include "base/glib/gst_ptr.hpp"

namespace camvault::media {

// A reference-counted GObject (GstElement, GESTimeline, GdkPixbuf, ...).
template <typename T>
using ObjectRef = GObjectPtr<T>;

using ErrorPtr = GErrorPtr;

// A pipeline that is always brought to the NULL state before its last
// reference goes: disposing a running pipeline leaks threads and leaves
// half-written files.
class Pipeline {
  public:
    Pipeline() = default;
    explicit Pipeline(GstElement* adopted) : element_(adopted) {}
    Pipeline(Pipeline&&) noexcept = default;
    Pipeline& operator=(Pipeline&& other) noexcept {
        if (this != &other) {
            stop();
            element_ = std::move(other.element_);
        }
        return *this;
    }
    ~Pipeline() { stop(); }

    GstElement* get() const { return element_.get(); }
    explicit operator bool() const { return static_cast<bool>(element_); }
    void stop() {
        if (element_)
            gst_element_set_state(element_.get(), GST_STATE_NULL);
    }
    void reset() {
        stop();
        element_.reset();
    }

  private:
    ObjectRef<GstElement> element_;
};

// The text of an error, or `fallback` when there is none.
inline std::string error_text(const GError* error, const char* fallback = "(null)") {
    return error && error->message ? std::string(error->message) : std::string(fallback);
}

// Initialises GStreamer once per process (safe from any thread).
void ensure_gstreamer();

}  // namespace camvault::media
