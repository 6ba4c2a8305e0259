// The application's one window in X11's terms (root-window pixels, origin
// top-left), its monitor, and its resize and close notifications.
#pragma once

#include <gtk/gtk.h>

#include <functional>
#include <vector>

#include "base/glib/gobject_ptr.hpp"
#include "base/rect.hpp"

namespace camvault::platform {

class WindowHost {
  public:
    struct Callbacks {
        std::function<void()> size_changed;  // after every change of the window's size
        std::function<void()> close_requested;
        std::function<void()> focused;  // the user came back to the window
    };

    // The window manager keeps width:height at `aspect` while the user drags.
    WindowHost(const char* title, double aspect, Callbacks callbacks);
    ~WindowHost();
    WindowHost(const WindowHost&) = delete;
    WindowHost& operator=(const WindowHost&) = delete;

    GtkWindow* window() const { return window_.get(); }
    void set_content(GtkWidget* content);
    void show();

    // The window's position (of its frame) and size in root-window pixels.
    PixelRect window_rect() const;
    // Moves and resizes the window; X11 applies it later.
    void set_window_rect(const PixelRect& rect);
    // The monitor that holds the window, whole and without panels.
    PixelRect monitor_area() const;
    PixelRect work_area() const;
    // Rectangle of `widget` in root-window pixels.
    PixelRect widget_area(GtkWidget* widget) const;

  private:
    static gboolean on_configure(GtkWidget*, GdkEventConfigure*, gpointer self);
    static gboolean on_delete(GtkWidget*, GdkEvent*, gpointer self);
    static gboolean on_focus_in(GtkWidget*, GdkEventFocus*, gpointer self);
    PixelRect monitor_geometry(bool usable) const;

    Callbacks callbacks_;
    GObjectPtr<GtkWindow> window_;
    int last_width_ = -1;
    int last_height_ = -1;
    std::vector<SignalConnection> connections_;
};

}  // namespace camvault::platform
