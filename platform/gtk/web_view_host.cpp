// The web view that shows the page.
#include "platform/gtk/web_view_host.hpp"

#include <utility>

#include "base/log.hpp"

namespace camvault::platform {

WebViewHost::WebViewHost(bool automation, bool gpu_compositing, Callbacks callbacks)
    : callbacks_(std::move(callbacks)) {
    context_ = GObjectPtr<WebKitWebContext>::adopt(webkit_web_context_new());
    if (automation) {
        webkit_web_context_set_automation_allowed(context_.get(), TRUE);
        connections_.push_back(
            connect_signal(context_.get(), "automation-started", on_automation_started, this));
    }
    WebKitSettings* settings = webkit_settings_new();
    // The page fetches ini.txt and loads telemetry scripts and clips from the
    // library folders, all file URLs.
    webkit_settings_set_allow_file_access_from_file_urls(settings, TRUE);
    webkit_settings_set_allow_universal_access_from_file_urls(settings, TRUE);
    webkit_settings_set_enable_write_console_messages_to_stdout(settings, TRUE);
    webkit_settings_set_media_playback_requires_user_gesture(settings, FALSE);
    if (!gpu_compositing) {
        webkit_settings_set_hardware_acceleration_policy(settings,
                                                         WEBKIT_HARDWARE_ACCELERATION_POLICY_NEVER);
    }
    view_ = GObjectPtr<WebKitWebView>::ref(WEBKIT_WEB_VIEW(
        g_object_new(WEBKIT_TYPE_WEB_VIEW, "web-context", context_.get(), "settings", settings,
                     "is-controlled-by-automation", automation ? TRUE : FALSE, nullptr)));
    g_object_unref(settings);
    connections_.push_back(connect_signal(view_.get(), "decide-policy", on_decide_policy, this));
    connections_.push_back(connect_signal(view_.get(), "load-changed", on_load_changed, this));
    connections_.push_back(connect_signal(view_.get(), "load-failed", on_load_failed, this));
    // Connected normally, these run before WebKit's own drag handlers and stop
    // the emission for file drags, so the page never sees them.
    connections_.push_back(connect_signal(view_.get(), "drag-motion", on_drag_motion, this));
    connections_.push_back(connect_signal(view_.get(), "drag-leave", on_drag_leave, this));
    connections_.push_back(connect_signal(view_.get(), "drag-drop", on_drag_drop, this));
    connections_.push_back(
        connect_signal(view_.get(), "drag-data-received", on_drag_data_received, this));
}

namespace {

GdkAtom uri_list_atom() {
    return gdk_atom_intern_static_string("text/uri-list");
}

// Files dragged in from another application (the file manager), not a link
// or an image dragged inside the page.
bool carries_files(GdkDragContext* context) {
    if (gtk_drag_get_source_widget(context) != nullptr)
        return false;
    for (GList* target = gdk_drag_context_list_targets(context); target; target = target->next) {
        if (GDK_POINTER_TO_ATOM(target->data) == uri_list_atom())
            return true;
    }
    return false;
}

}  // namespace

gboolean WebViewHost::on_drag_motion(GtkWidget* widget, GdkDragContext* context, gint, gint,
                                     guint time, gpointer) {
    if (!carries_files(context))
        return FALSE;
    const bool can_copy = gdk_drag_context_get_actions(context) & GDK_ACTION_COPY;
    gdk_drag_status(context, can_copy ? GDK_ACTION_COPY : static_cast<GdkDragAction>(0), time);
    g_signal_stop_emission_by_name(widget, "drag-motion");
    return TRUE;
}

void WebViewHost::on_drag_leave(GtkWidget* widget, GdkDragContext* context, guint, gpointer) {
    if (carries_files(context))
        g_signal_stop_emission_by_name(widget, "drag-leave");
}

gboolean WebViewHost::on_drag_drop(GtkWidget* widget, GdkDragContext* context, gint, gint,
                                   guint time, gpointer data) {
    if (!carries_files(context))
        return FALSE;
    auto* self = static_cast<WebViewHost*>(data);
    self->awaiting_dropped_files_ = true;
    gtk_drag_get_data(widget, context, uri_list_atom(), time);
    g_signal_stop_emission_by_name(widget, "drag-drop");
    return TRUE;
}

void WebViewHost::on_drag_data_received(GtkWidget* widget, GdkDragContext* context, gint, gint,
                                        GtkSelectionData* selection, guint, guint time,
                                        gpointer data) {
    auto* self = static_cast<WebViewHost*>(data);
    if (!self->awaiting_dropped_files_)
        return;
    self->awaiting_dropped_files_ = false;
    g_signal_stop_emission_by_name(widget, "drag-data-received");
    std::vector<std::string> paths;
    if (gchar** uris = gtk_selection_data_get_uris(selection)) {
        for (gchar** uri = uris; *uri; ++uri) {
            if (GCharPtr path{g_filename_from_uri(*uri, nullptr, nullptr)}) {
                paths.emplace_back(path.get());
            }
        }
        g_strfreev(uris);
    }
    // Web links and other non-local URIs give no path: nothing to import.
    gtk_drag_finish(context, !paths.empty(), FALSE, time);
    if (!paths.empty() && self->callbacks_.files_dropped) {
        self->callbacks_.files_dropped(std::move(paths));
    }
}

WebViewHost::~WebViewHost() {
    connections_.clear();
}

void WebViewHost::load_page(const std::string& uri) {
    // From now on calls wait for the new page; the old one is going.
    page_loaded_ = false;
    webkit_web_view_load_uri(view_.get(), uri.c_str());
}

void WebViewHost::add_start_script(const std::string& script) {
    WebKitUserScript* user_script =
        webkit_user_script_new(script.c_str(), WEBKIT_USER_CONTENT_INJECT_TOP_FRAME,
                               WEBKIT_USER_SCRIPT_INJECT_AT_DOCUMENT_START, nullptr, nullptr);
    webkit_user_content_manager_add_script(webkit_web_view_get_user_content_manager(view_.get()),
                                           user_script);
    webkit_user_script_unref(user_script);
}

void WebViewHost::call(const std::string& script) {
    if (!page_loaded_) {
        // Calls made while the page loads would be lost.
        pending_calls_.push_back(script);
        return;
    }
    evaluate(script);
}

void WebViewHost::evaluate(const std::string& script) {
    webkit_web_view_evaluate_javascript(view_.get(), script.c_str(),
                                        static_cast<gssize>(script.size()), nullptr, nullptr,
                                        nullptr, nullptr, nullptr);
}

gboolean WebViewHost::on_decide_policy(WebKitWebView*, WebKitPolicyDecision* decision,
                                       WebKitPolicyDecisionType type, gpointer data) {
    auto* self = static_cast<WebViewHost*>(data);
    if (type == WEBKIT_POLICY_DECISION_TYPE_RESPONSE) {
        return FALSE;  // WebKit's default handling of responses
    }
    auto* navigation = WEBKIT_NAVIGATION_POLICY_DECISION(decision);
    WebKitNavigationAction* action =
        webkit_navigation_policy_decision_get_navigation_action(navigation);
    WebKitURIRequest* request = webkit_navigation_action_get_request(action);
    const char* uri = webkit_uri_request_get_uri(request);
    const std::string url_text = uri ? uri : "";
    const bool user_asked = type == WEBKIT_POLICY_DECISION_TYPE_NEW_WINDOW_ACTION ||
                            webkit_navigation_action_is_user_gesture(action);
    const NavigationDecision verdict = self->callbacks_.decide_navigation(url_text, user_asked);
    switch (verdict) {
        case NavigationDecision::load:
            webkit_policy_decision_use(decision);
            break;
        case NavigationDecision::open_in_browser: {
            GErrorPtr error;
            GError* raw = nullptr;
            if (!g_app_info_launch_default_for_uri(url_text.c_str(), nullptr, &raw)) {
                error.reset(raw);
                log_line("cannot open " + url_text + ": " + (raw ? raw->message : "unknown error"));
            }
            webkit_policy_decision_ignore(decision);
            break;
        }
        case NavigationDecision::ignore:
            webkit_policy_decision_ignore(decision);
            break;
    }
    return TRUE;
}

void WebViewHost::on_load_changed(WebKitWebView*, WebKitLoadEvent event, gpointer data) {
    auto* self = static_cast<WebViewHost*>(data);
    if (event == WEBKIT_LOAD_STARTED) {
        self->page_loaded_ = false;
        self->loading_ = true;
        self->load_failed_ = false;
        return;
    }
    if (event != WEBKIT_LOAD_FINISHED) {
        return;
    }
    self->loading_ = false;
    if (std::exchange(self->load_failed_, false)) {
        // A load replaced by a newer one (a reload) also ends in FINISHED:
        // the page it would list into is about to go.
        return;
    }
    self->page_loaded_ = true;
    // The listing comes first, so that an import that ended during the load
    // still selects its clip afterwards.
    if (self->callbacks_.main_frame_loaded) {
        self->callbacks_.main_frame_loaded();
    }
    while (self->page_loaded_ && !self->pending_calls_.empty()) {
        const std::string script = std::move(self->pending_calls_.front());
        self->pending_calls_.pop_front();
        self->evaluate(script);
    }
}

gboolean WebViewHost::on_load_failed(WebKitWebView*, WebKitLoadEvent, gchar* uri, GError* error,
                                     gpointer data) {
    auto* self = static_cast<WebViewHost*>(data);
    // Refused navigations report failures too, without a load in progress.
    if (self->loading_) {
        self->load_failed_ = true;
        if (!g_error_matches(error, WEBKIT_NETWORK_ERROR, WEBKIT_NETWORK_ERROR_CANCELLED)) {
            log_line(std::string("the page did not load: ") + (uri ? uri : "") + ": " +
                     (error ? error->message : "unknown error"));
        }
    }
    return FALSE;
}

void WebViewHost::on_automation_started(WebKitWebContext*, WebKitAutomationSession* session,
                                        gpointer data) {
    auto* self = static_cast<WebViewHost*>(data);
    WebKitApplicationInfo* info = webkit_application_info_new();
    webkit_application_info_set_name(info, "CamVault");
    webkit_application_info_set_version(info, 1, 0, 0);
    webkit_automation_session_set_application_info(session, info);
    webkit_application_info_unref(info);
    self->connections_.push_back(
        connect_signal(session, "create-web-view", on_create_web_view, self));
}

WebKitWebView* WebViewHost::on_create_web_view(WebKitAutomationSession*, gpointer data) {
    // The one window's view is the automation's browsing context.
    return static_cast<WebViewHost*>(data)->view_.get();
}

}  // namespace camvault::platform
