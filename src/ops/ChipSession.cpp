#include "ops/ChipSession.h"

#include <algorithm>

#include "isp/At89s53.h"
#include "ops/WriteCheck.h"

namespace velmo {

ChipSession::ChipSession(IspLink& link, Clock& clock, OperationObserver& observer,
                         ProgrammerMode mode, std::uint32_t bitDelay)
    : m_link(link),
      m_clock(clock),
      m_observer(observer),
      m_mode(mode),
      m_bitDelay(bitDelay),
      m_sockets(std::clamp(link.Sockets(), 1u, kMaxSockets)) {}

unsigned ChipSession::LiveSockets() const {
    return static_cast<unsigned>(std::count_if(m_results.begin(), m_results.begin() + m_sockets,
                                               [](const SocketResult& r) { return r.ok(); }));
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
    m_link.StartDriver();
    m_driverStarted = true;
    return m_link.DriverActive();
}

void ChipSession::StopDriver() {
    if (m_link.DriverActive()) m_link.StopDriver();
    m_driverStarted = false;
}

// Every start begins a new operation, in which every socket gets its chance again.
bool ChipSession::Start() {
    m_results.fill({});
    m_linesActive = true;
    return m_link.RunSequence(StartSequence(m_mode));
}

void ChipSession::End() {
    m_link.RunSequence(EndSequence(m_mode));
    m_linesActive = false;
}

void ChipSession::Enable() {
    m_enableAnswer = m_link.Send(chip::ProgrammingEnable(*m_chip));
    m_settlePending = true;
}

void ChipSession::Restart() {
    m_link.RunSequence(SerialRestart());
    Enable();
}

std::array<SocketBytes, 3> ChipSession::ReadSignature() {
    SettlePending(kSettleUs);
    std::array<SocketBytes, 3> signature{};
    for (unsigned i = 0; i < m_chip->signatureBytes; ++i) {
        signature[i] = m_link.Send(chip::ReadSignature(*m_chip, i, at89s53::kFixedHalfPeriodUs));
    }
    return signature;
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

StepResult ChipSession::Lost(Step step, std::uint32_t address) {
    StepResult result;
    result.outcome = StepOutcome::LinkLost;
    result.address = address;
    return Finished(step, result);
}

StepResult ChipSession::Finished(Step step, StepResult result) {
    m_observer.StepEnds(step, result);
    return result;
}

void ChipSession::Fail(unsigned socket, const SocketResult& result) {
    if (socket >= m_sockets || !m_results[socket].ok()) return;
    m_results[socket] = result;
    m_observer.SocketFailed(socket, result);
}

SocketBytes ChipSession::ReadCell(std::uint32_t address) {
    return m_link.Send(chip::Read(*m_chip, m_memory, address, m_bitDelay));
}

ChipSession::WriteCheck ChipSession::WriteByte(std::uint32_t address, std::uint8_t value) {
    if (m_completion == WriteCompletion::FixedWait) return WriteByteFixedWait(address, value);
    return WriteByteDataPolling(address, value);
}

// The chip answers a cell still being written with bit 7 inverted, so a slow write shows up
// as a mismatch after the millisecond and is polled until it finishes or the limit is
// reached. Once the user has stopped, the lines are released: no further poll goes out.
ChipSession::WriteCheck ChipSession::WriteByteFixedWait(std::uint32_t address, std::uint8_t value) {
    WriteCheck check;
    const auto live = [this](unsigned s) { return Live(s); };
    Instruction write = chip::Write(*m_chip, m_memory, address, value, m_bitDelay);
    write.afterUs = kWriteWaitUs;
    m_link.Send(write);
    if (Confirm(check, ReadCell(address), value, m_sockets, live)) return check;
    for (int poll = 1;; ++poll) {
        const SocketBytes answer = ReadCell(address);
        m_observer.Pump();
        if (Confirm(check, answer, value, m_sockets, live)) return check;
        if (m_observer.StopRequested()) {
            check.stopped = true;
            return check;
        }
        if (poll > kMaxPolls) return check;
        m_clock.Delay(kPollWaitUs);
    }
}

// Bounded by time, not by a count of reads: a slower bit clock reads less often but gives the
// chip the same time. A link with a cost per transfer gets the write and several polls in one.
ChipSession::WriteCheck ChipSession::WriteByteDataPolling(std::uint32_t address,
                                                          std::uint8_t value) {
    return DataPoll({chip::Write(*m_chip, m_memory, address, value, m_bitDelay)}, address, value);
}

ChipSession::WriteCheck ChipSession::DataPoll(std::vector<Instruction> batch, std::uint32_t address,
                                              std::uint8_t value) {
    WriteCheck check;
    const auto live = [this](unsigned s) { return Live(s); };
    const unsigned polls = std::max(1u, m_link.PollsPerTransfer());
    const std::size_t writes = batch.size();
    batch.insert(batch.end(), polls, chip::Read(*m_chip, m_memory, address, m_bitDelay));
    std::vector<SocketBytes> answers;
    const std::int64_t startNs = m_clock.NowNs();
    m_link.Transfer(batch, answers);
    for (;;) {
        // The writes' own entries come first and answer nothing.
        for (std::size_t i = answers.size() - polls; i < answers.size(); ++i) {
            if (Confirm(check, answers[i], value, m_sockets, live)) return check;
        }
        if (m_clock.NowNs() - startNs > kPollLimitNs) return check;
        m_observer.Pump();
        if (m_observer.StopRequested()) {
            check.stopped = true;
            return check;
        }
        answers.clear();
        m_link.Transfer(std::span<const Instruction>(batch).subspan(writes), answers);
    }
}

bool ChipSession::TakeWrite(std::uint32_t address, std::uint8_t value, const WriteCheck& check,
                            StepResult& result) {
    for (unsigned s = 0; s < m_sockets; ++s) {
        if (!Live(s) || check.confirmed[s]) continue;
        SocketResult failed;
        failed.fault = SocketFault::WriteFailed;
        failed.address = address;
        failed.wanted = value;
        failed.readBack = check.lastRead[s];
        Fail(s, failed);
        result.readBack = check.lastRead[s];
    }
    if (LiveSockets() > 0) return true;
    result.outcome = StepOutcome::WriteFailed;
    result.address = address;
    result.wanted = value;
    return false;
}

StepResult ChipSession::Erase() {
    SettlePending(kSettleBeforeEraseUs);
    m_observer.StepBegins(Step::Erase, m_chip->flashSize);
    if (m_completion == WriteCompletion::DataPolling) return ErasePolled();
    // Chip Erase is one instruction with its own wait; it cannot stop halfway.
    Instruction erase = chip::ChipErase(*m_chip);
    erase.afterUs = at89s53::kEraseSettleUs;
    m_link.Send(erase);
    if (LinkLost()) return Lost(Step::Erase, StepResult::kNoAddress);
    if (m_observer.StopRequested()) return Stopped(Step::Erase, StepResult::kNoAddress);
    return Finished(Step::Erase, {});
}

// While it erases, the chip answers every read with 0x00; an erased first cell answers 0xFF.
// An empty socket never does: the polling ends at twice the chip's longest erase, and
// CheckErased names it. The polls are the erase's wait, which cannot stop halfway either.
StepResult ChipSession::ErasePolled() {
    const std::int64_t startNs = m_clock.NowNs();
    const std::int64_t limitNs = 2 * std::int64_t{m_chip->eraseMaxUs} * 1000;
    m_link.Send(chip::ChipErase(*m_chip));
    const std::vector<Instruction> polls(std::max(1u, m_link.PollsPerTransfer()),
                                         chip::Read(*m_chip, ChipMemory::Flash, 0, m_bitDelay));
    std::array<bool, kMaxSockets> erased{};
    std::vector<SocketBytes> answers;
    while (!LinkLost()) {
        answers.clear();
        m_link.Transfer(polls, answers);
        bool all = true;
        for (unsigned s = 0; s < m_sockets; ++s) {
            for (const SocketBytes& answer : answers) erased[s] = erased[s] || answer[s] == 0xFF;
            all = all && (erased[s] || !Live(s));
        }
        if (all || m_clock.NowNs() - startNs > limitNs) break;
    }
    if (LinkLost()) return Lost(Step::Erase, StepResult::kNoAddress);
    if (m_observer.StopRequested()) return Stopped(Step::Erase, StepResult::kNoAddress);
    return Finished(Step::Erase, {});
}

StepResult ChipSession::CheckErased() {
    SettlePending(kSettleUs);
    const SocketBytes answer = m_link.Send(chip::Read(*m_chip, ChipMemory::Flash, 0, m_bitDelay));
    if (LinkLost()) return {StepOutcome::LinkLost};
    for (unsigned s = 0; s < m_sockets; ++s) {
        if (!Live(s) || answer[s] == 0xFF) continue;
        SocketResult failed;
        failed.fault = answer[s] == 0x00 ? SocketFault::NoChip : SocketFault::NotErased;
        failed.wanted = 0xFF;
        failed.readBack = answer[s];
        Fail(s, failed);
    }
    StepResult result;
    if (LiveSockets() == 0) result.outcome = StepOutcome::NoChip;
    return result;
}

namespace {

std::size_t CountNotBlank(const FlashImage& image, std::uint32_t size) {
    return static_cast<std::size_t>(std::count_if(image.begin(), image.begin() + size,
                                                  [](std::uint8_t b) { return b != 0xFF; }));
}

}  // namespace

StepResult ChipSession::Write(const FlashImage& image, WriteSelection selection) {
    const bool skipBlank = selection == WriteSelection::SkipBlank;
    if (m_completion == WriteCompletion::DataPolling && m_chip->Page(m_memory) > 0) {
        return WritePages(image, skipBlank);
    }
    if (Batched()) return WriteBatched(image, selection);
    std::size_t total = Size();
    if (skipBlank) total = CountNotBlank(image, Size());
    SettlePending(kSettleUs);
    m_observer.StepBegins(Step::Write, total);
    StepResult result;
    if (LiveSockets() == 0) return Finished(Step::Write, {StepOutcome::NoChip});
    for (std::uint32_t address = 0; address < Size(); ++address) {
        const std::uint8_t value = image[address];
        if (skipBlank && value == 0xFF) continue;
        m_observer.Pump();
        if (m_observer.StopRequested()) return Stopped(Step::Write, address);
        if (LinkLost()) return Lost(Step::Write, address);
        const WriteCheck check = WriteByte(address, value);
        // A stop during the polling leaves the cell to the chip's own timing.
        if (check.stopped) return Stopped(Step::Write, address);
        if (!TakeWrite(address, value, check, result)) return Finished(Step::Write, result);
        m_observer.ByteDone(address, ++result.written);
    }
    if (LinkLost()) return Lost(Step::Write, StepResult::kNoAddress);
    return Finished(Step::Write, result);
}

// A page goes in with one instruction and is polled at its last byte; with skipBlank, pages
// that hold nothing but 0xFF are left as the erase left them.
StepResult ChipSession::WritePages(const FlashImage& image, bool skipBlank) {
    const std::uint32_t page = m_chip->Page(m_memory);
    const auto blank = [&](std::uint32_t start) {
        return std::all_of(image.begin() + start, image.begin() + start + page,
                           [](std::uint8_t b) { return b == 0xFF; });
    };
    std::size_t total = 0;
    for (std::uint32_t start = 0; start < Size(); start += page) {
        if (!skipBlank || !blank(start)) total += page;
    }
    SettlePending(kSettleUs);
    m_observer.StepBegins(Step::Write, total);
    StepResult result;
    if (LiveSockets() == 0) return Finished(Step::Write, {StepOutcome::NoChip});
    for (std::uint32_t start = 0; start < Size(); start += page) {
        if (skipBlank && blank(start)) continue;
        m_observer.Pump();
        if (m_observer.StopRequested()) return Stopped(Step::Write, start);
        if (LinkLost()) return Lost(Step::Write, start);
        std::vector<Instruction> writes;
        chip::WritePage(*m_chip, m_memory, start,
                        std::span<const std::uint8_t>(image.data() + start, page), m_bitDelay,
                        writes);
        const std::uint32_t last = start + page - 1;
        const WriteCheck check = DataPoll(std::move(writes), last, image[last]);
        if (check.stopped) return Stopped(Step::Write, start);
        if (!TakeWrite(last, image[last], check, result)) return Finished(Step::Write, result);
        for (std::uint32_t address = start; address <= last; ++address) {
            m_observer.ByteDone(address, ++result.written);
        }
    }
    return Finished(Step::Write, result);
}

StepResult ChipSession::WriteChanged(const FlashImage& image, std::span<FlashImage> seen,
                                     std::vector<std::uint16_t>& written) {
    if (Batched()) return WriteChangedBatched(image, seen, written);
    SettlePending(kSettleUs);
    m_observer.StepBegins(Step::Compare, Size());
    StepResult result;
    if (LiveSockets() == 0) return Finished(Step::Compare, {StepOutcome::NoChip});
    const unsigned kept = std::min<unsigned>(m_sockets, static_cast<unsigned>(seen.size()));
    for (std::uint32_t address = 0; address < Size(); ++address) {
        m_observer.Pump();
        if (m_observer.StopRequested()) return Stopped(Step::Compare, address);
        if (LinkLost()) return Lost(Step::Compare, address);
        const SocketBytes answer = ReadCell(address);
        bool differs = false;
        for (unsigned s = 0; s < m_sockets; ++s) {
            if (s < kept) seen[s][address] = answer[s];
            differs = differs || (Live(s) && answer[s] != image[address]);
        }
        if (differs) {
            std::array<bool, kMaxSockets> wasLive{};
            for (unsigned s = 0; s < m_sockets; ++s) wasLive[s] = Live(s);
            const WriteCheck check = WriteByte(address, image[address]);
            // The sockets left out keep what they answered to the read above.
            for (unsigned s = 0; s < kept; ++s) {
                if (wasLive[s]) seen[s][address] = check.lastRead[s];
            }
            if (check.stopped) return Stopped(Step::Compare, address);
            if (!TakeWrite(address, image[address], check, result)) {
                return Finished(Step::Compare, result);
            }
            written.push_back(static_cast<std::uint16_t>(address));
            ++result.written;
        }
        m_observer.ByteDone(address, address + 1);
    }
    if (LinkLost()) return Lost(Step::Compare, StepResult::kNoAddress);
    return Finished(Step::Compare, result);
}

StepResult ChipSession::Reread(const std::vector<std::uint16_t>& addresses,
                               std::span<FlashImage> seen) {
    if (Batched()) return RereadBatched(addresses, seen);
    SettlePending(kSettleUs);
    m_observer.StepBegins(Step::Reread, addresses.size());
    std::size_t done = 0;
    for (std::uint16_t address : addresses) {
        m_observer.Pump();
        if (m_observer.StopRequested()) return Stopped(Step::Reread, address);
        if (LinkLost()) return Lost(Step::Reread, address);
        const SocketBytes answer = ReadCell(address);
        for (std::size_t s = 0; s < seen.size() && s < m_sockets; ++s) seen[s][address] = answer[s];
        m_observer.ByteDone(address, ++done);
    }
    if (LinkLost()) return Lost(Step::Reread, StepResult::kNoAddress);
    return Finished(Step::Reread, {});
}

StepResult ChipSession::Read(Step step, std::span<FlashImage> out) {
    if (Batched()) return ReadBatched(step, out);
    SettlePending(kSettleUs);
    m_observer.StepBegins(step, Size());
    for (std::uint32_t address = 0; address < Size(); ++address) {
        m_observer.Pump();
        if (m_observer.StopRequested()) return Stopped(step, address);
        if (LinkLost()) return Lost(step, address);
        const SocketBytes answer = ReadCell(address);
        for (std::size_t s = 0; s < out.size() && s < m_sockets; ++s) out[s][address] = answer[s];
        m_observer.ByteDone(address, address + 1);
    }
    if (LinkLost()) return Lost(step, StepResult::kNoAddress);
    return Finished(step, {});
}

StepResult ChipSession::Verify(const FlashImage& expected, std::span<FlashImage> seen,
                               ImageDifference& difference) {
    const StepResult result = Read(Step::Verify, seen);
    if (!result.ok()) return result;
    if (!seen.empty()) difference = CompareImages(expected, seen[0]);
    CheckImages(expected, seen);
    return result;
}

void ChipSession::CheckImages(const FlashImage& expected, std::span<const FlashImage> seen) {
    for (unsigned s = 0; s < m_sockets && s < seen.size(); ++s) {
        if (!Live(s)) continue;
        const ImageDifference difference = CompareImages(expected, seen[s]);
        if (difference.Equal()) continue;
        SocketResult failed;
        failed.fault = SocketFault::Mismatch;
        failed.address = difference.firstAddress;
        failed.wanted = difference.expected;
        failed.readBack = difference.actual;
        failed.differing = difference.count;
        Fail(s, failed);
    }
}

void ChipSession::WriteLockBits(const LockBitChoice& bits) {
    SettlePending(kSettleUs);
    const std::vector<Instruction> writes = chip::WriteLockBits(*m_chip, bits);
    std::vector<SocketBytes> answers;
    m_link.Transfer(writes, answers);
}

std::array<LockBitChoice, kMaxSockets> ChipSession::ReadLockBits() {
    SettlePending(kSettleUs);
    const SocketBytes answer = m_link.Send(chip::ReadLockBits(*m_chip, m_bitDelay));
    std::array<LockBitChoice, kMaxSockets> bits{};
    for (unsigned s = 0; s < m_sockets; ++s) bits[s] = chip::LockBitsRead(*m_chip, answer[s]);
    return bits;
}

}  // namespace velmo
