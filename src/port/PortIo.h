#pragma once

#include <cstdint>
#include <cstdio>
#include <string>

namespace velmo {

// The base addresses of the three standard ports LPT1, LPT2 and LPT3.
inline constexpr std::uint16_t LPT1_ADDRESS = 0x378;
inline constexpr std::uint16_t LPT2_ADDRESS = 0x278;
inline constexpr std::uint16_t LPT3_ADDRESS = 0x3BC;

// A base address as messages show it: "0x378", "0xD010".
inline std::string HexAddress(std::uint16_t address) {
    char text[8];
    std::snprintf(text, sizeof text, "0x%.3X", static_cast<unsigned>(address));
    return text;
}

// Access to one parallel port: start and stop the driver, and single 8-bit registers at
// base, base+1 and base+2. The base address lives here because every pin operation takes
// it from here. Reads and writes report no error: a backend that notices a failure keeps
// it for DriverMessage().
class PortIo {
  public:
    virtual ~PortIo() = default;

    void SetBaseAddress(std::uint16_t address) {
        m_baseAddress = address;
        OnBaseAddressChanged();
    }
    std::uint16_t BaseAddress() const { return m_baseAddress; }

    virtual void StartDriver() = 0;
    virtual void StopDriver() = 0;
    virtual bool DriverActive() const = 0;
    // German text for the user; after a failed start it says what to do.
    virtual std::string DriverMessage() const = 0;

    virtual std::uint8_t ReadPort(std::uint16_t address) = 0;
    virtual void WritePort(std::uint16_t address, std::uint8_t value) = 0;

  protected:
    virtual void OnBaseAddressChanged() {}

  private:
    std::uint16_t m_baseAddress = 0x378;
};

}  // namespace velmo
