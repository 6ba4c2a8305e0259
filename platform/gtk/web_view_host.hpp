// The web view that shows the page: loads it, hands every navigation to the
// dispatcher before it happens, queues script calls until the page has loaded,
// and makes the view drivable by WebKitWebDriver on request.
#pragma once

#include <gtk/gtk.h>
#include <webkit2/webkit2.h>

#include <deque>
#include <functional>
#include <string>
#include <vector>

#include "base/glib/gobject_ptr.hpp"
#include "bridge/dispatcher.hpp"
#include "bridge/page.hpp"

namespace camvault::platform {

class WebViewHost : public PageCaller {
  public:
    struct Callbacks {
        // Runs the commands of a navigation and decides it; `url_text` is
        // the URL as WebKit gives it; `user_asked` when a click or a new
        // window started it.
        std::function<NavigationDecision(const std::string& url_text, bool user_asked)>
            decide_navigation;
        // The main frame finished loading (every load, reloads included).
        std::function<void()> main_frame_loaded;
        // Files dropped on the view, once per drop; the page never sees the drag.
        std::function<void(std::vector<std::string> paths)> files_dropped;
    };

    // gpu_compositing false: WebKit draws the page itself, never through OpenGL.
    WebViewHost(bool automation, bool gpu_compositing, Callbacks callbacks);
    ~WebViewHost() override;
    WebViewHost(const WebViewHost&) = delete;
    WebViewHost& operator=(const WebViewHost&) = delete;

    WebKitWebView* view() const { return view_.get(); }
    GtkWidget* widget() const { return GTK_WIDGET(view_.get()); }

    // Loads the page at `uri` (also used to reload it).
    void load_page(const std::string& uri);

    // Evaluates `script` in the page now, or after the load in progress.
    void call(const std::string& script) override;

    // Runs `script` at the start of every load of the page (reloads too),
    // before the page's own scripts: values the page needs while it starts.
    void add_start_script(const std::string& script);

  private:
    static gboolean on_decide_policy(WebKitWebView*, WebKitPolicyDecision*,
                                     WebKitPolicyDecisionType, gpointer self);
    static void on_load_changed(WebKitWebView*, WebKitLoadEvent, gpointer self);
    static gboolean on_load_failed(WebKitWebView*, WebKitLoadEvent, gchar* uri, GError* error,
                                   gpointer self);
    static void on_automation_started(WebKitWebContext*, WebKitAutomationSession*, gpointer self);
    static WebKitWebView* on_create_web_view(WebKitAutomationSession*, gpointer self);
    static gboolean on_drag_motion(GtkWidget*, GdkDragContext*, gint, gint, guint time,
                                   gpointer self);
    static void on_drag_leave(GtkWidget*, GdkDragContext*, guint time, gpointer self);
    static gboolean on_drag_drop(GtkWidget*, GdkDragContext*, gint, gint, guint time,
                                 gpointer self);
    static void on_drag_data_received(GtkWidget*, GdkDragContext*, gint, gint, GtkSelectionData*,
                                      guint info, guint time, gpointer self);

    void evaluate(const std::string& script);

    Callbacks callbacks_;
    GObjectPtr<WebKitWebContext> context_;
    // The widget tree holds the view too; our reference keeps it for our signals.
    GObjectPtr<WebKitWebView> view_;
    bool page_loaded_ = false;
    bool loading_ = false;      // between a load's start and its end
    bool load_failed_ = false;  // the load in progress failed or was replaced
    bool awaiting_dropped_files_ = false;
    std::deque<std::string> pending_calls_;
    std::vector<SignalConnection> connections_;
};

}  // namespace camvault::platform
