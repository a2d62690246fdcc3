#pragma once

#include "dialogs/DibImage.h"

#include <QDialog>
#include <QString>

// "Verbindung PC --> uC": the diagram of the programming cable, read from
// velmo_Programmierkabel.bmp when the dialog is made and drawn at its own size at the
// top-left corner. A missing or unreadable file shows a 255 x 100 grey placeholder instead,
// without a message.
class CInterfaceDlg : public QDialog {
    Q_OBJECT
  public:
    explicit CInterfaceDlg(QWidget* parent = nullptr);
    // The same dialog with the diagram read from another file.
    CInterfaceDlg(const QString& diagramPath, QWidget* parent);
    ~CInterfaceDlg() override;

    // Where the diagram is read from: beside the executable (the build tree), else in
    // ../share/velmo/ relative to the executable's folder (an installed program, whatever the
    // prefix). When neither exists, the path beside the executable.
    static QString DiagramPath();
    static QString DiagramPath(const QString& executableDir);

    const CDibImage& CableImage() const { return m_cableImage; }

  protected:
    void paintEvent(QPaintEvent* event) override;

  private:
    CDibImage m_cableImage{255, 100};
};
