// The application's one window: its frame in screen points with the origin at
// the bottom-left corner of the screen (the geometry's convention), the
// screen's height, and its resize and close notifications.
#pragma once

#include <gtk/gtk.h>

#include <functional>
#include <vector>

#include "app/geometry.hpp"
#include "platform/gobject_ptr.hpp"

namespace camvault {

class WindowHost {
  public:
    struct Callbacks {
        std::function<void()> size_changed;  // after every change of the window's size
        std::function<void()> close_requested;
    };

    WindowHost(const char* title, Callbacks callbacks);
    ~WindowHost();
    WindowHost(const WindowHost&) = delete;
    WindowHost& operator=(const WindowHost&) = delete;

    GtkWindow* window() const { return window_.get(); }
    void set_content(GtkWidget* content);
    void show();

    Frame frame() const;
    // Applies position and size; the size is rounded to whole pixels.
    void set_frame(const Frame& frame);
    // Height of the screen that holds the window, the whole of it.
    double screen_height() const;
    // Top edge of the screen's usable area (below panels), in points from the top.
    double usable_area_top() const;
    // Rectangle of `widget` in root-window pixels.
    struct Area {
        int x = 0, y = 0, width = 0, height = 0;
    };
    Area widget_area(GtkWidget* widget) const;

  private:
    static gboolean on_configure(GtkWidget*, GdkEventConfigure*, gpointer self);
    static gboolean on_delete(GtkWidget*, GdkEvent*, gpointer self);
    GdkRectangle monitor_geometry(bool usable) const;

    Callbacks callbacks_;
    GObjectPtr<GtkWindow> window_;
    int last_width_ = -1;
    int last_height_ = -1;
    std::vector<SignalConnection> connections_;
};

}  // namespace camvault
