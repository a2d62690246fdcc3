#pragma once

#include "dialogs/DibImage.h"

#include <QDialog>
#include <QString>

// "Verbindung PC --> uC": the diagram of the programming cable, read from
// velmo_Programmierkabel.bmp beside the executable when the dialog is made and drawn at its
// own size at the top-left corner. A missing or unreadable file shows a 255 x 100 grey
// placeholder instead, without a message.
class CInterfaceDlg : public QDialog {
    Q_OBJECT
  public:
    explicit CInterfaceDlg(QWidget* parent = nullptr);
    // The same dialog with the diagram read from another file.
    CInterfaceDlg(const QString& diagramPath, QWidget* parent);
    ~CInterfaceDlg() override;

    static QString DiagramPath();

    const CDibImage& CableImage() const { return m_cableImage; }

  protected:
    void paintEvent(QPaintEvent* event) override;

  private:
    CDibImage m_cableImage{255, 100};
};
