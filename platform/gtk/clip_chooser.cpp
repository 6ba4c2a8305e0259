// The open panel for clips.
#include "platform/gtk/clip_chooser.hpp"

#include "base/log.hpp"

namespace camvault::platform {

ClipChooser::~ClipChooser() {
    close();
}

void ClipChooser::choose(GtkWindow* parent, const Texts& texts, Chosen chosen) {
    if (dialog_) {
        gtk_window_present(GTK_WINDOW(dialog_));
        return;
    }
    chosen_ = std::move(chosen);
    // Labels given here replace GTK's stock ones, which follow the system's language.
    dialog_ = gtk_file_chooser_dialog_new(texts.title.c_str(), parent, GTK_FILE_CHOOSER_ACTION_OPEN,
                                          texts.cancel.c_str(), GTK_RESPONSE_CANCEL,
                                          texts.accept.c_str(), GTK_RESPONSE_ACCEPT, nullptr);
    gtk_window_set_modal(GTK_WINDOW(dialog_), TRUE);
    gtk_file_chooser_set_select_multiple(GTK_FILE_CHOOSER(dialog_), TRUE);
    gtk_file_chooser_set_local_only(GTK_FILE_CHOOSER(dialog_), TRUE);
    GtkFileFilter* movies = gtk_file_filter_new();
    gtk_file_filter_set_name(movies, texts.filter.c_str());
    // GTK 3 patterns are case-sensitive.
    gtk_file_filter_add_pattern(movies, "*.[Mm][Oo][Vv]");
    gtk_file_chooser_add_filter(GTK_FILE_CHOOSER(dialog_), movies);
    response_ = connect_signal(dialog_, "response", on_response, this);
    gtk_widget_show(dialog_);
    // What the dialog's own buttons read, as shown: the log says which
    // language the driver met.
    log_line("chooser: " + texts.title + " | " + button_label(GTK_RESPONSE_CANCEL) + " | " +
             button_label(GTK_RESPONSE_ACCEPT));
}

std::string ClipChooser::button_label(int response) const {
    GtkWidget* button = gtk_dialog_get_widget_for_response(GTK_DIALOG(dialog_), response);
    const char* label =
        button && GTK_IS_BUTTON(button) ? gtk_button_get_label(GTK_BUTTON(button)) : nullptr;
    if (!label)
        return "(none)";
    // Mnemonic underscores are no part of what the button shows.
    std::string text;
    for (const char* c = label; *c; ++c)
        if (*c != '_' || c[1] == '_')
            text += *c;
    return text;
}

void ClipChooser::on_response(GtkDialog*, gint response, gpointer data) {
    auto* self = static_cast<ClipChooser*>(data);
    std::vector<std::string> paths;
    if (response == GTK_RESPONSE_ACCEPT) {
        GSList* files = gtk_file_chooser_get_filenames(GTK_FILE_CHOOSER(self->dialog_));
        for (GSList* item = files; item; item = item->next) {
            paths.emplace_back(static_cast<char*>(item->data));
        }
        g_slist_free_full(files, g_free);
    }
    Chosen chosen = std::move(self->chosen_);
    self->close();
    if (response == GTK_RESPONSE_ACCEPT && chosen) {
        chosen(std::move(paths));
    }
}

void ClipChooser::close() {
    response_.disconnect();
    if (dialog_) {
        gtk_widget_destroy(dialog_);
        dialog_ = nullptr;
    }
}

}  // namespace camvault::platform
