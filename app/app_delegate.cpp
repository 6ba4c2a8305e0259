// The application object.
#include "app/app_delegate.hpp"

#include <cstdio>

#include "app/geometry.hpp"
#include "bridge/page_scripts.hpp"
#include "library/naming.hpp"
#include "library/settings.hpp"
#include "platform/gobject_ptr.hpp"
#include "platform/log.hpp"

namespace camvault {
namespace {

std::string file_uri(const std::string& path) {
    GCharPtr uri(g_filename_to_uri(path.c_str(), nullptr, nullptr));
    return uri ? uri.get() : "file://" + path;
}

std::string format_height(double height) {
    char text[64];
    std::snprintf(text, sizeof text, "%f", height);
    return text;
}

}  // namespace

AppDelegate::AppDelegate(LaunchOptions options)
    : options_(std::move(options)), page_uri_(file_uri(options_.page_path)) {
    window_host_ = std::make_unique<WindowHost>(
        "CamVault", WindowHost::Callbacks{[this] { windowDidResize(); },
                                          [this] { windowShouldClose(); }});
    web_host_ = std::make_unique<WebViewHost>(
        options_.automation,
        WebViewHost::Callbacks{[this](const std::string& url) { return on_navigation(url); },
                               [this] { webViewDidFinishLoadForFrame(); }});
    window = window_host_->window();
    wv = web_host_->view();
}

AppDelegate::~AppDelegate() = default;

void AppDelegate::applicationDidFinishLaunching() {
    file_data_path.clear();
    file_mv_path.clear();
    window_host_->set_content(web_host_->widget());
    window_host_->show();
    web_host_->load_page(page_uri_);
    resizes();
}

void AppDelegate::webViewDidFinishLoadForFrame() {
    read_file_list();
    if (!first_listing_done_) {
        first_listing_done_ = true;
        if (!options_.import_paths.empty()) {
            log_line("import at start: not available yet");
        }
    }
}

void AppDelegate::windowShouldClose() {
    gtk_main_quit();
}

NavigationDecision AppDelegate::on_navigation(const std::string& url_text) {
    const DispatchResult dispatched = dispatch_commands(url_text, *this);
    return decide_navigation(url_text, page_uri_, dispatched);
}

void AppDelegate::reload_page() {
    web_host_->load_page(page_uri_);
}

void AppDelegate::resizes() {
    const Frame frame = window_host_->frame();
    const double screen_height = window_host_->screen_height();
    oheight = format_height(frame.height);
    const Frame next = resize_pass(frame, screen_height);
    window_host_->set_frame(next);
    // X11 applies the new size later; what the window will have is the frame just set.
    log_line(resize_log_line(next, screen_height));
}

void AppDelegate::read_file_list() {
    for (const auto& problem : prepare_library(options_.home)) {
        log_line(problem);
    }
    web_host_->call(file_list_script(file_data_path, file_mv_path, "0",
                                     library_data_dir(options_.home)));
    log_line("finish");
}

void AppDelegate::save_set(std::string_view url_text) {
    if (auto written = save_settings(options_.home, url_text); !written.ok) {
        log_line(written.error);
        web_host_->call(page_function_call("notice", {"Settings not saved: " + written.error}));
    }
}

void AppDelegate::mini() {
    const double screen_height = window_host_->screen_height();
    // The window's aspect hint lets X11 take only sizes in proportion, so ask
    // at once for the frame the geometry passes would settle on.
    window_host_->set_frame(
        settle_frame(mini_frame(window_host_->frame(), screen_height), screen_height).frame);
    log_line("mini");
}

void AppDelegate::max() {
    const double screen_height = window_host_->screen_height();
    window_host_->set_frame(
        settle_frame(max_frame(window_host_->frame(), screen_height), screen_height).frame);
    log_line("max");
}

void AppDelegate::file_del_fun(std::string_view) {
    log_line("file_del_fun: not available yet");
}

void AppDelegate::copy_file() {
    log_line("file_copy_fun: not available yet");
}

void AppDelegate::get_photo(std::string_view) {
    log_line("get_photo: not available yet");
}

void AppDelegate::get_full_photo() {
    log_line("get_full_photo: not available yet");
}

void AppDelegate::open_files_folder() {
    log_line("open_dir: not available yet");
}

void AppDelegate::start() {
    log_line("recode: not available yet");
}

void AppDelegate::stop() {
    log_line("norecode: not available yet");
}

void AppDelegate::merger(std::string_view) {
    log_line("merger: not available yet");
}

}  // namespace camvault
