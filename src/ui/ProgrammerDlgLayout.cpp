// The main window's layout: the menu bar, the controls at the places the dialog template
// gives them in dialog units, the toolbar strip that pushes them down, and the status bar.
#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QProgressBar>
#include <QShortcut>
#include <QToolBar>
#include <QToolButton>
#include <algorithm>
#include <cstdio>
#include <cstdlib>

#include "dialogs/Artwork.h"
#include "ui/Commands.h"
#include "ui/FileDialogs.h"
#include "ui/ProgrammerDlg.h"

using namespace velmo::ui;
using velmo::dialogs::DialogFont;
using velmo::dialogs::DialogUnits;
using velmo::dialogs::kToolbarImageCount;
using velmo::dialogs::kToolbarImageHeight;
using velmo::dialogs::kToolbarImageWidth;
using velmo::dialogs::ToolbarImage;

namespace {

// The template: 213 x 98 dialog units. Below its last group it leaves room for the status bar.
constexpr int kTemplateWidth = 213;
constexpr int kTemplateHeight = 98;
constexpr int kLastGroupBottom = 81;
// The status bar's drawing area is at least this high; its frame comes on top.
constexpr int kStatusMinHeight = 25;
// Toolbar buttons: the 18 x 16 images plus 7 pixels each way.
constexpr int kButtonWidth = kToolbarImageWidth + 7;
constexpr int kButtonHeight = kToolbarImageHeight + 7;

const int kDeviceItems[] = {kProgram, kVerify, kRead, kLockBits, kErase};

}  // namespace

CProgrammerDlg::CProgrammerDlg(velmo::IspLink& link, velmo::Clock& clock, velmo::SideFiles* files,
                               QWidget* parent)
    : QDialog(parent),
      m_core(link, clock, *this),
      m_files(files),
      m_units(DialogFont()),
      m_clockDlg(this) {
    setWindowTitle(QString::fromUtf8(kCaption));
    // A fixed frame: caption, system menu, minimise and close, but no maximise box.
    setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                   Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                   Qt::WindowCloseButtonHint);
    setFont(DialogFont());
    setWindowIcon(QApplication::windowIcon());
    // The file label's tip shows also while another program is active.
    setAttribute(Qt::WA_AlwaysShowToolTips);

    m_clockDlg.SetApply([this](double mhz) { m_core.SetClockRate(mhz); });
    m_chooseOpenFile = [this] { return ChooseOpenFile(this); };
    m_chooseSaveFile = [this] { return ChooseSaveFile(this); };
    m_processExit = [](int status) {
        std::fflush(nullptr);
        std::_Exit(status);
    };

    CreateMenu();
    CreateControls();
}

CProgrammerDlg::~CProgrammerDlg() = default;

void CProgrammerDlg::CreateMenu() {
    m_menuBar = new QMenuBar(this);
    // Menus keep the platform's menu font, as they always did.
    m_menuBar->setFont(QApplication::font("QMenuBar"));

    struct Item {
        int command;  // 0: separator
        const char* text;
    };
    struct Menu {
        const char* title;
        std::initializer_list<Item> items;
    };
    const Menu menus[] = {
        {"&Datei",
         {{kFileOpen, "Ö&ffnen"},
          {kFileSaveAs, "&Speichern unter..."},
          {0, ""},
          {kExit, "&Beenden"}}},
        {"&Port",
         {{kPortLpt1, "LPT&1 (0x378)"},
          {kPortLpt2, "LPT&2 (0x278)"},
          {kPortLpt3, "LPT&3 (0x3BC)"}}},
        {"&Mode", {{kModeBoard, "&Velmo-Board"}, {kModeRaw, "&Raw Mode"}}},
        {"&Aktion",
         {{kErase, "&Löschen"},
          {kProgram, "&Programmieren"},
          {kRead, "&Auslesen"},
          {kVerify, "&Verifizieren"},
          {kLockBits, "&Lock-Bits setzen"},
          {kAbort, "A&bbrechen"}}},
        {"&Extras", {{kClockRate, "&Taktrate"}}},
        {"&?", {{kInterface, "&Interface"}, {kBatchHelp, "&Batchaufruf"}, {kInfo, "I&nfo"}}},
    };
    int position = 0;
    for (const Menu& menu : menus) {
        QMenu* top = m_menuBar->addMenu(QString::fromUtf8(menu.title));
        top->setFont(QApplication::font("QMenu"));
        m_topMenus[static_cast<std::size_t>(position++)] = top;
        for (const Item& item : menu.items) {
            if (item.command == 0) {
                top->addSeparator();
                continue;
            }
            QAction* action = top->addAction(QString::fromUtf8(item.text));
            const int command = item.command;
            connect(action, &QAction::triggered, this, [this, command] { RunCommand(command); });
            m_menuActions[command] = action;
        }
    }
    m_menuBar->setGeometry(0, 0, m_units.X(kTemplateWidth), m_menuBar->sizeHint().height());

    // The help key belongs to the window, not to a menu: the fixed menus stay as they are.
    auto* help = new QShortcut(QKeySequence::HelpContents, this);
    connect(help, &QShortcut::activated, this, [this] { RunCommand(kHelp); });
}

void CProgrammerDlg::CreateControls() {
    const DialogUnits& du = m_units;
    m_client = new QWidget(this);
    m_client->setGeometry(0, m_menuBar->height(), du.X(kTemplateWidth), du.Y(kTemplateHeight));

    // In template order, which is also the tab order.
    m_progress = new QProgressBar(m_client);
    m_progress->setGeometry(du.Rect(59, 15, 141, 14));
    m_progress->setTextVisible(false);
    m_progress->setRange(0, 100);
    m_progress->setValue(0);
    auto* programLabel = new QLabel(QStringLiteral("Programmiere:"), m_client);
    programLabel->setGeometry(du.Rect(9, 44, 47, 8));
    const int boxX[] = {57, 105, 156};
    const int boxHeight[] = {10, 10, 8};
    for (int i = 0; i < 3; ++i) {
        auto* box = new QCheckBox(QStringLiteral("Lock-Bit %1").arg(i + 1), m_client);
        box->setGeometry(du.Rect(boxX[i], 44, 48, boxHeight[i]));
        m_lockBits[static_cast<std::size_t>(i)] = box;
    }
    m_crcField = new QLineEdit(m_client);
    m_crcField->setGeometry(du.Rect(9, 15, 46, 14));
    m_crcField->setAlignment(Qt::AlignCenter);
    m_crcField->setReadOnly(true);
    m_crcField->installEventFilter(this);
    auto* group = new QGroupBox(m_client);
    group->setGeometry(du.Rect(0, 60, 213, 21));
    auto* fileCaption = new QLabel(QStringLiteral("Datei:"), m_client);
    fileCaption->setGeometry(du.Rect(9, 68, 20, 8));
    m_fileLabel = new QLabel(m_client);
    m_fileLabel->setGeometry(du.Rect(35, 68, 148, 8));
    auto* zero = new QLabel(QStringLiteral("0%"), m_client);
    zero->setGeometry(du.Rect(59, 29, 10, 8));
    auto* hundred = new QLabel(QStringLiteral("100%"), m_client);
    hundred->setGeometry(du.Rect(183, 30, 18, 8));
    auto* crcCaption = new QLabel(QStringLiteral("CRC"), m_client);
    crcCaption->setGeometry(du.Rect(24, 29, 16, 8));
    // The group box is drawn behind the labels it frames.
    group->lower();

    setFixedSize(m_client->width(), m_client->y() + m_client->height());
}

void CProgrammerDlg::CreateToolBar() {
    if (m_toolBar) return;
    m_toolBar = new QToolBar(m_client);
    m_toolBar->setMovable(false);
    m_toolBar->setFloatable(false);
    m_toolBar->setIconSize(QSize(kToolbarImageWidth, kToolbarImageHeight));
    m_toolBar->setToolButtonStyle(Qt::ToolButtonIconOnly);
    const int commands[] = {kFileOpen, kFileSaveAs, kProgram, kRead, kAbort};
    for (int i = 0; i < kToolbarImageCount; ++i) {
        const int command = commands[i];
        QAction* action = m_toolBar->addAction(QIcon(QPixmap::fromImage(ToolbarImage(i))),
                                               TipFromString(CommandString(command)));
        action->setToolTip(TipFromString(CommandString(command)));
        connect(action, &QAction::triggered, this, [this, command] { RunCommand(command); });
        if (QWidget* button = m_toolBar->widgetForAction(action)) {
            button->setFixedSize(kButtonWidth, kButtonHeight);
            if (auto* tool = qobject_cast<QToolButton*>(button)) tool->setAutoRaise(true);
        }
        m_toolActions[command] = action;
    }
    m_toolBarHeight = m_toolBar->sizeHint().height();

    // The toolbar takes a strip along the top; everything else moves down by it and the
    // window grows by exactly that strip.
    for (QObject* child : m_client->children()) {
        auto* widget = qobject_cast<QWidget*>(child);
        if (!widget || widget == m_toolBar) continue;
        widget->move(widget->x(), widget->y() + m_toolBarHeight);
    }
    m_client->resize(m_client->width(), m_client->height() + m_toolBarHeight);
    m_toolBar->setGeometry(0, 0, m_client->width(), m_toolBarHeight);
    setFixedSize(m_client->width(), m_client->y() + m_client->height());
}

void CProgrammerDlg::CreateStatusBar() {
    if (m_statusBar) return;
    // One sunken part across the whole window, without a size grip; a long text is cut at
    // its right edge.
    m_statusBar = new QLabel(m_client);
    m_statusBar->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    m_statusBar->setIndent(3);
    m_statusBar->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Fixed);
    // It lies over the bottom of the client area, in the room the layout leaves free below
    // the file line, and is never lower than its 25-pixel drawing area with its frame.
    const int room = m_units.Y(kTemplateHeight) - m_units.Y(kLastGroupBottom);
    const int height = std::max(kStatusMinHeight + 2 * m_statusBar->frameWidth(), room);
    m_statusBar->setGeometry(0, m_client->height() - height, m_client->width(), height);
    m_statusBar->raise();
}

void CProgrammerDlg::InitFileTip() {
    // Empty until the first load: an empty tip does not show.
    m_fileLabel->setToolTip(m_fileTipPath);
}

int CProgrammerDlg::ClientTop() const {
    return m_client->y() + m_toolBarHeight;
}
int CProgrammerDlg::ToolBarStripHeight() const {
    return m_toolBarHeight;
}
QAction* CProgrammerDlg::MenuAction(int command) const {
    const auto it = m_menuActions.find(command);
    return it == m_menuActions.end() ? nullptr : it->second;
}

QMenu* CProgrammerDlg::TopMenu(int position) const {
    if (position < 0 || position >= kTopMenuCount) return nullptr;
    return m_topMenus[static_cast<std::size_t>(position)];
}

QAction* CProgrammerDlg::ToolbarAction(int command) const {
    const auto it = m_toolActions.find(command);
    return it == m_toolActions.end() ? nullptr : it->second;
}

QCheckBox* CProgrammerDlg::LockBitBox(int number) const {
    if (number < 1 || number > 3) return nullptr;
    return m_lockBits[static_cast<std::size_t>(number - 1)];
}
