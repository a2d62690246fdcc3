#include "sim/SimPort.h"

#include <cerrno>
#include <cstdio>
#include <functional>

#include "port/Cable.h"
#include "sim/ChipFile.h"
#include "sim/SimAt89s53.h"
#include "sim/SimBoard.h"

namespace velmo {

namespace {

// The status pins the simulated board does not drive float high.
constexpr std::uint8_t kIdleStatus = FloatingStatus();
// A port after power-up: /INIT not asserted (bit 2), SELECT IN driven (bit 3).
constexpr std::uint8_t kInitialControl = 0x0C;

std::string Hex(std::uint16_t value) {
    char text[8];
    std::snprintf(text, sizeof text, "0x%.3X", static_cast<unsigned>(value));
    return text;
}

std::string FormatMHz(double mhz) {
    char text[32];
    std::snprintf(text, sizeof text, "%g", mhz);
    return text;
}

}  // namespace

struct SimPort::Impl {
    Impl(Clock& c, SimOptions o)
        : clock(c), options(std::move(o)), chip(c, options), board(options.boardPresent) {
        if (!options.chipFile.empty()) {
            FlashImage flash;
            loadError = LoadChipFile(options.chipFile, flash);
            if (loadError.empty()) {
                chip.SetFlash(flash);
            }
        }
        savedChanges = chip.ChangeCount();
    }

    // Only ENABLE and RST concern the board, so the clock is read for them alone; the
    // chip reads it only on edges of SCK and RST. A bit cycle thus costs few clock reads.
    void LinesChanged(std::uint8_t previous) {
        const bool enable = LineLevel(IspLine::Enable, data);
        const bool rst = LineLevel(IspLine::Rst, data);
        if (enable != LineLevel(IspLine::Enable, previous) ||
            rst != LineLevel(IspLine::Rst, previous)) {
            board.SetLines(enable, rst, clock.NowNs());
        }
        if (board.PassesLines()) {
            chip.SetLines(LineLevel(IspLine::Mosi, data), LineLevel(IspLine::Sck, data), rst);
        } else {
            chip.SetLines(false, false, false);
        }
        SaveIfChanged();
    }

    // Every change goes to the file as soon as the chip has taken it (only the changed cells
    // are written), so that a run killed at any point has left all of it there.
    void SaveIfChanged() {
        if (options.chipFile.empty() || !loadError.empty()) {
            return;
        }
        if (chip.ChangeCount() != savedChanges) {
            Save();
        }
    }

    void Save() {
        const std::uint64_t changes = chip.ChangeCount();
        saveError = SaveChipFile(options.chipFile, chip.StoredFlash(), &lock);
        if (saveError.empty()) {
            savedChanges = changes;
        }
    }

    // Without touching the clock: the owner of a PortSetup may already have destroyed it.
    void FinalSave() {
        chip.FinishStartedWork();
        SaveUnsaved();
    }

    // Also without a change while the file is held: one replaced under the run fails it.
    void SaveUnsaved() {
        if (!options.chipFile.empty() && loadError.empty() &&
            (chip.ChangeCount() != savedChanges || lock.Held())) {
            Save();
        }
    }

    // A run on a chip file waits for any other run on it to end, then takes the flash as that
    // run left it.
    bool LockChipFile() {
        if (options.chipFile.empty() || !loadError.empty() || lock.Held()) return true;
        FlashImage flash;
        lockError = lock.Acquire(options.chipFile, options.lockWaitSeconds, Notice(), flash);
        if (!lockError.empty()) return false;
        // Changes made before the driver started (there are none in a normal run) win.
        if (chip.ChangeCount() == savedChanges) {
            chip.SetFlash(flash);
            savedChanges = chip.ChangeCount();
        }
        return true;
    }

    std::function<void(const std::string&)> Notice() const {
        if (options.notice) return options.notice;
        return [](const std::string& text) {
            std::fprintf(stderr, "%s: %s\n", program_invocation_short_name, text.c_str());
            std::fflush(stderr);
        };
    }

    std::uint8_t Status() {
        const bool miso = board.PassesLines() ? chip.Miso() != 0 : true;
        std::uint8_t status = WithLine(IspLine::Miso, kIdleStatus, miso);
        return WithLine(IspLine::Ready, status, board.Ready(clock));
    }

    Clock& clock;
    SimOptions options;
    SimAt89s53 chip;
    SimBoard board;
    std::uint8_t data = 0x00;
    std::uint8_t control = kInitialControl;
    bool active = false;
    std::string loadError;
    std::string lockError;
    std::string saveError;
    ChipFileLock lock;
    std::uint64_t savedChanges = 0;
};

SimPort::SimPort(Clock& clock, SimOptions options)
    : m_impl(std::make_unique<Impl>(clock, std::move(options))) {}

SimPort::~SimPort() {
    m_impl->FinalSave();
}

void SimPort::StartDriver() {
    m_impl->active = m_impl->loadError.empty() && m_impl->LockChipFile();
}

void SimPort::StopDriver() {
    m_impl->active = false;
    m_impl->FinalSave();
    // Saved first: the next run on this chip file finds it holding this run's flash.
    m_impl->lock.Release();
}

std::string SimPort::FinishFiles() {
    m_impl->SaveUnsaved();
    return m_impl->saveError;
}

bool SimPort::DriverActive() const {
    return m_impl->active;
}

std::string SimPort::DriverMessage() const {
    const Impl& impl = *m_impl;
    if (!impl.loadError.empty()) {
        return impl.loadError;
    }
    if (!impl.lockError.empty()) {
        return impl.lockError;
    }
    std::string text =
        "Simulator: AT89S53 an Adresse " + Hex(BaseAddress()) + " (" +
        (impl.options.boardPresent ? "mit Velmo-Board" : "ohne Board") + ", " +
        (impl.options.chipPresent ? "Quarz " + FormatMHz(impl.options.xtalMHz) + " MHz"
                                  : "kein Chip") +
        (impl.options.virtualClock ? ", virtuelle Zeit" : "") + ")";
    if (!impl.options.chipFile.empty()) {
        text += ", Flash in \"" + impl.options.chipFile + "\"";
    }
    if (!impl.saveError.empty()) {
        text += ". " + impl.saveError;
    }
    return text;
}

std::uint8_t SimPort::ReadPort(std::uint16_t address) {
    Impl& impl = *m_impl;
    switch (static_cast<std::uint16_t>(address - BaseAddress())) {
        case 0:
            return impl.data;
        case 1:
            return impl.Status();
        case 2:
            return impl.control;
        default:
            return 0xFF;  // no port there
    }
}

void SimPort::WritePort(std::uint16_t address, std::uint8_t value) {
    Impl& impl = *m_impl;
    switch (static_cast<std::uint16_t>(address - BaseAddress())) {
        case 0: {
            const std::uint8_t previous = impl.data;
            impl.data = value;
            impl.LinesChanged(previous);
            break;
        }
        case 2:
            impl.control = value;
            break;
        default:
            break;  // the status register and other addresses take no writes
    }
}

SimChip& SimPort::Chip() {
    return m_impl->chip;
}
const SimChip& SimPort::Chip() const {
    return m_impl->chip;
}

}  // namespace velmo
