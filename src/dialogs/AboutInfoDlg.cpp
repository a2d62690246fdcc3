#include "dialogs/AboutInfoDlg.h"

#include "dialogs/DialogFrame.h"
#include "dialogs/LinkCursor.h"
#include "dialogs/LinkLabel.h"

#include <QApplication>
#include <QIcon>
#include <QLabel>
#include <QPushButton>

using velmo::dialogs::AddOkButton;
using velmo::dialogs::AddStaticText;
using velmo::dialogs::DialogUnits;
using velmo::dialogs::SetUpFixedDialog;

const char* const CAboutInfoDlg::kContactTarget = "mailto:kontakt@velmo-programmer.example";
const char* const CAboutInfoDlg::kHomepageTarget = "https://velmo-programmer.example/";

namespace {

constexpr int kIconPixels = 32;
// Below the line naming the way to the chip, in dialog units.
constexpr int kConnectionMargin = 7;

}  // namespace

CAboutInfoDlg::CAboutInfoDlg(QWidget* parent, const QString& connection) : QDialog(parent) {
    const DialogUnits du =
        SetUpFixedDialog(*this, QStringLiteral("Info über Velmo-Programmer"), 166, 111);

    // Controls in the order of the layout, which is also their drawing and tab order.
    auto* icon = new QLabel(this);
    icon->setGeometry(QRect(du.X(11), du.Y(17), kIconPixels, kIconPixels));
    icon->setPixmap(QApplication::windowIcon().pixmap(kIconPixels, kIconPixels));
    AddStaticText(*this, du, QStringLiteral("Velmo-Programmer Version S1V0-F"), 40, 10, 119, 8);
    AddStaticText(*this, du, QStringLiteral("Velmo-Programmer-Entwickler"), 40, 25, 119, 11);
    QPushButton* ok = AddOkButton(*this, du, 60, 79, 50, 14);
    m_homepageLink = new CLinkLabel(QStringLiteral("Homepage"), this);
    m_homepageLink->setGeometry(du.Rect(14, 89, 97, 8));
    m_homepageLink->hide();  // set up like the contact link, but never shown
    m_contactLink = new CLinkLabel(QStringLiteral("Kontakt"), this);
    m_contactLink->setGeometry(du.Rect(39, 52, 93, 8));
    AddStaticText(*this, du, QStringLiteral("und Mitwirkende des Projekts"), 40, 37, 119, 16);

    m_contactLink->Attach();
    m_homepageLink->Attach();
    m_contactLink->SetLinkTarget(QString::fromUtf8(kContactTarget));
    m_homepageLink->SetLinkTarget(QString::fromUtf8(kHomepageTarget));
    m_contactLink->SetLinkCursor(LinkCursor());
    m_homepageLink->SetLinkCursor(LinkCursor());

    if (!connection.isEmpty()) {
        // Selectable, so the device can be copied into a question or a bug report.
        m_connection = AddStaticText(*this, du, connection, 11, 97, 144, 8);
        m_connection->setTextInteractionFlags(Qt::TextSelectableByMouse);
        setFixedSize(width(), m_connection->geometry().bottom() + 1 + du.Y(kConnectionMargin));
    }

    ok->setFocus();
}

CAboutInfoDlg::~CAboutInfoDlg() = default;
