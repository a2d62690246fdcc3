// What the operations report, worded and shown: the status line, the boxes to confirm, the
// menu states of each phase and the progress bar.
#include <QApplication>
#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>

#include "image/Crc16.h"
#include "ops/Wording.h"
#include "ui/Commands.h"
#include "ui/MessageBox.h"
#include "ui/ProgrammerDlg.h"

using namespace velmo::ui;
using velmo::OperationPhase;
using velmo::ProgrammerNotice;
using velmo::ProgrammerStatus;

void CProgrammerDlg::Status(ProgrammerStatus status) {
    SetStatusText(velmo::StatusWording(status));
    // Read shows the chip's CRC as soon as it is done; the data exchange that shows it also
    // puts the lock-bit boxes back to their members.
    if (status == ProgrammerStatus::ReadDone) {
        m_strCrc = velmo::FormatCrc(m_core.m_readCrc);
        MembersToControls();
    }
}

void CProgrammerDlg::Notice(ProgrammerNotice notice) {
    ShowMessage(velmo::NoticeWording(notice));
    // A batch run whose byte did not take ends once the box is confirmed, with status 1.
    if (notice == ProgrammerNotice::ProgramFailed && m_batchActive) PostQuit(1);
}

void CProgrammerDlg::Phase(OperationPhase phase) {
    switch (phase) {
        case OperationPhase::Exclusive:
            EnterBusyMenuState();
            // Program and Lock bits take the boxes into their members as they start.
            if (m_runningCommand == kProgram || m_runningCommand == kLockBits) {
                ControlsToMembers();
            }
            break;
        case OperationPhase::Shared:
            EnterReadMenuState();
            break;
        case OperationPhase::Finished:
            RestoreIdleMenuState();
            break;
        case OperationPhase::SharedFinished:
            RestoreIdleMenuStateAfterRead();
            break;
    }
}

void CProgrammerDlg::ProgressRange(std::size_t total) {
    m_progress->setRange(0, static_cast<int>(total));
}

void CProgrammerDlg::ProgressAt(std::uint32_t address) {
    SetProgressPos(static_cast<int>(address));
}

void CProgrammerDlg::Pump() {
    QCoreApplication::processEvents();
}

QString CProgrammerDlg::StatusText() const {
    return m_statusBar ? m_statusBar->text() : QString();
}

void CProgrammerDlg::SetStatusText(const std::string& text) {
    if (m_statusBar) {
        m_statusBar->setText(QString::fromStdString(text));
        // The line is cut at the window's edge; its tip shows it whole, and below it the way
        // to the chip, so that a picture of a failing run tells it.
        const std::string way = PortDescription();
        m_statusBar->setToolTip(QString::fromStdString(way.empty() ? text : text + "\n" + way));
    }
}

std::string CProgrammerDlg::PortDescription() const {
    return m_describePort ? m_describePort() : std::string();
}

void CProgrammerDlg::ShowMessage(const std::string& text) {
    ShowMessageBox(this, QString::fromStdString(text));
}

void CProgrammerDlg::SetProgressPos(int position) {
    m_progress->setValue(position);
    m_progress->repaint();
}

void CProgrammerDlg::ControlsToMembers() {
    m_lockBit1 = m_lockBits[0]->isChecked() ? 1 : 0;
    m_lockBit2 = m_lockBits[1]->isChecked() ? 1 : 0;
    m_lockBit3 = m_lockBits[2]->isChecked() ? 1 : 0;
}

int CProgrammerDlg::LockBitMember(int number) const {
    return number == 1 ? m_lockBit1 : number == 2 ? m_lockBit2 : number == 3 ? m_lockBit3 : 0;
}

void CProgrammerDlg::MembersToControls() {
    m_lockBits[0]->setChecked(m_lockBit1 != 0);
    m_lockBits[1]->setChecked(m_lockBit2 != 0);
    m_lockBits[2]->setChecked(m_lockBit3 != 0);
    m_fileLabel->setText(QString::fromStdString(m_strFileName));
    m_crcField->setText(QString::fromStdString(m_strCrc));
}

void CProgrammerDlg::SetFileTip(const std::string& path) {
    m_fileTipPath = QString::fromStdString(path);
    m_fileLabel->setToolTip(m_fileTipPath);
}

void CProgrammerDlg::Repaint() {
    repaint();
}

void CProgrammerDlg::PostQuit(int exitCode) {
    if (!m_quitCode) m_quitCode = exitCode;
    // Like a posted quit message: it takes effect once control is back in the event loop.
    QMetaObject::invokeMethod(
        this, [this] { done(QDialog::Accepted); }, Qt::QueuedConnection);
}
