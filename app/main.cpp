// The process entry: forces GTK's X11 backend, reads the options, finds the
// page and runs the application as a GtkApplication: one CamVault per user
// session, to which later starts hand the clips they were opened with (the
// desktop's "Open with"), unless it runs for automation or the tests.
#include <gtk/gtk.h>
#include <unistd.h>

#include <climits>
#include <clocale>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "app/app_delegate.hpp"
#include "app/launch.hpp"
#include "base/glib/gobject_ptr.hpp"
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

// Paths of opened files arrive as GFiles: only those with a local path can be
// read (a remote location mounted without FUSE has none).
constexpr const char* kImportHint = "import";  // --import paths: folders stay refused

// The running application: made on the first activation or opening.
struct Launcher {
    GtkApplication* application;
    camvault::LaunchOptions options;
    std::unique_ptr<camvault::AppDelegate> delegate;

    void launch() {
        if (delegate) {
            gtk_window_present(delegate->window);
            return;
        }
        delegate = std::make_unique<camvault::AppDelegate>(
            options, [this] { g_application_quit(G_APPLICATION(application)); });
        gtk_window_set_application(delegate->window, application);
        delegate->applicationDidFinishLaunching();
    }

    static void on_activate(GApplication*, gpointer self) {
        static_cast<Launcher*>(self)->launch();
    }

    // Another start of CamVault handed over its clips and folders.
    static void on_open(GApplication*, GFile** files, gint count, const gchar* hint,
                        gpointer data) {
        auto* self = static_cast<Launcher*>(data);
        std::vector<std::string> paths;
        for (gint i = 0; i < count; ++i) {
            camvault::GCharPtr path(g_file_get_path(files[i]));
            if (path) {
                paths.emplace_back(path.get());
            } else {
                camvault::GCharPtr uri(g_file_get_uri(files[i]));
                camvault::log_line(std::string("not imported: ") + uri.get() +
                                   ": not a local file");
            }
        }
        if (g_strcmp0(hint, kImportHint) != 0)
            paths = camvault::expand_opened_paths(paths);
        for (const auto& path : paths)
            camvault::log_line("opened: " + path);
        if (!self->delegate) {
            self->options.import_paths.insert(self->options.import_paths.end(), paths.begin(),
                                              paths.end());
            self->launch();
            return;
        }
        self->delegate->open_paths(std::move(paths));
        gtk_window_present(self->delegate->window);
    }
};

// Hands this start's paths to the CamVault already running, which then
// presents its window; g_application_run sends the activation, delivers
// everything and leaves the session bus in order.
int forward_to_running_instance(GApplication* application, const camvault::LaunchOptions& options,
                                char** argv) {
    const auto open = [&](const std::vector<std::string>& paths, const char* hint) {
        std::vector<GFile*> files;
        for (const auto& path : paths)
            files.push_back(g_file_new_for_commandline_arg(path.c_str()));
        g_application_open(application, files.data(), static_cast<gint>(files.size()), hint);
        for (GFile* file : files)
            g_object_unref(file);
    };
    if (!options.open_paths.empty())
        open(options.open_paths, "");
    if (!options.import_paths.empty())
        open(options.import_paths, kImportHint);
    camvault::log_line("handed over to the CamVault already running");
    return g_application_run(application, 1, argv);
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
    if (parsed.show_version) {
        std::puts("camvault " CAMVAULT_VERSION);
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
    parsed.options.page_path =
        www_override ? camvault::find_page_in(www_override) : camvault::find_page(executable_dir());
    if (parsed.options.page_path.empty()) {
        return fail_with_dialog(
            "CamVault cannot start: its page www/index.html is missing. Reinstall CamVault or "
            "rebuild it with `make`.");
    }
    parsed.options.home = camvault::home_without_trailing_slash(g_get_home_dir());
    // CAMVAULT_TILE_URL: another tile server for the map (a local one in tests).
    if (const char* tile_url = g_getenv("CAMVAULT_TILE_URL"))
        parsed.options.tile_url = tile_url;
    parsed.options.gpu_compositing =
        camvault::draw_page_with_gpu(g_getenv("CAMVAULT_GPU"), "/dev/dri");
    if (!parsed.options.gpu_compositing)
        camvault::log_line(
            "page drawn without OpenGL compositing (no GPU render node, or CAMVAULT_GPU=0)");

    Launcher launcher{nullptr, std::move(parsed.options), nullptr};
    camvault::GObjectPtr<GtkApplication> application;
    std::vector<camvault::SignalConnection> connections;
    const auto make_application = [&](bool unique) {
        connections.clear();
        auto flags = static_cast<GApplicationFlags>(G_APPLICATION_HANDLES_OPEN);
        if (!unique)
            flags = static_cast<GApplicationFlags>(flags | G_APPLICATION_NON_UNIQUE);
        application.reset(gtk_application_new(camvault::kApplicationId, flags));
        launcher.application = application.get();
        connections.push_back(camvault::connect_signal(application.get(), "activate",
                                                       Launcher::on_activate, &launcher));
        connections.push_back(
            camvault::connect_signal(application.get(), "open", Launcher::on_open, &launcher));
        camvault::GErrorPtr error;
        GError* raw = nullptr;
        const bool registered =
            g_application_register(G_APPLICATION(application.get()), nullptr, &raw);
        error.reset(raw);
        if (!registered)
            camvault::log_line(std::string("not registered on the session bus: ") + raw->message);
        return registered;
    };
    const bool unique =
        camvault::single_instance(launcher.options, g_getenv("CAMVAULT_NON_UNIQUE"));
    // A session bus that refuses the name still leaves CamVault usable, on its own.
    if (!make_application(unique) && (!unique || !make_application(false)))
        return 1;
    GApplication* app = G_APPLICATION(application.get());
    if (g_application_get_is_remote(app))
        return forward_to_running_instance(app, launcher.options, argv);
    launcher.options.import_paths = [&] {
        // Clips opened with CamVault come after those named by --import, in one pass.
        auto paths = launcher.options.import_paths;
        for (auto& path : camvault::expand_opened_paths(launcher.options.open_paths))
            paths.push_back(std::move(path));
        return paths;
    }();
    launcher.options.open_paths.clear();
    // The options are CamVault's own: GApplication sees none of them.
    const int status = g_application_run(app, 1, argv);
    // The window goes before the application object it belongs to.
    launcher.delegate.reset();
    connections.clear();
    return status;
}
