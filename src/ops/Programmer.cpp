#include "ops/Programmer.h"

#include "image/ImageFiles.h"
#include "port/Pins.h"

namespace velmo {

namespace {
constexpr char kDriverStarted[] = "DriverLinx I/O erfolgreich gestartet!";
constexpr char kDriverFailed[] = "Fehler beim Starten von DriverLinx I/O! ";
constexpr char kSaveFailed[] = "Fehler beim Erzeugen der Datei!";

// Until the user confirms a clock rate, an interactive start runs with this slow, safe
// half-period instead of the one the default rate would give.
constexpr double kInteractiveClockRate = 24.0;
constexpr std::uint32_t kInteractiveBitDelay = 20;
}  // namespace

Programmer::Programmer(PortIo& port, Clock& clock, Host& host)
    : m_port(port), m_clock(clock), m_host(host), m_isp(port, clock, m_mode, m_bitDelay) {
    m_crc.BuildTable();
    // Save is available before any Read: it then writes an erased chip's image.
    ClearImage(m_image);
    ClearImage(m_readImage);
    // A write that has to poll keeps the window alive between the polls.
    m_isp.SetPumpCallback([this] { PumpMessages(); });
}

void Programmer::SetClockRate(double mhz) {
    m_clockRate = mhz;
    m_bitDelay = BitDelayForClockRate(mhz);
}

void Programmer::ApplySettings(const BatchJob& batch, ProgrammerMode mode,
                               std::uint8_t portIndex, std::uint16_t portAddress,
                               double clockRate) {
    m_batch = batch;
    m_mode = static_cast<std::uint8_t>(mode);
    m_portIndex = portIndex;
    SetPortAddress(portAddress);
    SetClockRate(clockRate);
}

void Programmer::SelectPort(std::uint8_t portIndex) {
    static constexpr std::uint16_t kAddresses[] = {LPT1_ADDRESS, LPT2_ADDRESS, LPT3_ADDRESS};
    if (portIndex < 1 || portIndex > 3) return;
    m_portIndex = portIndex;
    SetPortAddress(kAddresses[portIndex - 1]);
}

bool Programmer::StartDriver() {
    m_driverRunning = 0;
    m_port.StartDriver();
    m_driverRunning = m_port.DriverActive() ? 1 : 0;
    if (m_driverRunning == 1) {
        m_host.SetStatusText(kDriverStarted);
    } else {
        m_host.SetStatusText(kDriverFailed + m_port.DriverMessage());
    }
    return m_driverRunning == 1;
}

void Programmer::ShutdownDriver() {
    if (m_driverRunning != 1) return;
    m_isp.EndSequence();
    m_port.StopDriver();
    // Exit and close may both arrive; the driver is stopped once.
    m_driverRunning = 0;
}

void Programmer::ApplyInteractiveDefaults() {
    SelectMode(ProgrammerMode::Board);
    SetPortAddress(LPT1_ADDRESS);
    SelectPort(1);
    if (m_driverRunning == 1) {
        // The lines start idle: interface off, target out of reset.
        SetLine(m_port, IspLine::Enable, 0);
        SetLine(m_port, IspLine::Rst, 0);
    }
    m_clockRate = kInteractiveClockRate;
    m_bitDelay = kInteractiveBitDelay;
}

void Programmer::LoadFile(const std::string& path) {
    m_noFileLoaded = 1;
    const LoadOutcome outcome = LoadImageFile(path, m_image, m_crc);
    if (outcome.fileName) {
        m_strFileName = *outcome.fileName;
        m_host.Repaint();
    }
    if (outcome.tooltipPath) m_host.SetFileTip(*outcome.tooltipPath);
    if (outcome.statusText) m_host.SetStatusText(*outcome.statusText);
    if (outcome.messageBox) m_host.ShowMessage(*outcome.messageBox);
    if (outcome.crc) {
        m_imageCrc = *outcome.crc;
        m_strCrc = FormatCrc(m_imageCrc);
        m_host.MembersToControls();
    }
    if (outcome.loaded) m_noFileLoaded = 0;
    m_host.MembersToControls();
    m_host.Repaint();
}

bool Programmer::SaveReadImage(const std::string& path) {
    if (SaveImageFile(path, m_readImage)) return true;
    m_host.ShowMessage(kSaveFailed);
    return false;
}

}  // namespace velmo
