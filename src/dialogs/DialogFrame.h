#pragma once

#include "dialogs/DialogUnits.h"

class QDialog;
class QLabel;
class QPushButton;
class QString;

namespace velmo::dialogs {

// The frame shared by the small modal dialogs: caption, system menu and close box, no help
// button, the dialog font and a fixed client size in dialog units of that font.
DialogUnits SetUpFixedDialog(QDialog& dialog, const QString& caption, int width, int height);
// A left-aligned static text at a place in dialog units; long lines wrap as in a static
// control, and a text that needs more lines than its place holds grows downwards.
QLabel* AddStaticText(QDialog& dialog, const DialogUnits& units, const QString& text, int x, int y,
                      int width, int height);
// The default OK button, which ends the dialog with Accepted.
QPushButton* AddOkButton(QDialog& dialog, const DialogUnits& units, int x, int y, int width,
                         int height);

}  // namespace velmo::dialogs
