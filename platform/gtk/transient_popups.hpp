// Tooltips and popup menus are windows of their own above the main window: a
// grab of the screen would take them (a tooltip caught before it painted
// comes out as a blank white box). They are closed before a window snapshot.
#pragma once

#include <gtk/gtk.h>

namespace camvault::platform {

// While it lives: `view` raises no tooltip, and the tooltips and popup menus
// this application showed are closed. The view's tooltips come back after.
// Main thread only.
class PopupsClosed {
  public:
    explicit PopupsClosed(GtkWidget* view);
    ~PopupsClosed();
    PopupsClosed(const PopupsClosed&) = delete;
    PopupsClosed& operator=(const PopupsClosed&) = delete;

    // How many were showing when it began.
    int closed() const { return closed_; }

  private:
    GtkWidget* view_;
    bool had_tooltip_;
    int closed_ = 0;
};

}  // namespace camvault::platform
