// The clip chooser's texts in the page's four languages.
#include "library/chooser_texts.hpp"

namespace camvault {

ChooserTexts clip_chooser_texts(std::string_view language) {
    // The same words as the page's Import button in each language.
    if (language == "German")
        return {"Clips importieren", "_Abbrechen", "_Importieren", "Dashcam-Clips (.MOV)"};
    if (language == "French")
        return {"Importer des clips", "_Annuler", "_Importer", "Clips de dashcam (.MOV)"};
    if (language == "Spanish")
        return {"Importar clips", "_Cancelar", "_Importar", "Clips de dashcam (.MOV)"};
    return {"Import clips", "_Cancel", "_Import", "Dash-camera clips (.MOV)"};
}

}  // namespace camvault
