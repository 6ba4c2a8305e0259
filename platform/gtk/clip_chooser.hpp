// The open panel for clips: a file chooser modal to the window but run without
// a nested main loop, several files at once, showing QuickTime movies, its
// title and buttons in the texts it is given.
#pragma once

#include <gtk/gtk.h>

#include <functional>
#include <string>
#include <vector>

#include "base/glib/gobject_ptr.hpp"

namespace camvault::platform {

class ClipChooser {
  public:
    using Chosen = std::function<void(std::vector<std::string> paths)>;
    // In the page's language, which need not be the system's.
    struct Texts {
        std::string title;
        std::string cancel;  // with GTK's "_" before the mnemonic
        std::string accept;
        std::string filter;  // the movie filter's name
    };

    ClipChooser() = default;
    ~ClipChooser();
    ClipChooser(const ClipChooser&) = delete;
    ClipChooser& operator=(const ClipChooser&) = delete;

    // Shows the chooser; `chosen` runs once with the paths when the user
    // confirms, and never when the user cancels. A second request while the
    // chooser is open brings it to the front.
    void choose(GtkWindow* parent, const Texts& texts, Chosen chosen);

  private:
    static void on_response(GtkDialog*, gint response, gpointer self);
    void close();
    // The text of the dialog's button for `response`, mnemonic marks removed.
    std::string button_label(int response) const;

    GtkWidget* dialog_ = nullptr;
    SignalConnection response_;
    Chosen chosen_;
};

}  // namespace camvault::platform
