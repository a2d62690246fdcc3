#include "dialogs/AboutInfoDlg.h"

CAboutInfoDlg::CAboutInfoDlg(QWidget* parent) : QDialog(parent) { setWindowTitle(QStringLiteral("Info über Velmo-Programmer")); }
