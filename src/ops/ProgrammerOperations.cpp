#include "ops/Programmer.h"

#include "image/Crc16.h"

namespace velmo {

namespace {
constexpr char kBoardFailed[] = "Fehler beim Initialisieren des Velmo-Boards";
constexpr char kAborted[] = "Aktion abgebrochen";
constexpr char kChooseFile[] = "Bitte wählen Sie zuerst eine Datei aus!";
constexpr char kErasing[] = "Lösche Flash..";
constexpr char kErased[] = "Flash gelöscht";
constexpr char kProgramming[] = "Programmieren des Controllers...";
constexpr char kProgrammed[] = "Datei erfolgreich programmiert!";
constexpr char kProgramFailed[] = "Fehler beim Programmieren!";
constexpr char kVerifying[] = "Verifiziere geladene Datei mit Speicherinhalt...";
constexpr char kVerified[] = "Verifizierung beendet!";
constexpr char kVerifyMatch[] = "Geladene Datei und Speicherinhalt stimmen überein!";
constexpr char kVerifyMismatch[] = "Geladene Datei und Speicherinhalt stimmen nicht überein!";
constexpr char kReading[] = "Lese Speicherinhalt aus...";
constexpr char kRead[] = "Speicherinhalt ausgelesen!";
constexpr char kWritingLockBits[] = "Schreibe Lock-Bits";
constexpr char kLockBitsWritten[] = "Lock-Bits geschrieben";

// Repainting the bar on every byte would cost more than the byte itself.
constexpr std::uint32_t kProgressStep = 307;
constexpr int kProgressEnd = static_cast<int>(FLASH_SIZE);

// After Programming Enable the chip needs time before it takes instructions.
constexpr std::uint32_t kEnableSettleBeforeEraseUs = 500;
constexpr std::uint32_t kEnableSettleUs = 10000;
constexpr std::uint32_t kPauseAfterEraseMs = 500;

constexpr std::uint16_t kFlashLength = static_cast<std::uint16_t>(FLASH_SIZE);
}  // namespace

void Programmer::PumpMessages() {
    m_host.PumpMessages();
}

bool Programmer::StartStep() {
    if (m_isp.StartSequence()) return true;
    // The lines stay as the failed start left them: there is no end sequence here.
    m_host.ShowMessage(kBoardFailed);
    m_host.SetStatusText(kBoardFailed);
    m_errorFlag = 1;
    return false;
}

template <typename Work>
Programmer::LoopEnd Programmer::RunByteLoop(Work work) {
    for (std::uint32_t address = 0; address < FLASH_SIZE; ++address) {
        PumpMessages();
        // Whoever set the flag (Abort, a failed write) has already restored the idle
        // state and ended the sequence.
        if (m_abortFlag == 1) {
            m_host.SetStatusText(kAborted);
            return LoopEnd::Aborted;
        }
        if (!work(address)) return LoopEnd::WorkFailed;
        if (address % kProgressStep == 0) m_host.SetProgressPos(static_cast<int>(address));
    }
    return LoopEnd::Completed;
}

void Programmer::OnErase() {
    OperationScope scope(*this);
    if (!StartStep()) return;
    m_host.SetStatusText(kErasing);
    m_isp.ProgrammingEnable();
    m_clock.Delay(kEnableSettleBeforeEraseUs);
    m_isp.ChipErase();
    m_isp.EndSequence();
    m_host.SetStatusText(kErased);
    PumpMessages();
}

void Programmer::OnProgram() {
    OperationScope scope(*this);
    // Without an image there is nothing to program, so the chip is not wiped either.
    if (m_noFileLoaded == 1) {
        m_host.ShowMessage(kChooseFile);
        return;
    }
    OnErase();
    m_clock.SleepMs(kPauseAfterEraseMs);
    PumpMessages();
    if (!StartStep()) return;
    // A command run by the pumps above (Open, a drop) may have taken the image away.
    if (m_noFileLoaded == 1) {
        m_host.ShowMessage(kChooseFile);
        return;
    }
    m_host.EnterBusyMenuState();
    m_host.ControlsToMembers();
    m_host.SetProgressRange(0, kProgressEnd);
    m_host.SetProgressPos(0);
    m_isp.ProgrammingEnable();
    m_clock.Delay(kEnableSettleUs);
    m_abortFlag = 0;
    m_host.SetStatusText(kProgramming);

    const LoopEnd end = RunByteLoop([this](std::uint32_t address) {
        return m_isp.WriteCodeByte(address, m_image[address]) != 0;
    });
    if (end == LoopEnd::Aborted) return;
    if (end == LoopEnd::WorkFailed) {
        // An Abort that came through the write's polling has already ended the sequence, so
        // the polls could only fail: the user stopped the run, the chip did not refuse it.
        if (m_abortFlag == 1) {
            m_host.SetStatusText(kAborted);
        } else {
            OnWriteFailed();
        }
        return;
    }
    m_host.SetStatusText(kProgrammed);
    m_isp.EndSequence();
    m_host.RestoreIdleMenuState();
}

void Programmer::OnWriteFailed() {
    m_isp.EndSequence();
    m_host.ShowMessage(kProgramFailed);
    // A batch run that failed must say so in its exit status.
    if (m_batch.active) m_host.PostQuit(1);
    m_host.SetStatusText(kProgramFailed);
    m_errorFlag = 1;
    m_host.RestoreIdleMenuState();
    m_abortFlag = 1;
}

void Programmer::OnVerify() {
    OperationScope scope(*this);
    if (!StartStep()) return;
    if (m_noFileLoaded == 1) {
        m_host.ShowMessage(kChooseFile);
        return;
    }
    ClearImage(m_readImage);
    m_host.SetStatusText(kVerifying);
    m_host.EnterBusyMenuState();
    m_isp.ProgrammingEnable();
    m_clock.Delay(kEnableSettleUs);
    m_host.SetProgressRange(0, kProgressEnd);
    m_abortFlag = 0;

    const LoopEnd end = RunByteLoop([this](std::uint32_t address) {
        m_readImage[address] = m_isp.ReadCodeByte(address);
        return true;
    });
    if (end != LoopEnd::Completed) return;
    m_host.SetStatusText(kVerified);
    m_readCrc = m_crc.Compute(m_readImage.data(), kFlashLength);
    m_isp.EndSequence();
    // Two different images can share a CRC-16; only the bytes themselves prove agreement.
    m_host.ShowMessage(m_readImage == m_image ? kVerifyMatch : kVerifyMismatch);
    m_host.RestoreIdleMenuState();
}

void Programmer::OnRead() {
    OperationScope scope(*this);
    // Cleared first, so that a failed start leaves an erased image rather than an old one.
    ClearImage(m_readImage);
    if (!StartStep()) return;
    m_host.SetStatusText(kReading);
    m_host.EnterReadMenuState();
    m_isp.ProgrammingEnable();
    m_clock.Delay(kEnableSettleUs);
    m_host.SetProgressRange(0, kProgressEnd);
    m_abortFlag = 0;

    const LoopEnd end = RunByteLoop([this](std::uint32_t address) {
        m_readImage[address] = m_isp.ReadCodeByte(address);
        return true;
    });
    if (end != LoopEnd::Completed) return;
    m_host.SetStatusText(kRead);
    m_readCrc = m_crc.Compute(m_readImage.data(), kFlashLength);
    m_strCrc = FormatCrc(m_readCrc);
    m_host.MembersToControls();
    m_host.RestoreIdleMenuStateAfterRead();
    m_isp.EndSequence();
}

void Programmer::OnLockBits() {
    OperationScope scope(*this);
    if (!StartStep()) return;
    m_host.SetStatusText(kWritingLockBits);
    m_host.EnterBusyMenuState();
    m_host.ControlsToMembers();
    m_isp.ProgrammingEnable();
    m_clock.Delay(kEnableSettleUs);
    m_isp.WriteLockBits(m_lockBit1, m_lockBit2, m_lockBit3);
    m_host.RestoreIdleMenuState();
    m_host.SetStatusText(kLockBitsWritten);
    m_isp.EndSequence();
    m_host.Repaint();
}

void Programmer::OnAbort() {
    m_abortFlag = 1;
    m_host.RestoreIdleMenuState();
    m_isp.EndSequence();
}

}  // namespace velmo
