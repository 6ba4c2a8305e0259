// The application's one window on GTK 3 (X11).
#include "platform/gtk/window_host.hpp"

namespace camvault::platform {

WindowHost::WindowHost(const char* title, double aspect, Callbacks callbacks)
    : callbacks_(std::move(callbacks)) {
    window_ = GObjectPtr<GtkWindow>::ref(GTK_WINDOW(gtk_window_new(GTK_WINDOW_TOPLEVEL)));
    gtk_window_set_title(window_.get(), title);
    gtk_window_set_default_size(window_.get(), 960, 600);
    // The window manager keeps the 960:600 proportion while the user drags an edge.
    GdkGeometry hints{};
    hints.min_aspect = hints.max_aspect = aspect;
    hints.min_width = 320;
    hints.min_height = 200;
    gtk_window_set_geometry_hints(window_.get(), nullptr, &hints,
                                  static_cast<GdkWindowHints>(GDK_HINT_ASPECT | GDK_HINT_MIN_SIZE));
    connections_.push_back(connect_signal(window_.get(), "configure-event", on_configure, this));
    connections_.push_back(connect_signal(window_.get(), "delete-event", on_delete, this));
    connections_.push_back(connect_signal(window_.get(), "focus-in-event", on_focus_in, this));
}

WindowHost::~WindowHost() {
    connections_.clear();
    gtk_widget_destroy(GTK_WIDGET(window_.get()));
}

void WindowHost::set_content(GtkWidget* content) {
    gtk_container_add(GTK_CONTAINER(window_.get()), content);
}

void WindowHost::show() {
    gtk_widget_show_all(GTK_WIDGET(window_.get()));
}

PixelRect WindowHost::monitor_geometry(bool usable) const {
    GdkDisplay* display = gtk_widget_get_display(GTK_WIDGET(window_.get()));
    GdkWindow* gdk_window = gtk_widget_get_window(GTK_WIDGET(window_.get()));
    GdkMonitor* monitor = gdk_window ? gdk_display_get_monitor_at_window(display, gdk_window)
                                     : gdk_display_get_primary_monitor(display);
    if (!monitor)
        monitor = gdk_display_get_monitor(display, 0);
    GdkRectangle area{0, 0, 1920, 1080};
    if (monitor) {
        if (usable) {
            gdk_monitor_get_workarea(monitor, &area);
        } else {
            gdk_monitor_get_geometry(monitor, &area);
        }
    }
    return {area.x, area.y, area.width, area.height};
}

PixelRect WindowHost::monitor_area() const {
    return monitor_geometry(false);
}

PixelRect WindowHost::work_area() const {
    return monitor_geometry(true);
}

PixelRect WindowHost::window_rect() const {
    PixelRect rect;
    gtk_window_get_position(window_.get(), &rect.x, &rect.y);
    gtk_window_get_size(window_.get(), &rect.width, &rect.height);
    return rect;
}

void WindowHost::set_window_rect(const PixelRect& rect) {
    gtk_window_move(window_.get(), rect.x, rect.y);
    int current_width = 0, current_height = 0;
    gtk_window_get_size(window_.get(), &current_width, &current_height);
    if (current_width != rect.width || current_height != rect.height)
        gtk_window_resize(window_.get(), rect.width, rect.height);
}

PixelRect WindowHost::widget_area(GtkWidget* widget) const {
    PixelRect area;
    GdkWindow* gdk_window = gtk_widget_get_window(widget);
    if (!gdk_window)
        return area;
    GtkAllocation allocation;
    gtk_widget_get_allocation(widget, &allocation);
    int origin_x = 0, origin_y = 0;
    gdk_window_get_origin(gdk_window, &origin_x, &origin_y);
    if (!gtk_widget_get_has_window(widget)) {
        origin_x += allocation.x;
        origin_y += allocation.y;
    }
    return {origin_x, origin_y, allocation.width, allocation.height};
}

gboolean WindowHost::on_configure(GtkWidget*, GdkEventConfigure* event, gpointer data) {
    auto* self = static_cast<WindowHost*>(data);
    if (event->width != self->last_width_ || event->height != self->last_height_) {
        self->last_width_ = event->width;
        self->last_height_ = event->height;
        if (self->callbacks_.size_changed)
            self->callbacks_.size_changed();
    }
    return FALSE;
}

gboolean WindowHost::on_focus_in(GtkWidget*, GdkEventFocus*, gpointer data) {
    auto* self = static_cast<WindowHost*>(data);
    if (self->callbacks_.focused)
        self->callbacks_.focused();
    return FALSE;
}

gboolean WindowHost::on_delete(GtkWidget*, GdkEvent*, gpointer data) {
    auto* self = static_cast<WindowHost*>(data);
    if (self->callbacks_.close_requested)
        self->callbacks_.close_requested();
    return TRUE;
}

}  // namespace camvault::platform
