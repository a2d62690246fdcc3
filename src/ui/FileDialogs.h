#pragma once

#include <QString>

class QWidget;

namespace velmo::ui {

// The two file dialogs of the window, Qt's own on every desktop (so they look and behave the
// same everywhere and speak German with the rest of the window). Each returns the chosen
// path, or an empty string when the user cancelled.
//
// Open: "Öffnen der Applikationsdatei", filters Intel-Hex-File (*.ihx), Intel-Hex-File
// (*.hex), Bin-File (*.bin) and All Files (*.*), the first preselected; a typed name that
// does not exist is accepted, the load then reports it. "All Files (*.*)" lists every file,
// also those without a dot in their name, as it does on Windows.
QString ChooseOpenFile(QWidget* parent);
// Save: "Speichern der Binärdatei", filter Bin-File (*.bin), ".bin" added to a name without
// an extension, and a question before an existing file is replaced.
QString ChooseSaveFile(QWidget* parent);

// The file dialogs remember nothing between runs: no last folder, no history, no view mode
// in a settings file. Called by both dialogs; safe to call again.
void KeepNoFileDialogSettings();

}  // namespace velmo::ui
