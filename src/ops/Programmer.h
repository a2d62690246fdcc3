#pragma once

#include <cstdint>
#include <string>

#include "image/Crc16.h"
#include "image/FlashImage.h"
#include "isp/Settings.h"
#include "link/IspLink.h"
#include "ops/ChipSession.h"
#include "ops/OperationObserver.h"
#include "timing/Clock.h"

namespace velmo {

// How Program ended.
enum class ProgramOutcome : std::uint8_t {
    Programmed,   // every byte written and confirmed
    NoImage,      // no usable image was loaded; the chip was left alone
    BoardFailed,  // the board did not answer before the writing began
    WriteFailed,  // a byte did not take; the bytes before it are written
    Aborted,      // stopped by the user
};

// The programmer as the main window runs it: the settings, both images with their CRCs, the
// abort and error flags and the five device operations, each framed by the mode's start and
// end sequence in the order the window shows them. It talks to the window only through its
// OperationObserver; its byte loops are ChipSession's, the same as velmo-cli's.
class Programmer {
  public:
    Programmer(IspLink& link, Clock& clock, OperationObserver& observer);

    // --- settings ---
    void SetPortAddress(std::uint16_t address) { m_link.SetBaseAddress(address); }
    std::uint16_t PortAddress() const { return m_link.BaseAddress(); }
    // Stores the rate and derives the bit delay from it; a running Read takes the new delay
    // from its next byte.
    void SetClockRate(double mhz);
    // An interactive start runs with this slow, safe half-period until the user confirms a
    // clock rate.
    void UseInteractiveClock();
    double ClockRate() const { return m_clockRate; }
    std::uint32_t BitDelay() const { return m_session.BitDelay(); }
    void SelectMode(ProgrammerMode mode) { m_session.SetMode(mode); }
    ProgrammerMode Mode() const { return m_session.Mode(); }

    // --- driver ---
    IspLink& Link() { return m_link; }
    // Starts the driver; returns whether it runs (m_driverRunning).
    bool StartDriver();
    std::string DriverMessage() const { return m_session.DriverMessage(); }
    // Exit and close: the end sequence and the driver's stop, when it runs.
    void ShutdownDriver();
    // The lines as an interactive start leaves them: interface off, target out of reset.
    void IdleLines();

    // --- device operations ---
    void Erase();
    ProgramOutcome Program();
    void Verify();
    void Read();
    void WriteLockBits(const LockBitChoice& bits);
    // Stops the running byte loop before its next byte (or the polling of its byte) and
    // releases the lines now.
    void Abort();
    // The running byte loop is to stop: set by Abort and by a failed write, cleared when the
    // next byte loop begins.
    bool AbortRequested() const { return m_abortFlag == 1; }

    // True from the start of a device operation to its end, also while a command that came
    // through its pump runs.
    bool OperationRunning() const { return m_operationDepth > 0; }

    // --- state ---
    int m_driverRunning = 0;
    int m_errorFlag = 0;  // a device operation has failed since start
    int m_noFileLoaded = 1;
    CCrc16 m_crc;
    FlashImage m_image{};      // the loaded file, programmed and verified against
    FlashImage m_readImage{};  // what Read or Verify last got from the chip
    std::uint16_t m_imageCrc = 0;
    std::uint16_t m_readCrc = 0;

  private:
    // What the byte loops report reaches the window through the programmer: the pump as it
    // is, the progress every few hundred bytes, and the abort flag as the stop request.
    class SessionEvents : public OperationObserver {
      public:
        explicit SessionEvents(Programmer& owner) : m_owner(owner) {}
        void ByteDone(std::uint32_t address, std::size_t done) override;
        void Pump() override { m_owner.m_observer.Pump(); }
        bool StopRequested() override { return m_owner.m_abortFlag == 1; }

      private:
        Programmer& m_owner;
    };

    // The start sequence with the board's failure handling.
    bool StartStep();
    void WriteFailed();
    std::uint16_t CrcOf(const FlashImage& image) const;

    class OperationScope {
      public:
        explicit OperationScope(Programmer& owner) : m_owner(owner) { ++m_owner.m_operationDepth; }
        ~OperationScope() { --m_owner.m_operationDepth; }
        OperationScope(const OperationScope&) = delete;
        OperationScope& operator=(const OperationScope&) = delete;

      private:
        Programmer& m_owner;
    };

    IspLink& m_link;
    Clock& m_clock;
    OperationObserver& m_observer;
    SessionEvents m_events{*this};
    ChipSession m_session;
    int m_abortFlag = 0;
    double m_clockRate = 24.0;
    int m_operationDepth = 0;
};

}  // namespace velmo
