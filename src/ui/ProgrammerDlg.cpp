#include "ui/ProgrammerDlg.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFileDialog>
#include <QFileInfo>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QMimeData>
#include <QProgressBar>
#include <QTimer>
#include <QToolBar>
#include <QToolButton>
#include <QUrl>
#include <algorithm>
#include <cstdio>
#include <cstdlib>

#include "dialogs/AboutInfoDlg.h"
#include "dialogs/BatchHelpDlg.h"
#include "dialogs/InterfaceDlg.h"
#include "dialogs/Artwork.h"
#include "ui/Commands.h"
#include "ui/FileSearch.h"
#include "ui/MessageBox.h"

using namespace velmo::ui;
using namespace velmo::dialogs;
using velmo::dialogs::DialogFont;
using velmo::dialogs::DialogUnits;

namespace {

const QString kCaption = QStringLiteral("Velmo-Programmer (AT89S53)");
const char* const kDriverNotRunning =
    "Fehler beim Starten des Treibers; Kann Aktion nicht ausführen";
const char* const kDropWhileBusy = "Es läuft bereits eine Aktion; Kann Datei nicht laden";
const char* const kFileNotFound = "Datei nicht gefunden!";
const char* const kProgrammed = "Datei erfolgreich programmiert!";

// The template: 213 x 98 dialog units. Below its last group it leaves room for the status bar.
constexpr int kTemplateWidth = 213;
constexpr int kTemplateHeight = 98;
constexpr int kLastGroupBottom = 81;
// The status bar's drawing area is at least this high; its frame comes on top.
constexpr int kStatusMinHeight = 25;
// Toolbar buttons: the 18 x 16 images plus 7 pixels each way.
constexpr int kButtonWidth = kToolbarImageWidth + 7;
constexpr int kButtonHeight = kToolbarImageHeight + 7;
constexpr int kBatchDelayMs = 1000;

const int kDeviceItems[] = {kProgram, kVerify, kRead, kLockBits, kErase};
const int kBusyButtons[] = {kProgram, kFileOpen, kFileSaveAs, kRead};

QString FromStd(const std::string& text) {
    return QString::fromStdString(text);
}

// A save name without an extension gets ".bin".
QString WithBinSuffix(const QString& path) {
    if (!QFileInfo(path).suffix().isEmpty()) return path;
    return path.endsWith(QLatin1Char('.')) ? path + QStringLiteral("bin")
                                           : path + QStringLiteral(".bin");
}

}  // namespace

CProgrammerDlg::CProgrammerDlg(velmo::PortIo& port, velmo::Clock& clock, QWidget* parent)
    : QDialog(parent), m_core(port, clock, *this), m_units(DialogFont()), m_clockDlg(this) {
    setWindowTitle(kCaption);
    // A fixed frame: caption, system menu, minimise and close, but no maximise box.
    setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                   Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                   Qt::WindowCloseButtonHint);
    setFont(DialogFont());
    setWindowIcon(QApplication::windowIcon());
    // The file label's tip shows also while another program is active.
    setAttribute(Qt::WA_AlwaysShowToolTips);

    m_clockDlg.SetApply([this](double mhz) { m_core.SetClockRate(mhz); });
    m_chooseOpenFile = [this] {
        QFileDialog dialog(this, QStringLiteral("Öffnen der Applikationsdatei"));
        dialog.setAcceptMode(QFileDialog::AcceptOpen);
        // A typed name that does not exist is accepted; the load then reports it.
        dialog.setFileMode(QFileDialog::AnyFile);
        dialog.setNameFilters(
            {QStringLiteral("Intel-Hex-File (*.ihx)"), QStringLiteral("Intel-Hex-File (*.hex)"),
             QStringLiteral("Bin-File (*.bin)"), QStringLiteral("All Files (*.*)")});
        return dialog.exec() == QDialog::Accepted ? dialog.selectedFiles().value(0) : QString();
    };
    m_chooseSaveFile = [this] {
        QFileDialog dialog(this, QStringLiteral("Speichern der Binärdatei"));
        dialog.setAcceptMode(QFileDialog::AcceptSave);
        dialog.setNameFilter(QStringLiteral("Bin-File (*.bin)"));
        dialog.setDefaultSuffix(QStringLiteral("bin"));
        return dialog.exec() == QDialog::Accepted ? dialog.selectedFiles().value(0) : QString();
    };
    m_processExit = [](int status) {
        std::fflush(nullptr);
        std::_Exit(status);
    };

    m_batchTimer = new QTimer(this);
    m_batchTimer->setSingleShot(true);
    connect(m_batchTimer, &QTimer::timeout, this, &CProgrammerDlg::OnTimer);

    CreateMenu();
    CreateControls();
}

CProgrammerDlg::~CProgrammerDlg() = default;

// ---------------------------------------------------------------------------------------
// Layout

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

// ---------------------------------------------------------------------------------------
// Start-up

void CProgrammerDlg::OnInitDialog() {
    MembersToControls();
    // The window menu of this platform cannot be extended, so the About entry lives in the
    // "?" menu only.
    setAcceptDrops(true);
    setWindowIcon(QApplication::windowIcon());
    CreateToolBar();
    CreateStatusBar();
    InitFileTip();

    // The core shows the driver's outcome in the status bar.
    if (m_core.StartDriver()) {
        if (m_core.m_batch.active) m_batchTimer->start(kBatchDelayMs);
    } else {
        EnterDriverFailureState();
    }
    SetItemEnabled(kAbort, false);
    SetButtonEnabled(kAbort, false);
    m_core.m_errorFlag = 0;

    if (!m_core.m_batch.active) {
        m_core.ApplyInteractiveDefaults();
        SetChecked(kModeBoard, true);
        OnPortLpt1();
    } else if (!m_core.m_driverRunning) {
        // Without a driver the batch run never starts; nobody could take over a window
        // that cannot be seen.
        EndBatchRun(1);
    }
    m_core.m_noFileLoaded = 1;
}

void CProgrammerDlg::EnterDriverFailureState() {
    for (int command : kDeviceItems) SetItemEnabled(command, false);
    SetItemEnabled(kAbort, false);
    for (int command : {kPortLpt1, kPortLpt2, kPortLpt3}) SetItemEnabled(command, false);
    for (int command : {kProgram, kRead, kAbort}) SetButtonEnabled(command, false);
}

bool CProgrammerDlg::BatchTimerActive() const {
    return m_batchTimer->isActive();
}

// ---------------------------------------------------------------------------------------
// Menu and toolbar states

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

void CProgrammerDlg::SetItemEnabled(int command, bool enabled) {
    if (QAction* action = MenuAction(command)) action->setEnabled(enabled);
}

void CProgrammerDlg::SetButtonEnabled(int command, bool enabled) {
    if (QAction* action = ToolbarAction(command)) action->setEnabled(enabled);
}

void CProgrammerDlg::SetTopMenusEnabled(bool enabled) {
    for (QMenu* menu : m_topMenus) menu->menuAction()->setEnabled(enabled);
}

// A check mark shows only where it is set; an unchecked item shows no empty box either.
void CProgrammerDlg::SetChecked(int command, bool checked) {
    if (QAction* action = MenuAction(command)) {
        action->setCheckable(checked);
        action->setChecked(checked);
    }
}

void CProgrammerDlg::EnterBusyMenuState() {
    EnterReadMenuState();
    SetItemEnabled(kPortLpt1, false);
    SetItemEnabled(kPortLpt2, false);
    SetTopMenusEnabled(false);
}

void CProgrammerDlg::EnterReadMenuState() {
    for (int command : kDeviceItems) SetItemEnabled(command, false);
    SetItemEnabled(kAbort, true);
    SetItemEnabled(kFileSaveAs, false);
    SetItemEnabled(kFileOpen, false);
    for (int command : kBusyButtons) SetButtonEnabled(command, false);
    SetButtonEnabled(kAbort, true);
}

void CProgrammerDlg::RestoreIdleMenuState() {
    RestoreIdleMenuStateAfterRead();
    SetItemEnabled(kPortLpt1, true);
    SetItemEnabled(kPortLpt2, true);
}

void CProgrammerDlg::RestoreIdleMenuStateAfterRead() {
    for (int command : kDeviceItems) SetItemEnabled(command, true);
    SetItemEnabled(kAbort, false);
    SetItemEnabled(kFileSaveAs, true);
    SetItemEnabled(kFileOpen, true);
    for (int command : kBusyButtons) SetButtonEnabled(command, true);
    SetButtonEnabled(kAbort, false);
    SetTopMenusEnabled(true);
}

// ---------------------------------------------------------------------------------------
// Commands

void CProgrammerDlg::RunCommand(int command) {
    switch (command) {
        case kFileOpen:
            OnFileOpen();
            break;
        case kFileSaveAs:
            OnFileSaveAs();
            break;
        case kExit:
            OnExit();
            break;
        case kModeBoard:
            OnModeBoard();
            break;
        case kModeRaw:
            OnModeRaw();
            break;
        case kErase:
            OnErase();
            break;
        case kRead:
            OnRead();
            break;
        case kVerify:
            OnVerify();
            break;
        case kLockBits:
            OnLockBits();
            break;
        case kInterface:
            OnInterface();
            break;
        case kInfo:
            OnInfo();
            break;
        case kProgram:
            OnProgram();
            break;
        case kAbort:
            OnAbort();
            break;
        case kClockRate:
            OnClockRate();
            break;
        case kPortLpt1:
            OnPortLpt1();
            break;
        case kPortLpt2:
            OnPortLpt2();
            break;
        case kBatchHelp:
            OnBatchHelp();
            break;
        case kPortLpt3:
            OnPortLpt3();
            break;
        default:
            break;
    }
}

template <typename Work>
void CProgrammerDlg::RunOperation(Work work) {
    ++m_operationDepth;
    work();
    --m_operationDepth;
    if (m_operationDepth == 0 && m_pendingDone) {
        const int result = *m_pendingDone;
        m_pendingDone.reset();
        QDialog::done(result);
    }
}

void CProgrammerDlg::done(int result) {
    if (m_operationDepth > 0) {
        m_pendingDone = result;
        return;
    }
    QDialog::done(result);
}

void CProgrammerDlg::OnFileOpen() {
    // Set before the dialog shows: a cancelled choice leaves no usable image.
    m_core.m_noFileLoaded = 1;
    const QString path = m_chooseOpenFile ? m_chooseOpenFile() : QString();
    if (path.isEmpty()) return;
    m_core.m_strFilePath = path.toStdString();
    RunOperation([this] { m_core.LoadFile(m_core.m_strFilePath); });
}

void CProgrammerDlg::OnFileSaveAs() {
    const QString chosen = m_chooseSaveFile ? m_chooseSaveFile() : QString();
    if (chosen.isEmpty()) return;
    const QString path = WithBinSuffix(chosen);
    // The file dialog asked about the name it returned; a name we completed is asked here.
    if (path != chosen && QFileInfo::exists(path) &&
        !AskYesNo(this, QStringLiteral("%1 existiert bereits.\nMöchten Sie sie ersetzen?")
                            .arg(QFileInfo(path).fileName()))) {
        return;
    }
    m_core.SaveReadImage(path.toStdString());
}

void CProgrammerDlg::OnExit() {
    OnClose();
}

void CProgrammerDlg::OnClose() {
    m_core.ShutdownDriver();
    m_processExit(0);
}

void CProgrammerDlg::OnModeBoard() {
    m_core.SelectMode(velmo::ProgrammerMode::Board);
    SetChecked(kModeBoard, true);
    SetChecked(kModeRaw, false);
}

void CProgrammerDlg::OnModeRaw() {
    m_core.SelectMode(velmo::ProgrammerMode::Raw);
    SetChecked(kModeBoard, false);
    SetChecked(kModeRaw, true);
}

void CProgrammerDlg::SelectPort(int index) {
    m_core.SelectPort(static_cast<std::uint8_t>(index));
    SetChecked(kPortLpt1, index == 1);
    SetChecked(kPortLpt2, index == 2);
    SetChecked(kPortLpt3, index == 3);
}

void CProgrammerDlg::OnErase() {
    RunOperation([this] { m_core.OnErase(); });
}
void CProgrammerDlg::OnProgram() {
    RunOperation([this] { m_core.OnProgram(); });
}
void CProgrammerDlg::OnRead() {
    RunOperation([this] { m_core.OnRead(); });
}
void CProgrammerDlg::OnVerify() {
    RunOperation([this] { m_core.OnVerify(); });
}
void CProgrammerDlg::OnLockBits() {
    RunOperation([this] { m_core.OnLockBits(); });
}
void CProgrammerDlg::OnAbort() {
    m_core.OnAbort();
}

void CProgrammerDlg::OnClockRate() {
    m_clockDlg.SetValue(m_core.m_clockRate);
    m_clockDlg.exec();
}

void CProgrammerDlg::OnInterface() {
    CInterfaceDlg dialog(this);
    dialog.exec();
}

void CProgrammerDlg::OnBatchHelp() {
    CBatchHelpDlg dialog(this);
    dialog.exec();
}

void CProgrammerDlg::OnInfo() {
    CAboutInfoDlg dialog(this);
    dialog.exec();
}

void CProgrammerDlg::OnDropFiles(const QStringList& paths) {
    if (paths.isEmpty()) return;
    if (m_core.m_driverRunning != 1) {
        ShowMessage(kDriverNotRunning);
        return;
    }
    // A new image under a running operation, and a second operation inside it, would
    // program a mixture of both files.
    if (OperationRunning()) {
        ShowMessage(kDropWhileBusy);
        return;
    }
    const std::string path = paths.front().toStdString();
    RunOperation([this, &path] {
        m_core.LoadFile(path);
        m_core.OnProgram();
    });
}

// ---------------------------------------------------------------------------------------
// The batch run

void CProgrammerDlg::OnTimer() {
    m_batchTimer->stop();
    RunOperation([this] {
        const velmo::BatchJob& job = m_core.m_batch;
        // The interactive start would have set these; nothing is unchecked.
        if (m_core.m_mode == static_cast<std::uint8_t>(velmo::ProgrammerMode::Raw))
            SetChecked(kModeRaw, true);
        else if (m_core.m_mode == static_cast<std::uint8_t>(velmo::ProgrammerMode::Board))
            SetChecked(kModeBoard, true);
        if (m_core.m_portIndex == 1) SetChecked(kPortLpt1, true);
        if (m_core.m_portIndex == 2) SetChecked(kPortLpt2, true);
        if (m_core.m_portIndex == 3) SetChecked(kPortLpt3, true);

        if (job.filePath.empty()) {
            EndBatchRun(0);
            return;
        }
        if (!PathFound(job.filePath)) {
            ShowMessage(kFileNotFound);
            PostQuit(1);
            return;
        }
        m_core.LoadFile(job.filePath);
        if (job.action != "1") {
            EndBatchRun(0);
            return;
        }
        m_lastStatus.clear();
        m_core.OnProgram();
        const int status = m_lastStatus == kProgrammed ? 0 : 1;
        if (m_core.m_errorFlag == 0)
            PostQuit(status);
        else
            EndBatchRun(status);
    });
}

void CProgrammerDlg::EndBatchRun(int status) {
    if (m_headless && !QuitPosted()) PostQuit(status);
}

// ---------------------------------------------------------------------------------------
// Host

QString CProgrammerDlg::StatusText() const {
    return m_statusBar ? m_statusBar->text() : QString();
}

void CProgrammerDlg::SetStatusText(const std::string& text) {
    m_lastStatus = text;
    if (m_statusBar) m_statusBar->setText(FromStd(text));
    if (m_headless) WriteErrorLine(QStringLiteral("Status: ") + FromStd(text));
}

void CProgrammerDlg::ShowMessage(const std::string& text) {
    ShowMessageBox(this, FromStd(text));
}

void CProgrammerDlg::SetProgressRange(int lower, int upper) {
    m_progress->setRange(lower, upper);
}

void CProgrammerDlg::SetProgressPos(int position) {
    m_progress->setValue(position);
    if (m_headless) {
        WriteErrorLine(QStringLiteral("Fortschritt: %1 von %2 Bytes")
                           .arg(position)
                           .arg(m_progress->maximum()));
    } else {
        m_progress->repaint();
    }
}

void CProgrammerDlg::PumpMessages() {
    QCoreApplication::processEvents();
}

void CProgrammerDlg::ControlsToMembers() {
    m_core.m_lockBit1 = m_lockBits[0]->isChecked() ? 1 : 0;
    m_core.m_lockBit2 = m_lockBits[1]->isChecked() ? 1 : 0;
    m_core.m_lockBit3 = m_lockBits[2]->isChecked() ? 1 : 0;
}

void CProgrammerDlg::MembersToControls() {
    m_lockBits[0]->setChecked(m_core.m_lockBit1 != 0);
    m_lockBits[1]->setChecked(m_core.m_lockBit2 != 0);
    m_lockBits[2]->setChecked(m_core.m_lockBit3 != 0);
    m_fileLabel->setText(FromStd(m_core.m_strFileName));
    m_crcField->setText(FromStd(m_core.m_strCrc));
}

void CProgrammerDlg::SetFileTip(const std::string& path) {
    m_fileTipPath = FromStd(path);
    m_fileLabel->setToolTip(m_fileTipPath);
}

void CProgrammerDlg::Repaint() {
    if (!m_headless) repaint();
}

void CProgrammerDlg::PostQuit(int exitCode) {
    if (!m_quitCode) m_quitCode = exitCode;
    // Like a posted quit message: it takes effect once control is back in the event loop.
    QMetaObject::invokeMethod(
        this, [this] { done(QDialog::Accepted); }, Qt::QueuedConnection);
}

// ---------------------------------------------------------------------------------------
// Window events

void CProgrammerDlg::closeEvent(QCloseEvent* event) {
    event->ignore();
    OnClose();
}

void CProgrammerDlg::keyPressEvent(QKeyEvent* event) {
    // Enter ends the dialog like its default OK (after taking the boxes into the members),
    // Escape like Cancel. Neither runs the end sequence.
    if (event->modifiers() == Qt::NoModifier || event->modifiers() == Qt::KeypadModifier) {
        if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
            ControlsToMembers();
            accept();
            return;
        }
        if (event->key() == Qt::Key_Escape) {
            reject();
            return;
        }
    }
    QDialog::keyPressEvent(event);
}

void CProgrammerDlg::dragEnterEvent(QDragEnterEvent* event) {
    if (event->mimeData()->hasUrls()) event->acceptProposedAction();
}

void CProgrammerDlg::dropEvent(QDropEvent* event) {
    QStringList paths;
    for (const QUrl& url : event->mimeData()->urls())
        if (url.isLocalFile()) paths << url.toLocalFile();
    event->acceptProposedAction();
    // The drop finishes first, so the program that dragged is not kept waiting.
    QTimer::singleShot(0, this, [this, paths] { OnDropFiles(paths); });
}

bool CProgrammerDlg::eventFilter(QObject* watched, QEvent* event) {
    // The CRC field only shows: the focus goes back to the window, so no caret ever stands
    // in it and nothing can be typed there.
    if (watched == m_crcField && event->type() == QEvent::FocusIn) setFocus(Qt::OtherFocusReason);
    return QDialog::eventFilter(watched, event);
}
