#include "dialogs/BatchHelpDlg.h"

CBatchHelpDlg::CBatchHelpDlg(QWidget* parent) : QDialog(parent) { setWindowTitle(QStringLiteral("Aufruf aus Batch-Datei")); }
