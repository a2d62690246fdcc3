#include "dialogs/InterfaceDlg.h"

CInterfaceDlg::CInterfaceDlg(QWidget* parent) : QDialog(parent) { setWindowTitle(QStringLiteral("Verbindung PC --> uC")); }
