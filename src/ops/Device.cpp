#include "ops/Device.h"

namespace velmo::cli {

namespace {

// After Programming Enable the chip needs time before the first instruction: a short one
// before Chip Erase (which waits long enough by itself afterwards), a longer one before
// reads, writes and lock bits. The window waits exactly as long.
constexpr std::uint32_t kSettleBeforeEraseUs = 500;
constexpr std::uint32_t kSettleUs = 10000;

}  // namespace

Device::Device(PortIo& port, Clock& clock, const DeviceSettings& settings, StepProgress& progress,
               const volatile std::sig_atomic_t* stop)
    : m_port(port),
      m_clock(clock),
      m_progress(progress),
      m_stop(stop),
      m_mode(static_cast<std::uint8_t>(settings.mode)),
      m_bitDelay(settings.bitDelay),
      m_isp(port, clock, m_mode, m_bitDelay) {
    m_port.SetBaseAddress(settings.port);
}

Device::~Device() {
    Close();
}

StepResult Device::Interrupted(std::uint32_t address) {
    StepResult result;
    result.outcome = StepOutcome::Interrupted;
    result.address = address;
    return result;
}

StepResult Device::Open() {
    m_port.StartDriver();
    m_driverStarted = true;
    if (!m_port.DriverActive()) return {StepOutcome::DriverFailed};
    m_linesActive = true;
    if (!m_isp.StartSequence()) return {StepOutcome::BoardFailed};
    if (StopRequested()) return Interrupted(StepResult::kNoAddress);
    m_isp.ProgrammingEnable();
    m_settlePending = true;
    return {};
}

void Device::Settle(std::uint32_t microseconds) {
    if (!m_settlePending) return;
    m_settlePending = false;
    m_clock.Delay(microseconds);
}

StepResult Device::Erase() {
    Settle(kSettleBeforeEraseUs);
    m_progress.Begin("Löschen", FLASH_SIZE);
    // Chip Erase is one instruction with its own wait; it cannot stop halfway.
    m_isp.ChipErase();
    if (StopRequested()) {
        m_progress.Stop("abgebrochen");
        return Interrupted(StepResult::kNoAddress);
    }
    m_progress.Finish();
    return {};
}

StepResult Device::WriteOne(std::uint32_t address, std::uint8_t value) {
    if (m_isp.WriteCodeByte(address, value) != 0) return {};
    StepResult result;
    result.outcome = StepOutcome::WriteFailed;
    result.address = address;
    result.wanted = value;
    result.readBack = m_isp.ReadCodeByte(address);
    return result;
}

StepResult Device::Write(const FlashImage& image, bool skipBlank) {
    std::size_t total = FLASH_SIZE;
    if (skipBlank) {
        total = 0;
        for (std::uint8_t b : image) total += b != 0xFF ? 1 : 0;
    }
    Settle(kSettleUs);
    m_progress.Begin("Schreiben", total);
    std::size_t done = 0;
    for (std::uint32_t address = 0; address < FLASH_SIZE; ++address) {
        const std::uint8_t value = image[address];
        if (skipBlank && value == 0xFF) continue;
        if (StopRequested()) {
            m_progress.Stop("abgebrochen");
            return Interrupted(address);
        }
        const StepResult result = WriteOne(address, value);
        if (!result.ok()) {
            m_progress.Stop("Fehler");
            return result;
        }
        m_progress.Update(++done);
    }
    m_progress.Finish();
    return {};
}

StepResult Device::WriteChanged(const FlashImage& image, FlashImage& seen,
                                std::vector<std::uint16_t>& written) {
    Settle(kSettleUs);
    m_progress.Begin("Abgleichen", FLASH_SIZE);
    for (std::uint32_t address = 0; address < FLASH_SIZE; ++address) {
        if (StopRequested()) {
            m_progress.Stop("abgebrochen");
            return Interrupted(address);
        }
        seen[address] = m_isp.ReadCodeByte(address);
        if (seen[address] != image[address]) {
            const StepResult result = WriteOne(address, image[address]);
            if (!result.ok()) {
                seen[address] = result.readBack;
                m_progress.Stop("Fehler");
                return result;
            }
            seen[address] = image[address];
            written.push_back(static_cast<std::uint16_t>(address));
        }
        m_progress.Update(address + 1);
    }
    m_progress.Finish(std::to_string(written.size()) + " geschrieben");
    return {};
}

StepResult Device::Reread(const std::vector<std::uint16_t>& addresses, const std::string& step,
                          FlashImage& seen) {
    Settle(kSettleUs);
    m_progress.Begin(step, addresses.size());
    std::size_t done = 0;
    for (std::uint16_t address : addresses) {
        if (StopRequested()) {
            m_progress.Stop("abgebrochen");
            return Interrupted(address);
        }
        seen[address] = m_isp.ReadCodeByte(address);
        m_progress.Update(++done);
    }
    m_progress.Finish();
    return {};
}

StepResult Device::Read(const std::string& step, FlashImage& out) {
    Settle(kSettleUs);
    m_progress.Begin(step, FLASH_SIZE);
    for (std::uint32_t address = 0; address < FLASH_SIZE; ++address) {
        if (StopRequested()) {
            m_progress.Stop("abgebrochen");
            return Interrupted(address);
        }
        out[address] = m_isp.ReadCodeByte(address);
        m_progress.Update(address + 1);
    }
    m_progress.Finish();
    return {};
}

StepResult Device::WriteLockBits(const std::array<bool, 3>& bits) {
    Settle(kSettleUs);
    m_isp.WriteLockBits(bits[0] ? 1 : 0, bits[1] ? 1 : 0, bits[2] ? 1 : 0);
    return {};
}

void Device::Close() {
    if (m_linesActive) {
        m_isp.EndSequence();
        m_linesActive = false;
    }
    if (m_driverStarted) {
        if (m_port.DriverActive()) m_port.StopDriver();
        m_driverStarted = false;
    }
}

}  // namespace velmo::cli
