// The window's start and its fixed menu and toolbar states: which commands can be used is
// never worked out from the state of the program, it is switched between these lists.
#include <QAction>
#include <QApplication>
#include <QMenu>

#include "ops/Wording.h"
#include "ui/Commands.h"
#include "ui/MessageBox.h"
#include "ui/ProgrammerDlg.h"

using namespace velmo::ui;

namespace {

const int kDeviceItems[] = {kProgram, kVerify, kRead, kLockBits, kErase};
const int kBusyButtons[] = {kProgram, kFileOpen, kFileSaveAs, kRead};

}  // namespace

bool CProgrammerDlg::OnInitDialog() {
    MembersToControls();
    // The window menu of this platform cannot be extended, so the About entry lives in the
    // "?" menu only.
    setAcceptDrops(true);
    setWindowIcon(QApplication::windowIcon());
    CreateToolBar();
    CreateStatusBar();
    InitFileTip();

    const bool running = m_core.StartDriver();
    if (running) {
        SetStatusText(velmo::kDriverStarted);
    } else {
        const std::string failure = velmo::kDriverFailed + m_core.DriverMessage();
        SetStatusText(failure);
        // The driver's reason and its advice (group lp, modprobe) rarely fit the status
        // line; a start from a terminal shows them whole there.
        WriteErrorLine(ApplicationCaption() + QStringLiteral(": ") +
                       QString::fromStdString(failure));
        EnterDriverFailureState();
    }
    SetItemEnabled(kAbort, false);
    SetButtonEnabled(kAbort, false);
    m_core.m_errorFlag = 0;

    if (!m_batchActive) {
        m_core.SelectMode(velmo::ProgrammerMode::Board);
        m_core.SetPortAddress(velmo::LPT1_ADDRESS);
        SetChecked(kModeBoard, true);
        OnPortLpt1();
        if (running) m_core.IdleLines();
        m_core.UseInteractiveClock();
    }
    m_core.m_noFileLoaded = 1;
    return running;
}

void CProgrammerDlg::EnterDriverFailureState() {
    for (int command : kDeviceItems) SetItemEnabled(command, false);
    SetItemEnabled(kAbort, false);
    for (int command : {kPortLpt1, kPortLpt2, kPortLpt3}) SetItemEnabled(command, false);
    for (int command : {kProgram, kRead, kAbort}) SetButtonEnabled(command, false);
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
    static constexpr std::uint16_t kAddresses[] = {velmo::LPT1_ADDRESS, velmo::LPT2_ADDRESS,
                                                   velmo::LPT3_ADDRESS};
    if (index < 1 || index > 3) return;
    m_portIndex = index;
    SetChecked(kPortLpt1, index == 1);
    SetChecked(kPortLpt2, index == 2);
    SetChecked(kPortLpt3, index == 3);
    m_core.SetPortAddress(kAddresses[index - 1]);
}

void CProgrammerDlg::CheckCommandLineSettings() {
    if (m_core.Mode() == velmo::ProgrammerMode::Raw) SetChecked(kModeRaw, true);
    if (m_core.Mode() == velmo::ProgrammerMode::Board) SetChecked(kModeBoard, true);
    if (m_portIndex == 1) SetChecked(kPortLpt1, true);
    if (m_portIndex == 2) SetChecked(kPortLpt2, true);
    if (m_portIndex == 3) SetChecked(kPortLpt3, true);
}
