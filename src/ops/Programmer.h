#pragma once

#include <cstdint>
#include <string>

#include "image/Crc16.h"
#include "image/FlashImage.h"
#include "timing/Clock.h"
#include "ops/Host.h"
#include "isp/IspProtocol.h"
#include "port/PortIo.h"
#include "isp/Settings.h"

namespace velmo {

// The programmer without its window: the settings, the batch job, both images with their
// CRCs, the abort and error flags, the file commands and the five device operations. It
// reaches the window only through Host, the port only through PortIo and time only through
// Clock. Member names are the ones the window's data exchange binds.
class Programmer {
  public:
    Programmer(PortIo& port, Clock& clock, Host& host);

    // --- settings ---
    void SetPortAddress(std::uint16_t address) { m_port.SetBaseAddress(address); }
    std::uint16_t PortAddress() const { return m_port.BaseAddress(); }
    // Stores the rate and derives m_bitDelay from it.
    void SetClockRate(double mhz);
    // What a command line sets: the batch job, mode, port (menu index and address), clock rate.
    void ApplySettings(const BatchJob& batch, ProgrammerMode mode, std::uint8_t portIndex,
                       std::uint16_t portAddress, double clockRate);
    // The port menu's commands: index 1, 2, 3 select LPT1, LPT2, LPT3.
    void SelectPort(std::uint8_t portIndex);
    void SelectMode(ProgrammerMode mode) { m_mode = static_cast<std::uint8_t>(mode); }

    // --- driver ---
    // Starts the driver and shows the outcome in the status bar; returns m_driverRunning.
    bool StartDriver();
    // Exit and close: the end sequence and the driver's stop, when it runs.
    void ShutdownDriver();
    // Interactive start: Board, LPT1, idle lines (when the driver runs), 24 MHz with 20 us.
    void ApplyInteractiveDefaults();

    // --- files ---
    void LoadFile(const std::string& path);
    // Writes m_readImage; shows "Fehler beim Erzeugen der Datei!" when that fails.
    bool SaveReadImage(const std::string& path);

    // --- device operations ---
    void OnErase();
    void OnProgram();
    void OnVerify();
    void OnRead();
    void OnLockBits();
    void OnAbort();
    void PumpMessages();
    void OnWriteFailed();

    bool StartStep();  // the start sequence with the board's failure handling

    IspProtocol& Isp() { return m_isp; }

    // True from the start of a device operation to its end, also while a command that came
    // through its message pump runs. The window refuses a dropped file meanwhile, so that no
    // new image is loaded under a running Program.
    bool OperationRunning() const { return m_operationDepth > 0; }

    // --- state, as the window binds it ---
    std::uint8_t m_mode = static_cast<std::uint8_t>(ProgrammerMode::Board);
    int m_driverRunning = 0;
    int m_errorFlag = 0;
    BatchJob m_batch;
    int m_lockBit1 = 0;
    int m_lockBit2 = 0;
    int m_lockBit3 = 0;
    std::string m_strFileName;
    std::string m_strCrc;
    double m_clockRate = 24.0;
    int m_abortFlag = 0;
    std::string m_strFilePath;
    CCrc16 m_crc;
    FlashImage m_image{};
    FlashImage m_readImage{};
    std::uint8_t m_portIndex = 1;
    std::uint16_t m_imageCrc = 0;
    std::uint16_t m_readCrc = 0;
    std::uint32_t m_bitDelay = 20;
    int m_noFileLoaded = 1;

  private:
    // What ended a byte loop.
    enum class LoopEnd { Completed, Aborted, WorkFailed };
    template <typename Work>
    LoopEnd RunByteLoop(Work work);

    // Counts the operations that are running (nested through the pump), for OperationRunning.
    class OperationScope {
      public:
        explicit OperationScope(Programmer& owner) : m_owner(owner) { ++m_owner.m_operationDepth; }
        ~OperationScope() { --m_owner.m_operationDepth; }
        OperationScope(const OperationScope&) = delete;
        OperationScope& operator=(const OperationScope&) = delete;

      private:
        Programmer& m_owner;
    };

    int m_operationDepth = 0;
    PortIo& m_port;
    Clock& m_clock;
    Host& m_host;
    IspProtocol m_isp;
};

}  // namespace velmo
