#pragma once

#include <array>
#include <csignal>
#include <cstdint>
#include <string>
#include <vector>

#include "image/FlashImage.h"
#include "timing/Clock.h"
#include "isp/IspProtocol.h"
#include "port/PortIo.h"
#include "isp/Settings.h"

namespace velmo::cli {

// Where a long step reports how far it got.
class StepProgress {
  public:
    virtual ~StepProgress() = default;
    virtual void Begin(const std::string& step, std::size_t total) = 0;
    virtual void Update(std::size_t done) = 0;
    virtual void Finish(const std::string& extra = "") = 0;
    virtual void Stop(const std::string& reason) = 0;
};

enum class StepOutcome { Ok, DriverFailed, BoardFailed, WriteFailed, Interrupted };

struct StepResult {
    // An interrupt that came outside the byte loops (start sequence, erase) has no address.
    static constexpr std::uint32_t kNoAddress = 0xFFFFFFFF;

    StepOutcome outcome = StepOutcome::Ok;
    std::uint32_t address = 0;  // where a write failed or the interrupt arrived
    std::uint8_t wanted = 0;    // WriteFailed: the byte that did not take
    std::uint8_t readBack = 0;  // WriteFailed: what the cell answered afterwards
    bool ok() const { return outcome == StepOutcome::Ok; }
};

struct DeviceSettings {
    std::uint16_t port = LPT1_ADDRESS;
    ProgrammerMode mode = ProgrammerMode::Board;
    std::uint32_t bitDelay = 2;
};

// One programming session on the chip: the driver's start, the mode's start sequence and
// Programming Enable, any number of steps, then the end sequence and the driver's stop.
// Every instruction and every line level comes from IspProtocol, exactly as the window
// drives them. The end sequence runs on every way out once the start sequence has begun
// (also after a board that did not answer), so the target is never left held in reset
// when the program has ended.
//
// A raised stop flag (SIGINT) ends the running step before its next byte; writing a byte
// that has started is always finished, so the chip never sees half an instruction.
class Device {
  public:
    Device(PortIo& port, Clock& clock, const DeviceSettings& settings, StepProgress& progress,
           const volatile std::sig_atomic_t* stop);
    ~Device();
    Device(const Device&) = delete;
    Device& operator=(const Device&) = delete;

    StepResult Open();
    StepResult Erase();
    // Writes every byte, or with skipBlank only those that are not 0xFF (on an erased chip).
    StepResult Write(const FlashImage& image, bool skipBlank);
    // Reads every cell into seen and writes the cells that differ from image; a written
    // cell is confirmed by the write's own read-back, and its address goes to written.
    StepResult WriteChanged(const FlashImage& image, FlashImage& seen,
                            std::vector<std::uint16_t>& written);
    // Reads the given cells again into seen (after all writes have finished).
    StepResult Reread(const std::vector<std::uint16_t>& addresses, const std::string& step,
                      FlashImage& seen);
    // Reads all 12288 cells.
    StepResult Read(const std::string& step, FlashImage& out);
    StepResult WriteLockBits(const std::array<bool, 3>& bits);
    // End sequence (when the start sequence ran) and the driver's stop; idempotent.
    void Close();

    std::string DriverMessage() const { return m_port.DriverMessage(); }

  private:
    bool StopRequested() const { return m_stop && *m_stop != 0; }
    StepResult Interrupted(std::uint32_t address);
    StepResult WriteOne(std::uint32_t address, std::uint8_t value);
    // The wait after Programming Enable, once, before the session's first instruction.
    void Settle(std::uint32_t microseconds);

    PortIo& m_port;
    Clock& m_clock;
    StepProgress& m_progress;
    const volatile std::sig_atomic_t* m_stop;
    std::uint8_t m_mode;
    std::uint32_t m_bitDelay;
    IspProtocol m_isp;
    bool m_driverStarted = false;
    bool m_linesActive = false;
    bool m_settlePending = false;
};

}  // namespace velmo::cli
