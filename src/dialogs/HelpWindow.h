#pragma once

#include "dialogs/DibImage.h"

#include <QDialog>
#include <QString>
#include <QUrl>

class QTextBrowser;

// "Hilfe – Velmo-Programmer": the program's help, one HTML page from the program's resources
// in a text browser whose internal links lead to the page's sections. It stands beside the
// main window without blocking it; Escape or the close box hide it. The page's picture
// velmo_Programmierkabel.bmp is the cable diagram of the interface dialog, read once when the
// window is made (a missing file shows the same grey placeholder).
class CHelpWindow : public QDialog {
    Q_OBJECT
  public:
    explicit CHelpWindow(QWidget* parent = nullptr);
    // The same window with the diagram read from another file.
    CHelpWindow(const QString& diagramPath, QWidget* parent);
    ~CHelpWindow() override;

    // Where the page lives among the program's resources.
    static QUrl PageUrl();

    QTextBrowser* Browser() const { return m_browser; }
    const CDibImage& CableImage() const { return m_cableImage; }

  private:
    class PageBrowser;
    CDibImage m_cableImage{255, 100};
    QTextBrowser* m_browser = nullptr;
};
