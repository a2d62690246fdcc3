#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <span>
#include <string>
#include <vector>

#include "image/FlashImage.h"
#include "image/ImageCompare.h"
#include "isp/Chips.h"
#include "isp/Settings.h"
#include "link/IspLink.h"
#include "ops/OperationObserver.h"
#include "timing/Clock.h"

namespace velmo {

// Which bytes of the image a write sends.
enum class WriteSelection : std::uint8_t {
    All,        // every one of the memory's bytes
    SkipBlank,  // only those that are not 0xFF: an erased chip holds 0xFF already
};

// How a byte write learns that the chip has finished writing the cell.
enum class WriteCompletion : std::uint8_t {
    // Wait 1 ms, read back, then poll up to 201 times at 1 ms intervals, pumping between the
    // polls: the window's way, whatever the chip needs.
    FixedWait,
    // Data polling from the first read: read back at once and keep reading until the cell
    // answers the written byte, for at most kPollLimitNs; the stop request ends the polling.
    // A write costs what the chip takes, not a fixed millisecond. Chip Erase is polled the
    // same way, and a chip with pages (the AT89S8253) is written a page at a time.
    DataPolling,
};

// Work with the chips on one link: the driver, the mode's start and end sequences,
// Programming Enable, and the steps that go through a memory byte by byte. Both front ends
// run every byte loop through here, so the window and velmo-cli send the same instructions
// with the same waits. The chip is the AT89S53 and the memory its flash unless the front end
// names others; every step runs to the memory's size.
//
// Every instruction goes to all sockets at once. A socket that fails (a byte it does not take,
// a read-back that differs, no chip) is reported to the observer and left out of every later
// check, and the others go on; a step fails only when no socket is left. With one socket that
// is the plain rule: the step ends at the first byte that does not take.
//
// A step looks at the observer's stop request before each byte; a byte that has started is
// always finished, so the chip never sees half an instruction.
class ChipSession {
  public:
    // After Programming Enable the chip needs time before its next instruction: a short one
    // before Chip Erase (which waits long enough by itself afterwards), a longer one before
    // reads, writes and lock bits.
    static constexpr std::uint32_t kSettleBeforeEraseUs = 500;
    static constexpr std::uint32_t kSettleUs = 10000;
    // Data polling gives up after this long; the fixed wait's polls end after about 202 ms.
    static constexpr std::int64_t kPollLimitNs = 250'000'000;
    // The fixed wait: the first read-back a millisecond after the write, then at most this
    // many polls a millisecond apart.
    static constexpr std::uint32_t kWriteWaitUs = 1000;
    static constexpr std::uint32_t kPollWaitUs = 1000;
    static constexpr int kMaxPolls = 200;

    ChipSession(IspLink& link, Clock& clock, OperationObserver& observer,
                ProgrammerMode mode = ProgrammerMode::Board, std::uint32_t bitDelay = 20);
    // Leaves the lines and the driver as they are: a front end that opened a session closes
    // it itself (a window that ends by Escape leaves its lines alone).
    ~ChipSession() = default;
    ChipSession(const ChipSession&) = delete;
    ChipSession& operator=(const ChipSession&) = delete;

    // Told whenever they change, also while a step runs: they apply from the next byte.
    void SetMode(ProgrammerMode mode) { m_mode = mode; }
    ProgrammerMode Mode() const { return m_mode; }
    void SetBitDelay(std::uint32_t microseconds) { m_bitDelay = microseconds; }
    std::uint32_t BitDelay() const { return m_bitDelay; }
    void SetWriteCompletion(WriteCompletion completion) { m_completion = completion; }
    void SetChip(const ChipDescription& chip) { m_chip = &chip; }
    const ChipDescription& Chip() const { return *m_chip; }
    void SetMemory(ChipMemory memory) { m_memory = memory; }
    ChipMemory Memory() const { return m_memory; }
    // The bytes a step goes through.
    std::uint32_t Size() const { return m_chip->Size(m_memory); }

    // --- sockets ---
    unsigned Sockets() const { return m_sockets; }
    // How socket (counted from 0) has fared so far.
    const SocketResult& Socket(unsigned socket) const { return m_results[socket]; }
    bool Live(unsigned socket) const { return m_results[socket].ok(); }
    unsigned LiveSockets() const;
    // Leaves a socket out from now on, as a failing step does.
    void DropSocket(unsigned socket, const SocketResult& result) { Fail(socket, result); }

    // --- a whole session, for a front end that opens the chip once per run ---
    // The driver's start, the start sequence and Programming Enable.
    StepResult Open();
    // The end sequence (once the start sequence has run, also after a board that did not
    // answer) and the driver's stop; does nothing the second time.
    void Close();

    // The link failed after its start (an adapter unplugged): every step ends with LinkLost,
    // and DriverMessage says why.
    bool LinkLost() const { return m_driverStarted && !m_link.DriverActive(); }

    // --- the pieces, for a front end that frames each operation itself ---
    bool StartDriver();
    void StopDriver();
    std::string DriverMessage() const { return m_link.DriverMessage(); }
    // The mode's start sequence; false when the board did not answer (Raw mode never fails).
    bool Start();
    void End();
    // Any line sequence, outside the start and end.
    void RunSequence(std::span<const LineStep> steps) { m_link.RunSequence(steps); }
    // Programming Enable; the settle it needs comes before the next step, or now.
    void Enable();
    void SettleNow(std::uint32_t microseconds);
    // What each socket answered in Programming Enable's fourth byte (kEnableAnswer from an
    // AT89S51/52).
    const SocketBytes& EnableAnswer() const { return m_enableAnswer; }
    // RST low and high again, then Programming Enable: the chip starts afresh, whatever part
    // of an instruction it had taken.
    void Restart();
    // The chip's signature bytes as every socket reads them.
    std::array<SocketBytes, 3> ReadSignature();

    // --- steps; seen and out hold one image per socket ---
    StepResult Erase();
    // Reads the first flash cell of every socket after an erase: 0x00 there is an empty
    // socket (its MISO pulled low), anything but 0xFF a chip that did not erase.
    StepResult CheckErased();
    StepResult Write(const FlashImage& image, WriteSelection selection);
    // Reads every cell into seen and writes the cells that differ from image in any socket
    // (the chip erases a written cell by itself); a written cell is confirmed by the write's
    // own read-back and its address goes to written.
    StepResult WriteChanged(const FlashImage& image, std::span<FlashImage> seen,
                            std::vector<std::uint16_t>& written);
    // Reads the given cells again into seen, after all writes have finished.
    StepResult Reread(const std::vector<std::uint16_t>& addresses, std::span<FlashImage> seen);
    // Reads every cell; step names what the reading is for.
    StepResult Read(Step step, std::span<FlashImage> out);
    StepResult Read(Step step, FlashImage& out) { return Read(step, std::span(&out, 1)); }
    // Reads every cell into seen and compares them with expected, byte by byte; a socket
    // that differs fails with its first difference. difference: the first socket's.
    StepResult Verify(const FlashImage& expected, std::span<FlashImage> seen,
                      ImageDifference& difference);
    StepResult Verify(const FlashImage& expected, FlashImage& seen, ImageDifference& difference) {
        return Verify(expected, std::span(&seen, 1), difference);
    }
    // Compares what every live socket holds with expected; those that differ fail.
    void CheckImages(const FlashImage& expected, std::span<const FlashImage> seen);
    void WriteLockBits(const LockBitChoice& bits);
    // The lock bits as every socket reads them back (chips whose lockBitsReadable).
    std::array<LockBitChoice, kMaxSockets> ReadLockBits();

  private:
    struct WriteCheck;
    struct Cell;
    void SettlePending(std::uint32_t microseconds);
    StepResult Lost(Step step, std::uint32_t address);
    StepResult Stopped(Step step, std::uint32_t address);
    WriteCheck WriteByte(std::uint32_t address, std::uint8_t value);
    WriteCheck WriteByteFixedWait(std::uint32_t address, std::uint8_t value);
    WriteCheck WriteByteDataPolling(std::uint32_t address, std::uint8_t value);
    // Sends writes, then reads address until every live socket answers value.
    WriteCheck DataPoll(std::vector<Instruction> writes, std::uint32_t address, std::uint8_t value);
    StepResult WritePages(const FlashImage& image, bool skipBlank);
    StepResult ErasePolled();
    // Drops the sockets the write left unconfirmed; a failed step when none is left.
    bool TakeWrite(std::uint32_t address, std::uint8_t value, const WriteCheck& check,
                   StepResult& result);
    void Fail(unsigned socket, const SocketResult& result);
    SocketBytes ReadCell(std::uint32_t address);
    StepResult Finished(Step step, StepResult result);

    // Where a transfer has a cost of its own (a USB round trip: PollsPerTransfer() > 1) and the
    // writes are polled (velmo-cli), reads go as long runs, and each byte's write goes out
    // behind the polls of the byte before, in ChipSessionBatched.cpp.
    bool Batched() const;
    StepResult ReadBatched(Step step, std::span<FlashImage> out);
    StepResult RereadBatched(const std::vector<std::uint16_t>& addresses,
                             std::span<FlashImage> seen);
    StepResult RereadBatchedAs(Step step, const std::vector<std::uint16_t>& addresses,
                               std::span<FlashImage> out);
    StepResult WriteBatched(const FlashImage& image, WriteSelection selection);
    StepResult WriteChangedBatched(const FlashImage& image, std::span<FlashImage> seen,
                                   std::vector<std::uint16_t>& written);
    // Writes cells, each confirmed by its polls before the next counts as written; done runs
    // for each confirmed cell with its check and which sockets were in the run for it.
    using CellDone = std::function<void(const Cell&, const WriteCheck&,
                                        const std::array<bool, kMaxSockets>& wasLive)>;
    bool WriteCells(Step step, std::span<const Cell> cells, StepResult& result,
                    const CellDone& done);

    IspLink& m_link;
    Clock& m_clock;
    OperationObserver& m_observer;
    ProgrammerMode m_mode;
    std::uint32_t m_bitDelay;
    unsigned m_sockets;
    std::array<SocketResult, kMaxSockets> m_results{};
    bool m_driverStarted = false;
    bool m_linesActive = false;
    bool m_settlePending = false;
    WriteCompletion m_completion = WriteCompletion::FixedWait;
    const ChipDescription* m_chip = &chip::Describe(ChipKind::At89s53);
    ChipMemory m_memory = ChipMemory::Flash;
    SocketBytes m_enableAnswer{};
    // How many polls the batched writes send in front of the next write, learnt as they go:
    // the chip's write time does not change, the round trips may jitter.
    struct PollPace {
        unsigned polls = 1;
        int early = 0;        // confirmations in a row before the last poll
        unsigned needed = 0;  // the most polls one of them needed
    };
    PollPace m_pace;
};

}  // namespace velmo
