// RAII owners for GLib/GObject handles: a ref-counted object pointer, GLib
// handle aliases, and an owned signal connection.
#pragma once

#include <glib-object.h>

#include <utility>

#include "base/handle.hpp"

namespace camvault {

// Owns one reference to a GObject.
template <typename T>
class GObjectPtr {
  public:
    GObjectPtr() = default;
    // Takes over a reference the caller owns (a "transfer full" result).
    explicit GObjectPtr(T* adopted) : object_(adopted) {}
    static GObjectPtr adopt(T* object) { return GObjectPtr(object); }
    // Adds a reference of its own (a "transfer none" result); sinks floating ones.
    static GObjectPtr ref(T* object) {
        return GObjectPtr(object ? static_cast<T*>(g_object_ref_sink(object)) : nullptr);
    }
    GObjectPtr(const GObjectPtr& other) : object_(other.object_) {
        if (object_)
            g_object_ref(object_);
    }
    GObjectPtr(GObjectPtr&& other) noexcept : object_(std::exchange(other.object_, nullptr)) {}
    GObjectPtr& operator=(GObjectPtr other) noexcept {
        std::swap(object_, other.object_);
        return *this;
    }
    ~GObjectPtr() { reset(); }

    T* get() const { return object_; }
    T* operator->() const { return object_; }
    explicit operator bool() const { return object_ != nullptr; }
    // Hands the reference to the caller.
    T* release() { return std::exchange(object_, nullptr); }
    // Drops the reference held and adopts `adopted`.
    void reset(T* adopted = nullptr) {
        if (T* old = std::exchange(object_, adopted))
            g_object_unref(old);
    }

  private:
    T* object_ = nullptr;
};

using GCharPtr = UniqueHandle<gchar, g_free>;
using GErrorPtr = UniqueHandle<GError, g_error_free>;

// A signal connection that disconnects itself; it keeps the instance alive so
// the disconnection is always safe.
class SignalConnection {
  public:
    SignalConnection() = default;
    SignalConnection(gpointer instance, gulong handler_id)
        : instance_(GObjectPtr<GObject>::ref(G_OBJECT(instance))), handler_id_(handler_id) {}
    SignalConnection(SignalConnection&& other) noexcept
        : instance_(std::move(other.instance_)), handler_id_(std::exchange(other.handler_id_, 0)) {}
    SignalConnection& operator=(SignalConnection&& other) noexcept {
        if (this != &other) {
            disconnect();
            instance_ = std::move(other.instance_);
            handler_id_ = std::exchange(other.handler_id_, 0);
        }
        return *this;
    }
    SignalConnection(const SignalConnection&) = delete;
    SignalConnection& operator=(const SignalConnection&) = delete;
    ~SignalConnection() { disconnect(); }

    void disconnect() {
        if (instance_ && handler_id_ != 0 &&
            g_signal_handler_is_connected(instance_.get(), handler_id_)) {
            g_signal_handler_disconnect(instance_.get(), handler_id_);
        }
        handler_id_ = 0;
        instance_.reset();
    }

  private:
    GObjectPtr<GObject> instance_;
    gulong handler_id_ = 0;
};

// Connects `callback` (a C function pointer) with `data` and returns the owned connection.
template <typename Callback>
SignalConnection connect_signal(gpointer instance, const char* signal, Callback callback,
                                gpointer data) {
    return SignalConnection(instance,
                            g_signal_connect(instance, signal, G_CALLBACK(callback), data));
}

}  // namespace camvault
