// The window's commands: what each menu item, toolbar button, key and drop runs, and the file
// commands that load an image and save what was read back.
#include <QCheckBox>
#include <QCloseEvent>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFileInfo>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMimeData>
#include <QTimer>
#include <QUrl>
#include <type_traits>

#include "dialogs/AboutInfoDlg.h"
#include "dialogs/BatchHelpDlg.h"
#include "dialogs/InterfaceDlg.h"
#include "image/ImageFiles.h"
#include "ops/Wording.h"
#include "ui/Commands.h"
#include "ui/MessageBox.h"
#include "ui/ProgrammerDlg.h"

using namespace velmo::ui;

namespace {

const char* const kDriverNotRunning =
    "Fehler beim Starten des Treibers; Kann Aktion nicht ausführen";
const char* const kDropWhileBusy = "Es läuft bereits eine Aktion; Kann Datei nicht laden";
const char* const kSaveFailed = "Fehler beim Erzeugen der Datei!";

// A save name without an extension gets ".bin".
QString WithBinSuffix(const QString& path) {
    if (!QFileInfo(path).suffix().isEmpty()) return path;
    return path.endsWith(QLatin1Char('.')) ? path + QStringLiteral("bin")
                                           : path + QStringLiteral(".bin");
}

}  // namespace

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
        case kHelp:
            OnHelp();
            break;
        default:
            break;
    }
}

void CProgrammerDlg::RunOperation(const std::function<void()>& work) {
    ++m_operationDepth;
    work();
    --m_operationDepth;
    if (m_operationDepth == 0 && m_pendingDone) {
        const int result = *m_pendingDone;
        m_pendingDone.reset();
        QDialog::done(result);
    }
}

template <typename Work>
auto CProgrammerDlg::RunDeviceCommand(int command, Work work) {
    // A command that comes in through the operation's pump runs inside it; the outer one is
    // the running command again once the inner one has returned.
    const int outer = m_runningCommand;
    m_runningCommand = command;
    if constexpr (std::is_void_v<std::invoke_result_t<Work>>) {
        RunOperation(work);
        m_runningCommand = outer;
        ReportPortFiles();
    } else {
        std::invoke_result_t<Work> result{};
        RunOperation([&] { result = work(); });
        m_runningCommand = outer;
        ReportPortFiles();
        return result;
    }
}

std::string CProgrammerDlg::ReportPortFiles(bool asLine) {
    const std::string lost = m_files ? m_files->Finish() : std::string();
    // Each failure once, not again after every later command.
    if (!lost.empty() && lost != m_reportedFileError) {
        if (asLine) {
            WriteErrorLine(ApplicationCaption() + QStringLiteral(": ") +
                           QString::fromStdString(lost));
        } else {
            ShowMessage(lost);
        }
    }
    m_reportedFileError = lost;
    return lost;
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
    m_strFilePath = path.toStdString();
    RunOperation([this] { LoadFile(m_strFilePath); });
}

void CProgrammerDlg::LoadFile(const std::string& path) {
    m_core.m_noFileLoaded = 1;
    // The running line trace is no image: it grows while it is read.
    velmo::LoadedImage loaded;
    if (m_files && m_files->Writes(path)) {
        loaded.error = velmo::LoadError::CannotOpen;
        velmo::ClearImage(loaded.image);
    } else {
        loaded = velmo::LoadImageFile(path);
    }
    // A failed load leaves the image erased, so nothing of an earlier file is programmed.
    m_core.m_image = loaded.image;
    const bool opened = loaded.error != velmo::LoadError::CannotOpen;
    if (opened) {
        m_strFileName = velmo::FileNameFromPath(path);
        Repaint();
        SetFileTip(path);
    }
    // A HEX file that loads says nothing in the status bar; a binary one says it was opened.
    if (!opened) {
        SetStatusText(velmo::kOpenFailed);
    } else if (loaded.format == velmo::ImageFormat::Binary) {
        SetStatusText(velmo::kOpened);
    }
    if (loaded.error == velmo::LoadError::TooLarge) ShowMessage(velmo::kTooLarge);
    if (loaded.Loaded()) {
        m_core.m_imageCrc = loaded.crc;
        m_strCrc = velmo::FormatCrc(loaded.crc);
        MembersToControls();
        m_core.m_noFileLoaded = 0;
    }
    MembersToControls();
    Repaint();
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
    SaveReadImage(path.toStdString());
}

bool CProgrammerDlg::SaveReadImage(const std::string& path) {
    if (velmo::SaveImageFile(path, m_core.m_readImage)) return true;
    ShowMessage(kSaveFailed);
    return false;
}

void CProgrammerDlg::OnExit() {
    OnClose();
}

void CProgrammerDlg::OnClose() {
    m_core.ShutdownDriver();
    m_processExit(ExitCode());
}

void CProgrammerDlg::OnErase() {
    RunDeviceCommand(kErase, [this] { m_core.Erase(); });
}
velmo::ProgramOutcome CProgrammerDlg::OnProgram() {
    return RunDeviceCommand(kProgram, [this] { return m_core.Program(); });
}
void CProgrammerDlg::OnRead() {
    RunDeviceCommand(kRead, [this] { m_core.Read(); });
}
void CProgrammerDlg::OnVerify() {
    RunDeviceCommand(kVerify, [this] { m_core.Verify(); });
}
void CProgrammerDlg::OnLockBits() {
    // The boxes as they stand now are the ones the operation takes into its members.
    const velmo::LockBitChoice bits = {m_lockBits[0]->isChecked(), m_lockBits[1]->isChecked(),
                                       m_lockBits[2]->isChecked()};
    RunDeviceCommand(kLockBits, [this, &bits] { m_core.WriteLockBits(bits); });
    Repaint();
}
void CProgrammerDlg::OnAbort() {
    m_core.Abort();
}

void CProgrammerDlg::OnClockRate() {
    m_clockDlg.SetValue(m_core.ClockRate());
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
    CAboutInfoDlg dialog(this, QString::fromStdString(PortDescription()));
    dialog.exec();
}

void CProgrammerDlg::OnHelp() {
    // Like every command without a menu item reachable then: nothing while an operation runs.
    if (OperationRunning()) return;
    if (!m_helpWindow) m_helpWindow = new CHelpWindow(this);
    m_helpWindow->show();
    m_helpWindow->raise();
    m_helpWindow->activateWindow();
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
    RunDeviceCommand(kProgram, [this, &path] {
        LoadFile(path);
        return m_core.Program();
    });
}

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
