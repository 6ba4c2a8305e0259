// Closing tooltips and popup menus: every popup-type toplevel this process shows.
#include "platform/gtk/transient_popups.hpp"

namespace camvault::platform {
namespace {

int close_popup_windows() {
    int closed = 0;
    GList* toplevels = gtk_window_list_toplevels();  // the windows are not referenced
    for (GList* item = toplevels; item; item = item->next) {
        auto* window = GTK_WINDOW(item->data);
        if (gtk_window_get_window_type(window) != GTK_WINDOW_POPUP ||
            !gtk_widget_get_visible(GTK_WIDGET(window)))
            continue;
        GtkWidget* child = gtk_bin_get_child(GTK_BIN(window));
        if (child && GTK_IS_MENU(child))
            gtk_menu_popdown(GTK_MENU(child));  // ends the menu's grab as a click outside would
        else
            gtk_widget_hide(GTK_WIDGET(window));
        ++closed;
    }
    g_list_free(toplevels);
    return closed;
}

}  // namespace

PopupsClosed::PopupsClosed(GtkWidget* view)
    : view_(GTK_WIDGET(g_object_ref(view))), had_tooltip_(gtk_widget_get_has_tooltip(view)) {
    // Without this GTK shows the tooltip again while the pointer rests.
    gtk_widget_set_has_tooltip(view_, FALSE);
    closed_ = close_popup_windows();
    // The server fills what a popup covered with the window's background;
    // the web view paints it again only when asked.
    if (closed_)
        gtk_widget_queue_draw(gtk_widget_get_toplevel(view_));
}

PopupsClosed::~PopupsClosed() {
    if (had_tooltip_)
        gtk_widget_set_has_tooltip(view_, TRUE);
    g_object_unref(view_);
}

}  // namespace camvault::platform
