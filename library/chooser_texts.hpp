// What the clip chooser says, in the page's language: GTK's own buttons
// follow the system's language, the page's may be another one, so the
// chooser's title, buttons and filter name are CamVault's own texts.
#pragma once

#include <string>
#include <string_view>

namespace camvault {

struct ChooserTexts {
    std::string title;
    std::string cancel;  // button labels carry GTK's "_" mnemonic mark
    std::string accept;
    std::string filter;  // the name of the movie filter
};

// The texts for a language id of ini.txt ("English", "German", "French",
// "Spanish"); English for any other.
ChooserTexts clip_chooser_texts(std::string_view language);

}  // namespace camvault
