// The steps over a link whose every transfer costs a fixed time of its own (a USB adapter's
// round trip), when writes are confirmed by polling. A run of reads goes in one transfer. A
// byte's write goes out behind the polls of the byte before, so that the chip writes while the
// answers travel: write, then in the next transfer poll, poll, ..., next write. The polls show
// when the chip finished; a write counts only when a poll in front of it proved the byte
// before finished, since the chip ignores a write while it is busy. A guess that was too short
// costs a transfer and the write once more, never a wrong byte.
#include <algorithm>
#include <optional>

#include "isp/Chips.h"
#include "ops/ChipSession.h"
#include "ops/WriteCheck.h"

namespace velmo {

namespace {

// After this many bytes in a row confirmed before the last poll of their transfer, the polls
// come down to the most any of them needed.
constexpr int kEarlyBeforeFewerPolls = 16;

}  // namespace

bool ChipSession::Batched() const {
    return m_completion == WriteCompletion::DataPolling && m_link.PollsPerTransfer() > 1;
}

bool ChipSession::WriteCells(Step step, std::span<const Cell> cells, StepResult& result,
                             const CellDone& done) {
    const auto live = [this](unsigned s) { return Live(s); };
    const unsigned room = std::max(2u, m_link.PollsPerTransfer());
    PollPace& pace = m_pace;
    pace.polls = std::clamp(pace.polls, 1u, room - 1);
    // A byte confirmed by its needed-th poll of polls sent.
    const auto paced = [&pace](unsigned needed, unsigned polls) {
        pace.needed = std::max(pace.needed, needed);
        if (needed == polls) {
            pace.early = 0;
            pace.needed = 0;
        } else if (++pace.early >= kEarlyBeforeFewerPolls) {
            pace.polls = pace.needed;
            pace.early = 0;
            pace.needed = 0;
        }
    };
    struct Pending {
        Cell cell;
        WriteCheck check;
        std::int64_t sinceNs;
    };
    std::optional<Pending> pending;
    std::size_t next = 0;
    std::vector<Instruction> batch;
    std::vector<SocketBytes> answers;
    while (pending || next < cells.size()) {
        const std::uint32_t at = pending ? pending->cell.address : cells[next].address;
        m_observer.Pump();
        if (m_observer.StopRequested()) {
            result = Stopped(step, at);
            return false;
        }
        if (LinkLost()) {
            result = Lost(step, at);
            return false;
        }
        batch.clear();
        const unsigned polls = pace.polls;
        if (pending)
            batch.insert(batch.end(), polls, chip::Read(*m_chip, m_memory, at, m_bitDelay));
        const bool writes = next < cells.size();
        if (writes) {
            batch.push_back(
                chip::Write(*m_chip, m_memory, cells[next].address, cells[next].value, m_bitDelay));
        }
        answers.clear();
        const std::int64_t sentNs = m_clock.NowNs();
        m_link.Transfer(batch, answers);
        bool finished = !pending;
        if (pending) {
            for (unsigned i = 0; i < polls && !finished; ++i) {
                finished =
                    Confirm(pending->check, answers[i], pending->cell.value, m_sockets, live);
                if (finished) paced(i + 1, polls);
            }
            // Too few: half as many again, so that a slow chip is found in a few bytes.
            if (!finished) pace.polls = std::min(polls + (polls + 1) / 2, room - 1);
            // The sockets that never answered the byte drop out; the write behind the polls
            // then reached the others after they had finished.
            if (finished || m_clock.NowNs() - pending->sinceNs > kPollLimitNs) {
                std::array<bool, kMaxSockets> wasLive{};
                for (unsigned s = 0; s < m_sockets; ++s) wasLive[s] = Live(s);
                if (!TakeWrite(pending->cell.address, pending->cell.value, pending->check,
                               result)) {
                    result = Finished(step, result);
                    return false;
                }
                done(pending->cell, pending->check, wasLive);
                pending.reset();
                finished = true;
            }
        }
        // A write that went out before the byte in front was proven finished goes again.
        if (writes && finished) pending = Pending{cells[next++], {}, sentNs};
    }
    return true;
}

StepResult ChipSession::WriteBatched(const FlashImage& image, WriteSelection selection) {
    std::vector<Cell> cells;
    for (std::uint32_t address = 0; address < Size(); ++address) {
        if (selection == WriteSelection::SkipBlank && image[address] == 0xFF) continue;
        cells.push_back({address, image[address]});
    }
    SettlePending(kSettleUs);
    m_observer.StepBegins(Step::Write, cells.size());
    StepResult result;
    if (LiveSockets() == 0) return Finished(Step::Write, {StepOutcome::NoChip});
    const bool written =
        WriteCells(Step::Write, cells, result, [&](const Cell& cell, auto&, auto&) {
            m_observer.ByteDone(cell.address, ++result.written);
        });
    if (!written) return result;
    return Finished(Step::Write, result);
}

StepResult ChipSession::ReadBatched(Step step, std::span<FlashImage> out) {
    SettlePending(kSettleUs);
    m_observer.StepBegins(step, Size());
    std::vector<std::uint16_t> all(Size());
    for (std::uint32_t address = 0; address < Size(); ++address) {
        all[address] = static_cast<std::uint16_t>(address);
    }
    return RereadBatchedAs(step, all, out);
}

StepResult ChipSession::RereadBatched(const std::vector<std::uint16_t>& addresses,
                                      std::span<FlashImage> seen) {
    SettlePending(kSettleUs);
    m_observer.StepBegins(Step::Reread, addresses.size());
    return RereadBatchedAs(Step::Reread, addresses, seen);
}

// The reads of one transfer; the front end's turn comes between transfers.
StepResult ChipSession::RereadBatchedAs(Step step, const std::vector<std::uint16_t>& addresses,
                                        std::span<FlashImage> out) {
    const std::size_t room = m_link.PollsPerTransfer();
    std::vector<Instruction> batch;
    std::vector<SocketBytes> answers;
    for (std::size_t first = 0; first < addresses.size(); first += room) {
        m_observer.Pump();
        if (m_observer.StopRequested()) return Stopped(step, addresses[first]);
        if (LinkLost()) return Lost(step, addresses[first]);
        const std::size_t count = std::min(room, addresses.size() - first);
        batch.clear();
        for (std::size_t i = 0; i < count; ++i) {
            batch.push_back(chip::Read(*m_chip, m_memory, addresses[first + i], m_bitDelay));
        }
        answers.clear();
        m_link.Transfer(batch, answers);
        for (std::size_t i = 0; i < count; ++i) {
            const std::uint16_t address = addresses[first + i];
            for (std::size_t s = 0; s < out.size() && s < m_sockets; ++s) {
                out[s][address] = answers[i][s];
            }
            m_observer.ByteDone(address, step == Step::Reread ? first + i + 1 : address + 1u);
        }
    }
    if (LinkLost()) return Lost(step, StepResult::kNoAddress);
    return Finished(step, {});
}

// Reads a run of cells, then writes those that differ in any live socket, run by run.
StepResult ChipSession::WriteChangedBatched(const FlashImage& image, std::span<FlashImage> seen,
                                            std::vector<std::uint16_t>& written) {
    SettlePending(kSettleUs);
    m_observer.StepBegins(Step::Compare, Size());
    StepResult result;
    if (LiveSockets() == 0) return Finished(Step::Compare, {StepOutcome::NoChip});
    const unsigned kept = std::min<unsigned>(m_sockets, static_cast<unsigned>(seen.size()));
    const std::size_t room = m_link.PollsPerTransfer();
    std::vector<Instruction> batch;
    std::vector<SocketBytes> answers;
    std::vector<Cell> differing;
    for (std::uint32_t first = 0; first < Size(); first += static_cast<std::uint32_t>(room)) {
        m_observer.Pump();
        if (m_observer.StopRequested()) return Stopped(Step::Compare, first);
        if (LinkLost()) return Lost(Step::Compare, first);
        const auto count = static_cast<std::uint32_t>(std::min<std::size_t>(room, Size() - first));
        batch.clear();
        for (std::uint32_t i = 0; i < count; ++i) {
            batch.push_back(chip::Read(*m_chip, m_memory, first + i, m_bitDelay));
        }
        answers.clear();
        m_link.Transfer(batch, answers);
        differing.clear();
        for (std::uint32_t i = 0; i < count; ++i) {
            const std::uint32_t address = first + i;
            bool differs = false;
            for (unsigned s = 0; s < m_sockets; ++s) {
                if (s < kept) seen[s][address] = answers[i][s];
                differs = differs || (Live(s) && answers[i][s] != image[address]);
            }
            if (differs) differing.push_back({address, image[address]});
        }
        // The sockets left out keep what they answered to the reads above.
        const bool ok = WriteCells(Step::Compare, differing, result,
                                   [&](const Cell& cell, const WriteCheck& check, auto& wasLive) {
                                       for (unsigned s = 0; s < kept; ++s) {
                                           if (wasLive[s])
                                               seen[s][cell.address] = check.lastRead[s];
                                       }
                                       written.push_back(static_cast<std::uint16_t>(cell.address));
                                       ++result.written;
                                   });
        if (!ok) return result;
        for (std::uint32_t i = 0; i < count; ++i) m_observer.ByteDone(first + i, first + i + 1);
    }
    if (LinkLost()) return Lost(Step::Compare, StepResult::kNoAddress);
    return Finished(Step::Compare, result);
}

}  // namespace velmo
