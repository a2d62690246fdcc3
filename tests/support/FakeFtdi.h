#pragma once

#include <algorithm>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "link/ftdi/FtdiSystem.h"
#include "port/Cable.h"
#include "port/PortIo.h"
#include "timing/Clock.h"

namespace velmo::testing {

// One wire from a data pin of the adapter to the target's side of the cable, through an
// inverting buffer when inverter is set.
struct FtdiTargetWire {
    IspLine line;
    std::uint8_t bit;
    bool inverter = false;
    unsigned socket = 0;  // MISO: the socket of a gang fixture it comes from
};

// The default wiring of each drive (MPSSE: ADBUS0 to 5; bit-bang: the FT232R ISP cable), with
// a gang's MISO pins D1, D3, D5, D6, D7 and without ENABLE and READY once those pins are taken.
inline std::vector<FtdiTargetWire> DefaultFtdiWires(bool mpsse, bool inverters = false,
                                                    unsigned sockets = 1) {
    std::vector<FtdiTargetWire> wires = {
        {IspLine::Sck, 0, inverters},
        {IspLine::Mosi, static_cast<std::uint8_t>(mpsse ? 1 : 2), inverters},
        {IspLine::Miso, static_cast<std::uint8_t>(mpsse ? 2 : 1), inverters},
        {IspLine::Rst, static_cast<std::uint8_t>(mpsse ? 3 : 4), inverters}};
    if (sockets == 1) {
        wires.push_back({IspLine::Enable, static_cast<std::uint8_t>(mpsse ? 4 : 3), inverters});
        wires.push_back({IspLine::Ready, 5, inverters});
    }
    constexpr std::uint8_t kGang[] = {1, 3, 5, 6, 7};
    for (unsigned s = 1; s < sockets; ++s) wires.push_back({IspLine::Miso, kGang[s], false, s});
    return wires;
}

// FTDI adapters on a USB bus, with the chips' rules: the MPSSE's commands (pins, divisor,
// divide-by-5, byte shifting on either edge, send immediate; 0xFA and the opcode for anything
// else), synchronous bit-bang (each byte first samples the pins, one byte back, then drives
// them, one tick each), the buffers (an MPSSE answer unread beyond 1 KiB, or more than 384
// bytes of bit-bang in flight, stalls: the write fails). Time runs on the test's clock: every
// write costs a USB round trip, every clock tick its time, and answers not sent on at once wait
// for the latency timer. The opened adapter's pins are wired to a target that looks like a
// parallel port (the simulated chip); a pin that is not driven is pulled down, or up where
// pulledUp says so.
class FakeFtdi {
  public:
    explicit FakeFtdi(VirtualClock& clock) : m_clock(clock) {}

    FtdiDevice& Add(FtdiChip chip, std::string serial, std::uint16_t product = 0x6014) {
        FtdiDevice device;
        device.chip = chip;
        device.serial = std::move(serial);
        device.product = product;
        device.bus = 1;
        device.address = static_cast<std::uint8_t>(devices.size() + 2);
        device.description = "Fake";
        devices.push_back(device);
        return devices.back();
    }
    void Connect(PortIo& port, std::vector<FtdiTargetWire> wiring) {
        target = &port;
        wires = std::move(wiring);
    }
    std::unique_ptr<FtdiSystem> System();

    // --- the world ---
    std::vector<FtdiDevice> devices;
    PortIo* target = nullptr;
    std::vector<FtdiTargetWire> wires;
    bool listFails = false;
    int openResult = 0;             // a negative value makes Open fail with it
    long unplugAfterBytes = -1;     // the write that would pass this many bytes out fails
    std::int64_t roundTripNs = -1;  // -1: 125 us for the H chips, 1 ms for the others
    std::uint8_t pulledUp = 0;      // pins with a pull-up resistor

    // --- what happened ---
    const FtdiDevice* opened = nullptr;
    unsigned channel = 0;
    FtdiBitMode mode = FtdiBitMode::Reset;
    int baud = 9600;  // the chip's rate; a tick is a sixteenth of its bit time
    int latencyMs = 16;
    long transfers = 0;
    long bytesOut = 0;
    std::vector<std::uint8_t> badCommands;
    std::uint8_t value = 0;      // the data pins' output latches
    std::uint8_t direction = 0;  // 1: output
    bool closed = false;

    // The level every pin shows: driven ones as driven, inputs from the target, the rest as
    // their resistors pull them.
    std::uint8_t Pins() const {
        std::uint8_t pins = Driven();
        for (const FtdiTargetWire& wire : wires) {
            if (CableOf(wire.line).output || !target || ((direction >> wire.bit) & 1)) continue;
            const std::uint8_t status =
                target->ReadPort(static_cast<std::uint16_t>(target->BaseAddress() + 1));
            const bool level = wire.line == IspLine::Miso
                                   ? SocketMisoPin(wire.socket).LevelIn(status)
                                   : LineLevel(wire.line, status);
            pins = static_cast<std::uint8_t>((pins & ~(1u << wire.bit)) |
                                             ((level != wire.inverter) << wire.bit));
        }
        return pins;
    }

    // --- the calls, as the system seam makes them ---
    bool List(std::vector<FtdiDevice>& out) {
        if (listFails) {
            Failed("LIBUSB_ERROR_OTHER");
            return false;
        }
        out = devices;
        return true;
    }
    int Open(const FtdiDevice& wanted, unsigned iface) {
        for (const FtdiDevice& device : devices) {
            if (device.bus != wanted.bus || device.address != wanted.address) continue;
            if (openResult < 0) {
                Failed("unable to open");
                return openResult;
            }
            opened = &device;
            channel = iface;
            closed = false;
            return 0;
        }
        return Failed("device gone");
    }
    int Call() { return Gone() ? Failed("LIBUSB_ERROR_NO_DEVICE") : 0; }
    int SetBitMode(std::uint8_t outputs, FtdiBitMode newMode) {
        if (Gone()) return Failed("LIBUSB_ERROR_NO_DEVICE");
        mode = newMode;
        direction = newMode == FtdiBitMode::SyncBitBang ? outputs : 0;
        Drive();
        return 0;
    }
    int Write(const std::uint8_t* data, std::size_t size) {
        if (Gone() ||
            (unplugAfterBytes >= 0 && bytesOut + static_cast<long>(size) > unplugAfterBytes)) {
            unplugAfterBytes = 0;
            return Failed("LIBUSB_ERROR_NO_DEVICE");
        }
        ++transfers;
        bytesOut += static_cast<long>(size);
        m_clock.AdvanceNs(RoundTrip());
        if (mode == FtdiBitMode::SyncBitBang) {
            if (m_answers.size() + size > 384)
                return Failed("stalled: more than 384 bytes in flight");
            for (std::size_t i = 0; i < size; ++i) {
                m_answers.push_back(Pins());
                value = data[i];
                Drive();
                m_clock.AdvanceNs(1'000'000'000 / (16ll * baud));
            }
        } else if (!Mpsse(data, size) || m_answers.size() > 1024) {
            return Failed("stalled: MPSSE answers beyond 1 KiB");
        }
        return static_cast<int>(size);
    }
    int Read(std::uint8_t* data, std::size_t size) {
        if (Gone()) return Failed("LIBUSB_ERROR_NO_DEVICE");
        if (m_answers.size() < size) return Failed("timeout");
        if (m_waitLatency) m_clock.AdvanceNs(latencyMs * 1'000'000ll);
        m_waitLatency = false;
        std::copy_n(m_answers.begin(), size, data);
        m_answers.erase(m_answers.begin(), m_answers.begin() + static_cast<long>(size));
        return static_cast<int>(size);
    }
    std::string error;

  private:
    bool Gone() const { return unplugAfterBytes == 0; }
    int Failed(const char* what) {
        error = what;
        return -1;
    }
    bool HighSpeed() const { return opened && opened->chip != FtdiChip::Ft2232C; }
    std::int64_t RoundTrip() const {
        if (roundTripNs >= 0) return roundTripNs;
        const FtdiChip chip = opened ? opened->chip : FtdiChip::Unknown;
        const bool hs =
            chip == FtdiChip::Ft232H || chip == FtdiChip::Ft2232H || chip == FtdiChip::Ft4232H;
        return hs ? 125'000 : 1'000'000;
    }

    std::uint8_t Driven() const {
        return static_cast<std::uint8_t>((value & direction) | (pulledUp & ~direction));
    }

    // The target sees every output pin through its wire.
    void Drive() {
        if (!target) return;
        const std::uint16_t base = target->BaseAddress();
        std::uint8_t data = target->ReadPort(base);
        const std::uint8_t before = data;
        for (const FtdiTargetWire& wire : wires) {
            if (!CableOf(wire.line).output) continue;
            const bool pin = (Driven() >> wire.bit) & 1;
            data = WithLine(wire.line, data, pin != wire.inverter);
        }
        if (data != before) target->WritePort(base, data);
    }

    void Set(int bit, bool level) {
        value = static_cast<std::uint8_t>(level ? value | (1u << bit) : value & ~(1u << bit));
        Drive();
    }

    // One byte through the engine: per bit, half a period at rest, the edge away from rest,
    // half a period, the edge back. Data goes out on its edge (before the first edge when that
    // is the edge back to rest), and is read just before its edge.
    void Shift(std::uint8_t op, std::uint8_t out) {
        const bool restsHigh = value & 1;
        const bool writeFalling = op & 0x01, readFalling = op & 0x04;
        const bool write = op & 0x10, read = op & 0x20;
        const bool writeFirst = write && writeFalling == restsHigh;
        const bool readFirst = readFalling == restsHigh;
        std::uint8_t in = 0;
        for (int bit = 7; bit >= 0; --bit) {
            const bool level = (out >> bit) & 1;
            if (write && !writeFirst) Set(1, level);
            m_clock.AdvanceNs(m_halfNs);
            if (read && readFirst)
                in = static_cast<std::uint8_t>(in | (((Pins() >> 2) & 1) << bit));
            if (writeFirst) value = static_cast<std::uint8_t>(level ? value | 2 : value & ~2);
            Set(0, !restsHigh);
            m_clock.AdvanceNs(m_halfNs);
            if (read && !readFirst)
                in = static_cast<std::uint8_t>(in | (((Pins() >> 2) & 1) << bit));
            Set(0, restsHigh);
        }
        if (read) m_answers.push_back(in);
    }

    bool Mpsse(const std::uint8_t* data, std::size_t size) {
        bool flushed = true;
        for (std::size_t i = 0; i < size;) {
            const std::uint8_t op = data[i++];
            const auto arg = [&](std::size_t n) { return i + n <= size; };
            if (op == 0x80 && arg(2)) {
                value = data[i];
                direction = data[i + 1];
                i += 2;
                Drive();
            } else if (op == 0x82 && arg(2)) {
                i += 2;
            } else if (op == 0x81 || op == 0x83) {
                m_answers.push_back(op == 0x81 ? Pins() : 0);
                flushed = false;
            } else if (op == 0x86 && arg(2)) {
                m_divisor = data[i] | (data[i + 1] << 8);
                i += 2;
            } else if (op == 0x87) {
                flushed = true;
            } else if (op == 0x84 || op == 0x85) {
            } else if (HighSpeed() && (op == 0x8A || op == 0x8B || op == 0x8D || op == 0x97)) {
                if (op == 0x8A || op == 0x8B) m_divideBy5 = op == 0x8B;
            } else if ((op & 0xCA) == 0 && (op & 0x30) && arg(2)) {
                const std::size_t length = (data[i] | (data[i + 1] << 8)) + 1u;
                i += 2;
                if ((op & 0x10) && !arg(length)) return false;
                const std::int64_t megahertz = !HighSpeed() || m_divideBy5 ? 12 : 60;
                m_halfNs = (m_divisor + 1) * 1000 / megahertz;
                for (std::size_t n = 0; n < length; ++n) Shift(op, (op & 0x10) ? data[i + n] : 0);
                if (op & 0x10) i += length;
                flushed = flushed && !(op & 0x20);
            } else {
                badCommands.push_back(op);
                m_answers.insert(m_answers.end(), {0xFA, op});
                flushed = false;
            }
        }
        m_waitLatency = m_waitLatency || !flushed;
        return true;
    }

    VirtualClock& m_clock;
    std::vector<std::uint8_t> m_answers;
    bool m_waitLatency = false;
    bool m_divideBy5 = true;
    std::int64_t m_divisor = 0;
    std::int64_t m_halfNs = 0;
};

namespace detail {
class FakeFtdiSystem : public FtdiSystem {
  public:
    explicit FakeFtdiSystem(FakeFtdi& fake) : m_fake(fake) {}
    bool List(std::vector<FtdiDevice>& devices) override { return m_fake.List(devices); }
    int Open(const FtdiDevice& device, unsigned channel) override {
        return m_fake.Open(device, channel);
    }
    int Purge() override { return m_fake.Call(); }
    int SetLatencyTimer(std::uint8_t ms) override {
        m_fake.latencyMs = ms;
        return m_fake.Call();
    }
    int SetBitMode(std::uint8_t outputs, FtdiBitMode mode) override {
        return m_fake.SetBitMode(outputs, mode);
    }
    // As libftdi does: four times the rate in bit-bang mode.
    int SetBaudRate(int baud) override {
        m_fake.baud = m_fake.mode == FtdiBitMode::SyncBitBang ? 4 * baud : baud;
        return m_fake.Call();
    }
    int Write(const std::uint8_t* data, std::size_t size) override {
        return m_fake.Write(data, size);
    }
    int Read(std::uint8_t* data, std::size_t size) override { return m_fake.Read(data, size); }
    void Close() override { m_fake.closed = true; }
    std::string ErrorText() override { return m_fake.error; }

  private:
    FakeFtdi& m_fake;
};
}  // namespace detail

inline std::unique_ptr<FtdiSystem> FakeFtdi::System() {
    return std::make_unique<detail::FakeFtdiSystem>(*this);
}

}  // namespace velmo::testing
