#include "dialogs/HelpWindow.h"

#include "dialogs/InterfaceDlg.h"

#include <QTextBrowser>
#include <QVBoxLayout>

namespace {

const QString kDiagramName = QStringLiteral("velmo_Programmierkabel.bmp");

}  // namespace

// The page names the diagram by its file name; the browser hands out the picture already
// read instead of looking for a file beside the page.
class CHelpWindow::PageBrowser : public QTextBrowser {
  public:
    PageBrowser(const CDibImage& diagram, QWidget* parent)
        : QTextBrowser(parent), m_diagram(diagram) {}

    QVariant loadResource(int type, const QUrl& name) override {
        if (type == QTextDocument::ImageResource && name.fileName() == kDiagramName) {
            return m_diagram.Image();
        }
        return QTextBrowser::loadResource(type, name);
    }

  private:
    const CDibImage& m_diagram;
};

CHelpWindow::CHelpWindow(QWidget* parent) : CHelpWindow(CInterfaceDlg::DiagramPath(), parent) {}

CHelpWindow::CHelpWindow(const QString& diagramPath, QWidget* parent) : QDialog(parent) {
    // A window of its own beside the main window, which stays usable.
    setWindowFlags(Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowMinMaxButtonsHint | Qt::WindowCloseButtonHint);
    setModal(false);
    setWindowTitle(QStringLiteral("Hilfe – Velmo-Programmer"));
    m_cableImage.LoadBitmapFile(diagramPath);

    m_browser = new PageBrowser(m_cableImage, this);
    m_browser->setOpenLinks(true);
    m_browser->setOpenExternalLinks(false);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(m_browser);
    m_browser->setSource(PageUrl(), QTextDocument::HtmlResource);
    resize(720, 600);
}

CHelpWindow::~CHelpWindow() = default;

QUrl CHelpWindow::PageUrl() {
    return QUrl(QStringLiteral("qrc:/velmo/hilfe.html"));
}
