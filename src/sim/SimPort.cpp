#include "sim/SimPort.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <functional>
#include <memory>
#include <vector>

#include "port/Cable.h"
#include "port/SettingText.h"
#include "sim/ChipFile.h"
#include "sim/SimAt89.h"
#include "sim/SimBoard.h"
#include "sys/Files.h"
#include "sys/Process.h"

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

// One chip of the fixture with the file its flash lives in.
struct SimSocket {
    SimSocket(Clock& clock, const SimOptions& own, std::string path)
        : options(own), chip(clock, options), file(std::move(path)) {
        if (!file.empty()) {
            FlashImage flash;
            loadError = LoadChipFile(file, flash);
            if (loadError.empty()) chip.SetFlash(flash);
        }
        savedChanges = chip.ChangeCount();
    }

    bool HasFile() const { return !file.empty() && loadError.empty(); }

    // Every change goes to the file as soon as the chip has taken it (only the changed cells
    // are written), so that a run killed at any point has left all of it there.
    void SaveIfChanged() {
        if (HasFile() && chip.ChangeCount() != savedChanges) Save();
    }

    void Save() {
        const std::uint64_t changes = chip.ChangeCount();
        saveError = SaveChipFile(file, chip.StoredFlash(), &lock);
        if (saveError.empty()) savedChanges = changes;
    }

    // Without touching the clock: the owner of a LinkSetup may already have destroyed it.
    void FinalSave() {
        chip.FinishStartedWork();
        SaveUnsaved();
    }

    // Also without a change while the file is held: one replaced under the run fails it.
    void SaveUnsaved() {
        if (HasFile() && (chip.ChangeCount() != savedChanges || lock.Held())) Save();
    }

    // A run on a chip file waits for any other run on it to end, then takes the flash as that
    // run left it. What the file held before the lock was only a glance (another run may have
    // been making it just then); read under the lock, it is what counts, also for its errors.
    bool LockFile(const std::function<void(const std::string&)>& notice) {
        if (file.empty() || lock.Held()) return true;
        FlashImage flash;
        lockError = lock.Acquire(file, options.lockWaitSeconds, notice, flash);
        if (!lockError.empty()) return false;
        loadError.clear();
        // Changes made before the driver started (there are none in a normal run) win.
        if (chip.ChangeCount() == savedChanges) {
            chip.SetFlash(flash);
            savedChanges = chip.ChangeCount();
        }
        return true;
    }

    SimOptions options;
    SimAt89 chip;
    std::string file;
    std::string loadError;
    std::string lockError;
    std::string saveError;
    ChipFileLock lock;
    std::uint64_t savedChanges = 0;
};

struct SimPort::Impl {
    Impl(Clock& c, SimOptions o) : clock(c), options(std::move(o)), board(options.boardPresent) {
        const unsigned count = std::clamp(options.sockets, 1u, kMaxSimSockets);
        for (unsigned socket = 0; socket < count; ++socket) {
            const std::string file =
                options.chipFile.empty() ? std::string() : SocketPath(options.chipFile, socket);
            sockets.push_back(std::make_unique<SimSocket>(clock, options.ForSocket(socket), file));
        }
    }

    // Only ENABLE and RST concern the board, so the clock is read for them alone; the
    // chips read it only on edges of SCK and RST. A bit cycle thus costs few clock reads.
    void LinesChanged(std::uint8_t previous) {
        const bool enable = LineLevel(IspLine::Enable, data);
        const bool rst = LineLevel(IspLine::Rst, data);
        if (enable != LineLevel(IspLine::Enable, previous) ||
            rst != LineLevel(IspLine::Rst, previous)) {
            board.SetLines(enable, rst, clock.NowNs());
        }
        const bool passes = board.PassesLines();
        const bool mosi = passes && LineLevel(IspLine::Mosi, data);
        const bool sck = passes && LineLevel(IspLine::Sck, data);
        for (auto& socket : sockets) {
            socket->chip.SetLines(mosi, sck, passes && rst);
            socket->SaveIfChanged();
        }
    }

    std::function<void(const std::string&)> Notice() const {
        if (options.notice) return options.notice;
        return [](const std::string& text) {
            std::fprintf(stderr, "%s: %s\n", sys::ProgramName().c_str(), text.c_str());
            std::fflush(stderr);
        };
    }

    // A lone chip's MISO floats high where nothing drives it, as the port's input does; a gang
    // fixture pulls every MISO low, so that an empty socket reads 0x00.
    std::uint8_t Status() {
        const bool passes = board.PassesLines();
        const bool pulledDown = sockets.size() > 1;
        std::uint8_t status = kIdleStatus;
        for (std::size_t s = 0; s < sockets.size(); ++s) {
            SimAt89& chip = sockets[s]->chip;
            const bool driven = passes && chip.Present();
            const bool miso = driven ? chip.Miso() != 0 : !pulledDown;
            status = SocketMisoPin(static_cast<unsigned>(s)).With(status, miso);
        }
        // READY shares its pin with the fifth socket's MISO; only Board mode reads it, and a
        // gang runs on the plain cable.
        if (sockets.size() < 5) status = WithLine(IspLine::Ready, status, board.Ready(clock));
        return status;
    }

    std::string FirstError(std::string SimSocket::*error) const {
        for (const auto& socket : sockets) {
            if (!(socket.get()->*error).empty()) return socket.get()->*error;
        }
        return {};
    }

    Clock& clock;
    SimOptions options;
    SimBoard board;
    std::vector<std::unique_ptr<SimSocket>> sockets;
    std::uint8_t data = 0x00;
    std::uint8_t control = kInitialControl;
    bool active = false;
};

SimPort::SimPort(Clock& clock, SimOptions options)
    : m_impl(std::make_unique<Impl>(clock, std::move(options))) {}

SimPort::~SimPort() {
    for (auto& socket : m_impl->sockets) socket->FinalSave();
}

void SimPort::StartDriver() {
    Impl& impl = *m_impl;
    impl.active = true;
    for (auto& socket : impl.sockets) {
        if (impl.active && !socket->LockFile(impl.Notice())) impl.active = false;
    }
    // A fixture that could not take every chip file gives back the ones it has.
    if (!impl.active) {
        for (auto& socket : impl.sockets) socket->lock.Release();
    }
}

void SimPort::StopDriver() {
    m_impl->active = false;
    for (auto& socket : m_impl->sockets) {
        socket->FinalSave();
        // Saved first: the next run on this chip file finds it holding this run's flash.
        socket->lock.Release();
    }
}

std::string SimPort::FinishFile() {
    for (auto& socket : m_impl->sockets) socket->SaveUnsaved();
    return m_impl->FirstError(&SimSocket::saveError);
}

bool SimPort::IsFile(const std::string& path) const {
    for (const auto& socket : m_impl->sockets) {
        if (!socket->file.empty() && sys::SameFile(path, socket->file)) return true;
    }
    return false;
}

unsigned SimPort::Sockets() const {
    return static_cast<unsigned>(m_impl->sockets.size());
}

bool SimPort::DriverActive() const {
    return m_impl->active;
}

std::string SimPort::DriverMessage() const {
    const Impl& impl = *m_impl;
    if (std::string error = impl.FirstError(&SimSocket::lockError); !error.empty()) return error;
    if (std::string error = impl.FirstError(&SimSocket::loadError); !error.empty()) return error;
    const std::string model = SimModelOf(impl.options.model).name;
    const std::string chips =
        impl.sockets.size() == 1 ? model : std::to_string(impl.sockets.size()) + " × " + model;
    std::string text =
        "Simulator: " + chips + " an Adresse " + Hex(BaseAddress()) + " (" +
        (impl.options.boardPresent ? "mit Velmo-Board" : "ohne Board") + ", " +
        (impl.options.chipPresent ? "Quarz " + FormatMHz(impl.options.xtalMHz) + " MHz"
                                  : "kein Chip") +
        (impl.options.virtualClock ? ", virtuelle Zeit" : "") + ")";
    if (!impl.options.chipFile.empty()) {
        text += ", Flash in \"" + impl.options.chipFile + "\"";
    }
    if (std::string error = impl.FirstError(&SimSocket::saveError); !error.empty()) {
        text += ". " + error;
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

SimChip& SimPort::Chip(unsigned socket) {
    return m_impl->sockets.at(socket)->chip;
}
const SimChip& SimPort::Chip(unsigned socket) const {
    return m_impl->sockets.at(socket)->chip;
}

}  // namespace velmo
