#include "dialogs/InterfaceDlg.h"

#include "dialogs/DialogFrame.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QPainter>
#include <QPushButton>

using velmo::dialogs::AddOkButton;
using velmo::dialogs::DialogUnits;
using velmo::dialogs::SetUpFixedDialog;

CInterfaceDlg::CInterfaceDlg(QWidget* parent) : CInterfaceDlg(DiagramPath(), parent) {}

CInterfaceDlg::CInterfaceDlg(const QString& diagramPath, QWidget* parent) : QDialog(parent) {
    const DialogUnits du =
        SetUpFixedDialog(*this, QStringLiteral("Verbindung PC --> uC"), 348, 175);
    QPushButton* ok = AddOkButton(*this, du, 159, 150, 50, 14);
    ok->setFocus();
    // A refused file keeps the placeholder; the dialog opens all the same.
    m_cableImage.LoadBitmapFile(diagramPath);
}

CInterfaceDlg::~CInterfaceDlg() = default;

QString CInterfaceDlg::DiagramPath() {
    return DiagramPath(QCoreApplication::applicationDirPath());
}

QString CInterfaceDlg::DiagramPath(const QString& executableDir) {
    const QString file = QStringLiteral("velmo_Programmierkabel.bmp");
    const QDir dir(executableDir);
    // The installation puts the program into <prefix>/bin and its data into
    // <prefix>/share/velmo, so the diagram is found under any prefix.
    const QString beside = dir.filePath(file);
    const QString installed =
        QDir::cleanPath(dir.filePath(QStringLiteral("../share/velmo/") + file));
    for (const QString& path : {beside, installed}) {
        if (QFileInfo(path).isFile()) return path;
    }
    return beside;
}

void CInterfaceDlg::paintEvent(QPaintEvent* /*event*/) {
    QPainter painter(this);
    m_cableImage.Draw(painter, 0, 0, 1.0, 1.0);
}
