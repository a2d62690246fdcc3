#include "dialogs/BatchHelpDlg.h"

#include "dialogs/DialogFrame.h"

#include <QLabel>
#include <QPushButton>

using velmo::dialogs::AddOkButton;
using velmo::dialogs::AddStaticText;
using velmo::dialogs::DialogUnits;
using velmo::dialogs::SetUpFixedDialog;

namespace {

struct StaticText {
    const char* text;
    int x, y, width, height;
};

// In the order of the layout. The "-f" text comes last although it stands between "-t" and
// the example on screen.
constexpr StaticText kTexts[] = {
    {"Im folgenden wird der Kommandozeilenaufruf beschrieben:", 14, 16, 173, 18},
    {"velmo.exe -aV -pWWW -mX -tY -fZ", 15, 39, 164, 8},
    {"-a: Auszuführende Aktion\n V=1: Programmieren", 16, 55, 94, 21},
    {"-p: LPT-Adresse\n WWW: Adresse im Hexformat z.B. 378", 16, 78, 166, 21},
    {"-m: Modus\n X = 1 : Raw-Modus; X = 2 : Velmo-Modus", 17, 104, 166, 21},
    {"-t: Taktrate der CPU\nY: Taktrate in MHz", 18, 130, 166, 21},
    {"Beispiel: Es soll die Datei c:\\testfile.bin auf LPT1 (0x378) und Velmo-Modus "
     "programmiert werden.\nDie Taktrate der CPU beträgt 11 MHz. ",
     19, 188, 153, 29},
    {"velmo.exe -a1 -p378 -m2 -t11.0 -fc:\\testfile.bin", 19, 225, 154, 8},
    {"-f: Zu programmierende Datei\n Z Dateiname inklusive Pfad", 18, 158, 166, 21},
};

}  // namespace

CBatchHelpDlg::CBatchHelpDlg(QWidget* parent) : QDialog(parent) {
    const DialogUnits du =
        SetUpFixedDialog(*this, QStringLiteral("Aufruf aus Batch-Datei"), 203, 274);
    QPushButton* ok = AddOkButton(*this, du, 74, 245, 50, 14);
    for (const StaticText& t : kTexts) {
        AddStaticText(*this, du, QString::fromUtf8(t.text), t.x, t.y, t.width, t.height);
    }
    ok->setFocus();
}

CBatchHelpDlg::~CBatchHelpDlg() = default;
