#pragma once

#include <algorithm>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "port/Cable.h"
#include "port/PortIo.h"
#include "timing/Clock.h"

namespace velmo::testing {

// A parallel port with nothing behind it: plain latches for the data and control registers, a
// status register the test decides, and a log of every access with its time on the clock (if
// one is given). It notes the driver's starts and stops, and decodes what goes out on MOSI
// the way the chip would (DecodeWire, Mosi).
class FakePort : public PortIo {
  public:
    struct Access {
        bool write;
        std::uint16_t address;
        std::uint8_t value;
        std::int64_t timeNs;
    };

    explicit FakePort(Clock* clock = nullptr) : m_clock(clock) {}

    void StartDriver() override {
        ++starts;
        events.push_back("start");
        driverActive = driverStarts;
    }
    void StopDriver() override {
        ++stops;
        events.push_back("stop after " + std::to_string(DataWrites().size()) + " writes");
        driverActive = false;
    }
    bool DriverActive() const override { return driverActive; }
    std::string DriverMessage() const override { return driverMessage; }

    std::uint8_t ReadPort(std::uint16_t address) override {
        std::uint8_t value = 0xFF;
        const int offset = address - BaseAddress();
        if (offset == 0) {
            value = data;
        } else if (offset == 1) {
            value = statusSource ? statusSource() : status;
        } else if (offset == 2) {
            value = control;
        } else {
            ++foreignAccesses;
        }
        log.push_back({false, address, value, Now()});
        return value;
    }

    void WritePort(std::uint16_t address, std::uint8_t value) override {
        const int offset = address - BaseAddress();
        if (offset == 0) {
            data = value;
        } else if (offset == 2) {
            control = value;
        } else {
            ++foreignAccesses;
        }
        log.push_back({true, address, value, Now()});
    }

    // The board's answer and the chip's data line as the status register shows them. With
    // MISO high every byte reads as 0xFF, the content of an erased chip.
    void SetReady(bool high) { status = WithLine(IspLine::Ready, status, high); }
    void SetMiso(bool high) { status = WithLine(IspLine::Miso, status, high); }
    bool Line(IspLine line) const { return LineLevel(line, data); }

    // Writes to the data register, with their times.
    std::vector<Access> DataWrites() const {
        std::vector<Access> writes;
        std::copy_if(log.begin(), log.end(), std::back_inserter(writes),
                     [this](const Access& a) { return a.write && a.address == BaseAddress(); });
        return writes;
    }
    // Just their values.
    std::vector<std::uint8_t> DataValues() const {
        std::vector<std::uint8_t> values;
        for (const Access& a : DataWrites()) values.push_back(a.value);
        return values;
    }
    int StatusReads() const {
        return static_cast<int>(std::count_if(log.begin(), log.end(), [this](const Access& a) {
            return !a.write && a.address == BaseAddress() + 1;
        }));
    }
    // The bytes that went out on MOSI, eight bits to a byte.
    std::vector<std::uint8_t> Mosi() const;
    void ClearLog() {
        log.clear();
        events.clear();
    }

    bool driverStarts = true;  // whether the next start succeeds
    bool driverActive = false;
    std::string driverMessage = "Treiber meldet nichts.";
    std::uint8_t data = 0;
    std::uint8_t status = 0;
    std::uint8_t control = 0;
    std::function<std::uint8_t()> statusSource;  // decides the status register when set
    int starts = 0;
    int stops = 0;
    int foreignAccesses = 0;          // registers other than the port's three
    std::vector<std::string> events;  // driver starts and stops
    std::vector<Access> log;

  private:
    std::int64_t Now() const { return m_clock ? m_clock->NowNs() : 0; }

    Clock* m_clock;
};

// One byte as it went over MOSI, with the range of its SCK phases: low = from the write
// before a rising edge (setting MOSI) to that edge, high = rising to falling edge.
struct WireByte {
    std::uint8_t value = 0;
    std::int64_t minLowNs = INT64_MAX, maxLowNs = 0;
    std::int64_t minHighNs = INT64_MAX, maxHighNs = 0;
    std::int64_t startNs = 0;  // first write of its first bit cycle
    std::int64_t endNs = 0;    // last falling edge
};

// Decodes data-register writes the way the chip does: MOSI sampled at each rising edge of
// SCK, eight bits to a byte, most significant first.
inline std::vector<WireByte> DecodeWire(const std::vector<FakePort::Access>& writes) {
    std::vector<WireByte> bytes;
    WireByte current;
    int bits = 0;
    bool sck = false;
    std::int64_t previousWriteNs = 0;
    std::int64_t riseNs = 0;
    for (const auto& w : writes) {
        const bool newSck = LineLevel(IspLine::Sck, w.value);
        if (newSck && !sck) {
            if (bits == 0) {
                current = WireByte{};
                current.startNs = previousWriteNs;
            }
            current.value = static_cast<std::uint8_t>((current.value << 1) |
                                                      (LineLevel(IspLine::Mosi, w.value) ? 1 : 0));
            current.minLowNs = std::min(current.minLowNs, w.timeNs - previousWriteNs);
            current.maxLowNs = std::max(current.maxLowNs, w.timeNs - previousWriteNs);
            riseNs = w.timeNs;
        } else if (!newSck && sck) {
            current.minHighNs = std::min(current.minHighNs, w.timeNs - riseNs);
            current.maxHighNs = std::max(current.maxHighNs, w.timeNs - riseNs);
            if (++bits == 8) {
                current.endNs = w.timeNs;
                bytes.push_back(current);
                bits = 0;
            }
        }
        sck = newSck;
        previousWriteNs = w.timeNs;
    }
    return bytes;
}

inline std::vector<std::uint8_t> FakePort::Mosi() const {
    std::vector<std::uint8_t> values;
    for (const WireByte& byte : DecodeWire(DataWrites())) values.push_back(byte.value);
    return values;
}

}  // namespace velmo::testing
