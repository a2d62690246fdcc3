#include "ops/Programmer.h"

#include "isp/Sequences.h"

namespace velmo {

namespace {
constexpr double kInteractiveClockRate = 24.0;
constexpr std::uint32_t kInteractiveBitDelay = 20;

// Showing the position on every byte would cost more than the byte itself.
constexpr std::uint32_t kProgressStep = 307;
constexpr std::uint32_t kPauseAfterEraseMs = 500;
}  // namespace

Programmer::Programmer(IspLink& link, Clock& clock, OperationObserver& observer)
    : m_link(link),
      m_clock(clock),
      m_observer(observer),
      m_session(link, clock, m_events, ProgrammerMode::Board, kInteractiveBitDelay) {
    m_crc.BuildTable();
    // Save is available before any Read: it then writes an erased chip's image.
    ClearImage(m_image);
    ClearImage(m_readImage);
}

void Programmer::SetClockRate(double mhz) {
    m_clockRate = mhz;
    m_session.SetBitDelay(BitDelayForClockRate(mhz));
}

void Programmer::UseInteractiveClock() {
    m_clockRate = kInteractiveClockRate;
    m_session.SetBitDelay(kInteractiveBitDelay);
}

bool Programmer::StartDriver() {
    m_driverRunning = 0;
    m_driverRunning = m_session.StartDriver() ? 1 : 0;
    return m_driverRunning == 1;
}

void Programmer::ShutdownDriver() {
    if (m_driverRunning != 1) return;
    m_session.End();
    m_session.StopDriver();
    // Exit and close may both arrive; the driver is stopped once.
    m_driverRunning = 0;
}

void Programmer::IdleLines() {
    m_session.RunSequence(IdleSequence());
}

std::uint16_t Programmer::CrcOf(const FlashImage& image) const {
    return m_crc.Compute(image.data(), static_cast<std::uint16_t>(image.size()));
}

void Programmer::SessionEvents::ByteDone(std::uint32_t address, std::size_t) {
    if (address % kProgressStep == 0) m_owner.m_observer.ProgressAt(address);
}

bool Programmer::StartStep() {
    if (m_session.Start()) return true;
    // The lines stay as the failed start left them: there is no end sequence here.
    m_observer.Notice(ProgrammerNotice::BoardFailed);
    m_observer.Status(ProgrammerStatus::BoardFailed);
    m_errorFlag = 1;
    return false;
}

void Programmer::Erase() {
    OperationScope scope(*this);
    if (!StartStep()) return;
    m_observer.Status(ProgrammerStatus::Erasing);
    m_session.Enable();
    m_session.Erase();
    m_session.End();
    m_observer.Status(ProgrammerStatus::Erased);
    m_observer.Pump();
}

ProgramOutcome Programmer::Program() {
    OperationScope scope(*this);
    // Without an image there is nothing to program, so the chip is not wiped either.
    if (m_noFileLoaded == 1) {
        m_observer.Notice(ProgrammerNotice::NoImage);
        return ProgramOutcome::NoImage;
    }
    Erase();
    m_clock.SleepMs(kPauseAfterEraseMs);
    m_observer.Pump();
    if (!StartStep()) return ProgramOutcome::BoardFailed;
    // A command run by the pumps above (Open, a drop) may have taken the image away.
    if (m_noFileLoaded == 1) {
        m_observer.Notice(ProgrammerNotice::NoImage);
        return ProgramOutcome::NoImage;
    }
    m_observer.Phase(OperationPhase::Exclusive);
    m_observer.ProgressRange(FLASH_SIZE);
    m_observer.ProgressAt(0);
    m_session.Enable();
    m_session.SettleNow(ChipSession::kSettleUs);
    m_abortFlag = 0;
    m_observer.Status(ProgrammerStatus::Programming);

    const StepResult written = m_session.Write(m_image, WriteSelection::All);
    // An Abort that came through the write's polling ends the polling too: the lines are
    // released by then, and the user stopped the run, the chip did not refuse it.
    if (written.outcome == StepOutcome::Stopped) {
        // Whoever set the flag has already restored the idle state and ended the sequence.
        m_observer.Status(ProgrammerStatus::Aborted);
        return ProgramOutcome::Aborted;
    }
    // A link that failed during the write leaves bytes unwritten just the same.
    if (written.outcome == StepOutcome::WriteFailed || written.outcome == StepOutcome::LinkLost) {
        WriteFailed();
        return ProgramOutcome::WriteFailed;
    }
    m_observer.Status(ProgrammerStatus::Programmed);
    m_session.End();
    m_observer.Phase(OperationPhase::Finished);
    return ProgramOutcome::Programmed;
}

void Programmer::WriteFailed() {
    m_session.End();
    m_observer.Notice(ProgrammerNotice::ProgramFailed);
    m_observer.Status(ProgrammerStatus::ProgramFailed);
    m_errorFlag = 1;
    m_observer.Phase(OperationPhase::Finished);
    m_abortFlag = 1;
}

void Programmer::Verify() {
    OperationScope scope(*this);
    if (!StartStep()) return;
    if (m_noFileLoaded == 1) {
        m_observer.Notice(ProgrammerNotice::NoImage);
        return;
    }
    ClearImage(m_readImage);
    m_observer.Status(ProgrammerStatus::Verifying);
    m_observer.Phase(OperationPhase::Exclusive);
    m_session.Enable();
    m_session.SettleNow(ChipSession::kSettleUs);
    m_observer.ProgressRange(FLASH_SIZE);
    m_abortFlag = 0;

    ImageDifference difference;
    if (!m_session.Verify(m_image, m_readImage, difference).ok()) {
        m_observer.Status(ProgrammerStatus::Aborted);
        return;
    }
    m_observer.Status(ProgrammerStatus::Verified);
    m_readCrc = CrcOf(m_readImage);
    m_session.End();
    // Two different images can share a CRC-16; only the bytes themselves prove agreement.
    m_observer.Notice(difference.Equal() ? ProgrammerNotice::ImagesMatch
                                         : ProgrammerNotice::ImagesDiffer);
    m_observer.Phase(OperationPhase::Finished);
}

void Programmer::Read() {
    OperationScope scope(*this);
    // Cleared first, so that a failed start leaves an erased image rather than an old one.
    ClearImage(m_readImage);
    if (!StartStep()) return;
    m_observer.Status(ProgrammerStatus::Reading);
    m_observer.Phase(OperationPhase::Shared);
    m_session.Enable();
    m_session.SettleNow(ChipSession::kSettleUs);
    m_observer.ProgressRange(FLASH_SIZE);
    m_abortFlag = 0;

    if (!m_session.Read(Step::Read, m_readImage).ok()) {
        m_observer.Status(ProgrammerStatus::Aborted);
        return;
    }
    m_readCrc = CrcOf(m_readImage);
    m_observer.Status(ProgrammerStatus::ReadDone);
    m_observer.Phase(OperationPhase::SharedFinished);
    m_session.End();
}

void Programmer::WriteLockBits(const LockBitChoice& bits) {
    OperationScope scope(*this);
    if (!StartStep()) return;
    m_observer.Status(ProgrammerStatus::WritingLockBits);
    m_observer.Phase(OperationPhase::Exclusive);
    m_session.Enable();
    m_session.SettleNow(ChipSession::kSettleUs);
    m_session.WriteLockBits(bits);
    m_observer.Phase(OperationPhase::Finished);
    m_observer.Status(ProgrammerStatus::LockBitsWritten);
    m_session.End();
}

void Programmer::Abort() {
    m_abortFlag = 1;
    m_observer.Phase(OperationPhase::Finished);
    m_session.End();
}

}  // namespace velmo
