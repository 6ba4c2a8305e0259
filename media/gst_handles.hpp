// Owning wrappers for the GLib and GStreamer C handles the media tools hold, so
// that every early return releases what was taken.
#pragma once

#include <glib-object.h>
#include <glib.h>
#include <gst/gst.h>

#include <memory>
#include <string>
#include <utility>

namespace camvault::media {

// A reference-counted GObject (GstElement, GESTimeline, GdkPixbuf, ...).
// Adopts a reference it is given; unref on destruction.
template <typename T>
class ObjectRef {
  public:
    ObjectRef() = default;
    explicit ObjectRef(T* adopted) : ptr_(adopted) {}
    ObjectRef(const ObjectRef&) = delete;
    ObjectRef& operator=(const ObjectRef&) = delete;
    ObjectRef(ObjectRef&& other) noexcept : ptr_(other.release()) {}
    ObjectRef& operator=(ObjectRef&& other) noexcept {
        if (this != &other)
            reset(other.release());
        return *this;
    }
    ~ObjectRef() { reset(); }

    // Takes a new reference to a borrowed object.
    static ObjectRef ref(T* borrowed) {
        if (borrowed)
            g_object_ref(borrowed);
        return ObjectRef(borrowed);
    }

    T* get() const { return ptr_; }
    T* operator->() const { return ptr_; }
    explicit operator bool() const { return ptr_ != nullptr; }
    T* release() { return std::exchange(ptr_, nullptr); }
    void reset(T* adopted = nullptr) {
        if (ptr_)
            g_object_unref(ptr_);
        ptr_ = adopted;
    }

  private:
    T* ptr_ = nullptr;
};

// A move-only handle released by a plain C function.
template <typename T, void (*Release)(T*)>
struct CDeleter {
    void operator()(T* p) const {
        if (p)
            Release(p);
    }
};

inline void free_gchar(gchar* p) {
    g_free(p);
}
inline void free_error(GError* e) {
    g_error_free(e);
}
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

using GCharPtr = std::unique_ptr<gchar, CDeleter<gchar, free_gchar>>;
using ErrorPtr = std::unique_ptr<GError, CDeleter<GError, free_error>>;
using MessagePtr = std::unique_ptr<GstMessage, CDeleter<GstMessage, unref_message>>;
using SamplePtr = std::unique_ptr<GstSample, CDeleter<GstSample, unref_sample>>;
using CapsPtr = std::unique_ptr<GstCaps, CDeleter<GstCaps, unref_caps>>;
using StructurePtr = std::unique_ptr<GstStructure, CDeleter<GstStructure, free_structure>>;

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
