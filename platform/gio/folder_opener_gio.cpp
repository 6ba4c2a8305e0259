// FileManager1.ShowFolders over the session bus, asynchronously so that a
// slow or missing file manager never holds up the window; the URI's default
// handler when no file manager answers.
#include "platform/gio/folder_opener_gio.hpp"

#include <gio/gio.h>

#include <memory>
#include <string>

#include "base/glib/gobject_ptr.hpp"
#include "base/log.hpp"

namespace camvault::platform {
namespace {

std::string take_message(GError* error) {
    std::string text = error && error->message ? error->message : "unknown error";
    g_clear_error(&error);
    return text;
}

void open_with_default_handler(std::unique_ptr<std::string> uri) {
    const std::string text = *uri;
    g_app_info_launch_default_for_uri_async(
        text.c_str(), nullptr, nullptr,
        [](GObject*, GAsyncResult* result, gpointer data) {
            std::unique_ptr<std::string> uri(static_cast<std::string*>(data));
            GError* error = nullptr;
            if (!g_app_info_launch_default_for_uri_finish(result, &error))
                log_line("open_dir: no file manager for " + *uri + ": " + take_message(error));
        },
        uri.release());
}

void on_show_folders_done(GObject* source, GAsyncResult* result, gpointer data) {
    std::unique_ptr<std::string> uri(static_cast<std::string*>(data));
    GError* error = nullptr;
    std::unique_ptr<GVariant, decltype(&g_variant_unref)> reply(
        g_dbus_connection_call_finish(G_DBUS_CONNECTION(source), result, &error), g_variant_unref);
    if (reply)
        return;
    log_line("open_dir: FileManager1 unavailable (" + take_message(error) + "), using the default");
    open_with_default_handler(std::move(uri));
}

void on_session_bus(GObject*, GAsyncResult* result, gpointer data) {
    std::unique_ptr<std::string> uri(static_cast<std::string*>(data));
    GError* error = nullptr;
    GObjectPtr<GDBusConnection> bus(g_bus_get_finish(result, &error));
    if (!bus) {
        log_line("open_dir: no session bus (" + take_message(error) + "), using the default");
        open_with_default_handler(std::move(uri));
        return;
    }
    const gchar* uris[] = {uri->c_str(), nullptr};
    g_dbus_connection_call(
        bus.get(), "org.freedesktop.FileManager1", "/org/freedesktop/FileManager1",
        "org.freedesktop.FileManager1", "ShowFolders", g_variant_new("(^ass)", uris, ""), nullptr,
        G_DBUS_CALL_FLAGS_NONE, 5000, nullptr, on_show_folders_done, uri.release());
}

}  // namespace

void GioFolderOpener::show_folder(const std::string& path) {
    GCharPtr raw_uri(g_filename_to_uri(path.c_str(), nullptr, nullptr));
    if (!raw_uri) {
        log_line("open_dir: not a local folder: " + path);
        return;
    }
    auto uri = std::make_unique<std::string>(raw_uri.get());
    g_bus_get(G_BUS_TYPE_SESSION, nullptr, on_session_bus, uri.release());
}

}  // namespace camvault::platform
