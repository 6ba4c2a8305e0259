// The process entry: forces GTK's X11 backend, reads the options, finds the
// page and runs the application object in the main loop.
#include <gtk/gtk.h>
#include <unistd.h>

#include <climits>
#include <clocale>
#include <cstdio>
#include <string>
#include <vector>

#include "app/app_delegate.hpp"
#include "app/launch.hpp"
#include "base/glib/journal_log.hpp"
#include "base/log.hpp"

namespace {

std::string executable_dir() {
    char buffer[PATH_MAX];
    const ssize_t length = readlink("/proc/self/exe", buffer, sizeof buffer - 1);
    if (length <= 0)
        return ".";
    std::string path(buffer, static_cast<size_t>(length));
    return path.substr(0, path.rfind('/'));
}

int fail_with_dialog(const std::string& message) {
    camvault::log_line(message);
    GtkWidget* dialog = gtk_message_dialog_new(nullptr, GTK_DIALOG_MODAL, GTK_MESSAGE_ERROR,
                                               GTK_BUTTONS_CLOSE, "%s", message.c_str());
    gtk_window_set_title(GTK_WINDOW(dialog), "CamVault");
    gtk_dialog_run(GTK_DIALOG(dialog));
    gtk_widget_destroy(dialog);
    return 1;
}

}  // namespace

int main(int argc, char** argv) {
    // GTK 3 can place windows and grab the screen only on X11 (XWayland included).
    gdk_set_allowed_backends("x11");
    std::vector<std::string> arguments(argv + 1, argv + argc);
    auto parsed = camvault::parse_arguments(arguments);
    if (parsed.show_help) {
        std::fputs(camvault::kUsage, stdout);
        return 0;
    }
    if (!parsed.error.empty()) {
        std::fprintf(stderr, "camvault: %s\n%s", parsed.error.c_str(), camvault::kUsage);
        return 2;
    }
    if (!gtk_init_check(&argc, &argv)) {
        std::fputs("camvault: cannot open the display (is an X server running?)\n", stderr);
        return 1;
    }
    // gtk_init took the whole locale from the environment; texts stay in the
    // user's language, but numbers written or read for machines (log lines,
    // telemetry) keep their decimal point.
    std::setlocale(LC_NUMERIC, "C");
    camvault::install_journal_log_sink();

    // CAMVAULT_WWW_DIR points at a page folder of its own (a page under development).
    const char* www_override = g_getenv("CAMVAULT_WWW_DIR");
    parsed.options.page_path = www_override
                                   ? camvault::find_page_in(www_override)
                                   : camvault::find_page(executable_dir(), CAMVAULT_SOURCE_DIR);
    if (parsed.options.page_path.empty()) {
        return fail_with_dialog(
            "CamVault cannot start: its page www/index.html is missing. Reinstall CamVault or "
            "rebuild it with `make`.");
    }
    parsed.options.home = camvault::home_without_trailing_slash(g_get_home_dir());

    camvault::AppDelegate app(std::move(parsed.options));
    app.applicationDidFinishLaunching();
    gtk_main();
    return 0;
}
