#pragma once

namespace velmo::ui {

// Qt's own texts (file dialogs, their overwrite question, the standard buttons Ja, Nein,
// Öffnen, Abbrechen) in German, like the rest of the window, whatever language the desktop
// speaks. Loads Qt's German catalogue once per process; false when it is not installed, and
// the window then shows Qt's English texts.
bool InstallGermanQtTexts();

}  // namespace velmo::ui
