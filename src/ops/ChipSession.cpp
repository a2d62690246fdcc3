#include "ops/ChipSession.h"

namespace velmo {

ChipSession::ChipSession(PortIo& port, Clock& clock, OperationObserver& observer,
                         ProgrammerMode mode, std::uint32_t bitDelay)
    : m_port(port), m_clock(clock), m_observer(observer), m_isp(port, clock, mode, bitDelay) {
    // A write that has to poll keeps the front end alive between the polls.
    m_isp.SetPumpCallback([this] { m_observer.Pump(); });
}

StepResult ChipSession::Open() {
    if (!StartDriver()) return {StepOutcome::DriverFailed};
    if (!Start()) return {StepOutcome::BoardFailed};
    if (m_observer.StopRequested()) return {StepOutcome::Stopped};
    Enable();
    return {};
}

void ChipSession::Close() {
    if (m_linesActive) End();
    if (m_driverStarted) StopDriver();
}

bool ChipSession::StartDriver() {
    m_port.StartDriver();
    m_driverStarted = true;
    return m_port.DriverActive();
}

void ChipSession::StopDriver() {
    if (m_port.DriverActive()) m_port.StopDriver();
    m_driverStarted = false;
}

bool ChipSession::Start() {
    m_linesActive = true;
    return m_isp.StartSequence();
}

void ChipSession::End() {
    m_isp.EndSequence();
    m_linesActive = false;
}

void ChipSession::Enable() {
    m_isp.ProgrammingEnable();
    m_settlePending = true;
}

void ChipSession::SettleNow(std::uint32_t microseconds) {
    m_settlePending = false;
    m_clock.Delay(microseconds);
}

void ChipSession::SettlePending(std::uint32_t microseconds) {
    if (m_settlePending) SettleNow(microseconds);
}

StepResult ChipSession::Stopped(Step step, std::uint32_t address) {
    StepResult result;
    result.outcome = StepOutcome::Stopped;
    result.address = address;
    return Finished(step, result);
}

StepResult ChipSession::Finished(Step step, StepResult result) {
    m_observer.StepEnds(step, result);
    return result;
}

WriteCheck ChipSession::WriteByte(std::uint32_t address, std::uint8_t value) {
    if (m_completion == WriteCompletion::FixedWait) return m_isp.WriteAndCheck(address, value);
    return m_isp.WriteAndPoll(address, value, kPollLimitNs, [this] {
        m_observer.Pump();
        return m_observer.StopRequested();
    });
}

StepResult ChipSession::Erase() {
    SettlePending(kSettleBeforeEraseUs);
    m_observer.StepBegins(Step::Erase, FLASH_SIZE);
    // Chip Erase is one instruction with its own wait; it cannot stop halfway.
    m_isp.ChipErase();
    if (m_observer.StopRequested()) return Stopped(Step::Erase, StepResult::kNoAddress);
    return Finished(Step::Erase, {});
}

StepResult ChipSession::Write(const FlashImage& image, WriteSelection selection) {
    const bool skipBlank = selection == WriteSelection::SkipBlank;
    std::size_t total = FLASH_SIZE;
    if (skipBlank) total = CountNotBlank(image);
    SettlePending(kSettleUs);
    m_observer.StepBegins(Step::Write, total);
    StepResult result;
    for (std::uint32_t address = 0; address < FLASH_SIZE; ++address) {
        const std::uint8_t value = image[address];
        if (skipBlank && value == 0xFF) continue;
        m_observer.Pump();
        if (m_observer.StopRequested()) return Stopped(Step::Write, address);
        const WriteCheck check = WriteByte(address, value);
        // A stop during the polling leaves the cell to the chip's own timing.
        if (check.stopped) return Stopped(Step::Write, address);
        if (!check.confirmed) {
            result.outcome = StepOutcome::WriteFailed;
            result.address = address;
            result.wanted = value;
            result.readBack = check.lastRead;
            return Finished(Step::Write, result);
        }
        m_observer.ByteDone(address, ++result.written);
    }
    return Finished(Step::Write, result);
}

StepResult ChipSession::WriteChanged(const FlashImage& image, FlashImage& seen,
                                     std::vector<std::uint16_t>& written) {
    SettlePending(kSettleUs);
    m_observer.StepBegins(Step::Compare, FLASH_SIZE);
    StepResult result;
    for (std::uint32_t address = 0; address < FLASH_SIZE; ++address) {
        m_observer.Pump();
        if (m_observer.StopRequested()) return Stopped(Step::Compare, address);
        seen[address] = m_isp.ReadCodeByte(address);
        if (seen[address] != image[address]) {
            const WriteCheck check = WriteByte(address, image[address]);
            seen[address] = check.lastRead;
            if (check.stopped) return Stopped(Step::Compare, address);
            if (!check.confirmed) {
                result.outcome = StepOutcome::WriteFailed;
                result.address = address;
                result.wanted = image[address];
                result.readBack = check.lastRead;
                return Finished(Step::Compare, result);
            }
            written.push_back(static_cast<std::uint16_t>(address));
            ++result.written;
        }
        m_observer.ByteDone(address, address + 1);
    }
    return Finished(Step::Compare, result);
}

StepResult ChipSession::Reread(const std::vector<std::uint16_t>& addresses, FlashImage& seen) {
    SettlePending(kSettleUs);
    m_observer.StepBegins(Step::Reread, addresses.size());
    std::size_t done = 0;
    for (std::uint16_t address : addresses) {
        m_observer.Pump();
        if (m_observer.StopRequested()) return Stopped(Step::Reread, address);
        seen[address] = m_isp.ReadCodeByte(address);
        m_observer.ByteDone(address, ++done);
    }
    return Finished(Step::Reread, {});
}

StepResult ChipSession::Read(Step step, FlashImage& out) {
    SettlePending(kSettleUs);
    m_observer.StepBegins(step, FLASH_SIZE);
    for (std::uint32_t address = 0; address < FLASH_SIZE; ++address) {
        m_observer.Pump();
        if (m_observer.StopRequested()) return Stopped(step, address);
        out[address] = m_isp.ReadCodeByte(address);
        m_observer.ByteDone(address, address + 1);
    }
    return Finished(step, {});
}

StepResult ChipSession::Verify(const FlashImage& expected, FlashImage& seen,
                               ImageDifference& difference) {
    const StepResult result = Read(Step::Verify, seen);
    if (result.ok()) difference = CompareImages(expected, seen);
    return result;
}

void ChipSession::WriteLockBits(const LockBitChoice& bits) {
    SettlePending(kSettleUs);
    m_isp.WriteLockBits(bits[0] ? 1 : 0, bits[1] ? 1 : 0, bits[2] ? 1 : 0);
}

}  // namespace velmo
