// run_on_main_thread on the default GLib main context.
#include <glib.h>

#include "base/glib/main_thread.hpp"

namespace camvault {

void run_on_main_thread(std::function<void()> work) {
    GMainContext* main_context = g_main_context_default();
    if (g_main_context_is_owner(main_context)) {
        work();
        return;
    }
    // Not g_main_context_invoke: from a worker thread it runs the work right
    // there whenever it can acquire the context, e.g. between two iterations
    // of the main loop.
    GSource* source = g_idle_source_new();
    g_source_set_priority(source, G_PRIORITY_DEFAULT);
    g_source_set_callback(
        source,
        [](gpointer data) -> gboolean {
            (*static_cast<std::function<void()>*>(data))();
            return G_SOURCE_REMOVE;
        },
        new std::function<void()>(std::move(work)),
        [](gpointer data) { delete static_cast<std::function<void()>*>(data); });
    g_source_attach(source, main_context);
    g_source_unref(source);
}

}  // namespace camvault
