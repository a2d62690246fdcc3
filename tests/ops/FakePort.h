#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "port/Cable.h"
#include "port/PortIo.h"

namespace velmo::testing {

// A parallel port with nothing behind it but two fixed input levels: READY (status bit 3)
// and MISO (status bit 5). With MISO high every byte reads as 0xFF, the content of an
// erased chip. It keeps the data register and every value written to it, notes the driver's
// starts and stops and decodes what goes out on MOSI at each rising edge of SCK, eight bits
// to a byte.
class FakePort : public PortIo {
  public:
    void StartDriver() override {
        ++starts;
        events.push_back("start");
    }
    void StopDriver() override {
        ++stops;
        events.push_back("stop after " + std::to_string(dataWrites.size()) + " writes");
    }
    bool DriverActive() const override { return driverActive; }
    std::string DriverMessage() const override { return driverMessage; }

    std::uint8_t ReadPort(std::uint16_t address) override {
        if (address == BaseAddress()) return data;
        if (address == BaseAddress() + 1) {
            return static_cast<std::uint8_t>((ready ? kReadyBit : 0) | (miso ? kMisoBit : 0));
        }
        if (address == BaseAddress() + 2) return control;
        ++foreignAccesses;
        return 0xFF;
    }

    void WritePort(std::uint16_t address, std::uint8_t value) override {
        if (address == BaseAddress()) {
            const bool risingSck = (data & kSckBit) == 0 && (value & kSckBit) != 0;
            data = value;
            dataWrites.push_back(value);
            if (risingSck) ShiftIn(value & kMosiBit);
        } else if (address == BaseAddress() + 2) {
            control = value;
        } else {
            ++foreignAccesses;
        }
    }

    bool Line(std::uint8_t bit) const { return (data & bit) != 0; }

    static constexpr std::uint8_t kMosiBit = MaskOf(IspLine::Mosi);
    static constexpr std::uint8_t kSckBit = MaskOf(IspLine::Sck);
    static constexpr std::uint8_t kRstBit = MaskOf(IspLine::Rst);
    static constexpr std::uint8_t kEnableBit = MaskOf(IspLine::Enable);
    static constexpr std::uint8_t kReadyBit = MaskOf(IspLine::Ready);
    static constexpr std::uint8_t kMisoBit = MaskOf(IspLine::Miso);

    bool driverActive = true;
    std::string driverMessage = "Treiber meldet nichts.";
    bool ready = true;
    bool miso = true;

    std::uint8_t data = 0;
    std::uint8_t control = 0;
    int starts = 0;
    int stops = 0;
    int foreignAccesses = 0;
    std::vector<std::string> events;  // driver starts and stops
    std::vector<std::uint8_t> dataWrites;
    std::vector<std::uint8_t> mosiBytes;

  private:
    void ShiftIn(int bit) {
        m_shift = static_cast<std::uint8_t>((m_shift << 1) | (bit ? 1 : 0));
        if (++m_bits == 8) {
            mosiBytes.push_back(m_shift);
            m_bits = 0;
        }
    }

    std::uint8_t m_shift = 0;
    int m_bits = 0;
};

}  // namespace velmo::testing
