#pragma once

#include <algorithm>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "timing/Clock.h"
#include "port/Cable.h"
#include "port/PortIo.h"

namespace velmo::fakes {

// A port with plain latches for data and control and a status register the test decides.
// Every access is logged with its time, so tests can check what went over the wire.
class RecordingPort : public PortIo {
  public:
    struct Access {
        bool write;
        std::uint16_t address;
        std::uint8_t value;
        std::int64_t timeNs;
    };

    explicit RecordingPort(Clock* clock = nullptr) : m_clock(clock) {}

    void StartDriver() override { m_active = true; }
    void StopDriver() override { m_active = false; }
    bool DriverActive() const override { return m_active; }
    std::string DriverMessage() const override { return "recording"; }

    std::uint8_t ReadPort(std::uint16_t address) override {
        std::uint8_t value = 0;
        const int offset = address - BaseAddress();
        if (offset == 0) {
            value = data;
        } else if (offset == 1) {
            value = statusSource ? statusSource() : status;
        } else if (offset == 2) {
            value = control;
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
        }
        log.push_back({true, address, value, Now()});
    }

    // Values written to the data register, with their times.
    std::vector<Access> DataWrites() const {
        std::vector<Access> writes;
        for (const Access& a : log) {
            if (a.write && a.address == BaseAddress()) {
                writes.push_back(a);
            }
        }
        return writes;
    }

    int StatusReads() const {
        int count = 0;
        for (const Access& a : log) {
            count += !a.write && a.address == BaseAddress() + 1;
        }
        return count;
    }

    std::uint8_t data = 0;
    std::uint8_t status = 0;
    std::uint8_t control = 0;
    std::function<std::uint8_t()> statusSource;
    std::vector<Access> log;

  private:
    std::int64_t Now() const { return m_clock ? m_clock->NowNs() : 0; }

    Clock* m_clock;
    bool m_active = false;
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
inline std::vector<WireByte> DecodeWire(const std::vector<RecordingPort::Access>& writes) {
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

}  // namespace velmo::fakes
