// The web view that shows the page.
#include "platform/web_view_host.hpp"

#include "platform/log.hpp"

namespace camvault {

WebViewHost::WebViewHost(bool automation, Callbacks callbacks) : callbacks_(std::move(callbacks)) {
    context_ = GObjectPtr<WebKitWebContext>::adopt(webkit_web_context_new());
    if (automation) {
        webkit_web_context_set_automation_allowed(context_.get(), TRUE);
        connections_.push_back(connect_signal(context_.get(), "automation-started",
                                              on_automation_started, this));
    }
    WebKitSettings* settings = webkit_settings_new();
    // The page fetches ini.txt and loads telemetry scripts and clips from the
    // library folders, all file URLs.
    webkit_settings_set_allow_file_access_from_file_urls(settings, TRUE);
    webkit_settings_set_allow_universal_access_from_file_urls(settings, TRUE);
    webkit_settings_set_enable_write_console_messages_to_stdout(settings, TRUE);
    webkit_settings_set_media_playback_requires_user_gesture(settings, FALSE);
    view_ = WEBKIT_WEB_VIEW(g_object_new(WEBKIT_TYPE_WEB_VIEW, "web-context", context_.get(),
                                         "settings", settings, "is-controlled-by-automation",
                                         automation ? TRUE : FALSE, nullptr));
    g_object_unref(settings);
    view_ref_ = GObjectPtr<WebKitWebView>::ref(view_);
    connections_.push_back(connect_signal(view_, "decide-policy", on_decide_policy, this));
    connections_.push_back(connect_signal(view_, "load-changed", on_load_changed, this));
}

WebViewHost::~WebViewHost() {
    connections_.clear();
}

void WebViewHost::load_page(const std::string& uri) {
    webkit_web_view_load_uri(view_, uri.c_str());
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
    webkit_web_view_evaluate_javascript(view_, script.c_str(), static_cast<gssize>(script.size()),
                                        nullptr, nullptr, nullptr, nullptr, nullptr);
}

gboolean WebViewHost::on_decide_policy(WebKitWebView*, WebKitPolicyDecision* decision,
                                       WebKitPolicyDecisionType type, gpointer data) {
    auto* self = static_cast<WebViewHost*>(data);
    if (type == WEBKIT_POLICY_DECISION_TYPE_RESPONSE) {
        return FALSE;  // WebKit's default handling of responses
    }
    auto* navigation = WEBKIT_NAVIGATION_POLICY_DECISION(decision);
    WebKitNavigationAction* action = webkit_navigation_policy_decision_get_navigation_action(navigation);
    WebKitURIRequest* request = webkit_navigation_action_get_request(action);
    const char* uri = webkit_uri_request_get_uri(request);
    const std::string url_text = uri ? uri : "";
    const NavigationDecision verdict = self->callbacks_.decide_navigation(url_text);
    switch (verdict) {
        case NavigationDecision::load: webkit_policy_decision_use(decision); break;
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
        case NavigationDecision::ignore: webkit_policy_decision_ignore(decision); break;
    }
    return TRUE;
}

void WebViewHost::on_load_changed(WebKitWebView*, WebKitLoadEvent event, gpointer data) {
    auto* self = static_cast<WebViewHost*>(data);
    if (event == WEBKIT_LOAD_STARTED) {
        self->page_loaded_ = false;
        return;
    }
    if (event != WEBKIT_LOAD_FINISHED) {
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
    return static_cast<WebViewHost*>(data)->view_;
}

}  // namespace camvault
