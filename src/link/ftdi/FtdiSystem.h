#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace velmo {

// The FTDI chips by what they can drive: the H chips (and the FT2232C/D) have the MPSSE, a
// serial engine that clocks whole bytes; the FT232R and the FT-X chips only the synchronous
// bit-bang mode, one pin state per clock tick; the oldest (AM, BM) neither.
enum class FtdiChip : std::uint8_t {
    Unknown,
    Am,
    Bm,
    Ft2232C,
    Ft232R,
    Ft2232H,
    Ft4232H,
    Ft232H,
    Ft230X
};

// "FT232H", "FT231X", ...
const char* FtdiChipName(FtdiChip chip);

// One adapter on the bus, as the listing found it.
struct FtdiDevice {
    std::uint8_t bus = 0;
    std::uint8_t address = 0;
    std::uint16_t vendor = 0x0403;
    std::uint16_t product = 0;
    FtdiChip chip = FtdiChip::Unknown;
    std::string manufacturer;
    std::string description;
    std::string serial;
    // The user may open the device file (the strings above are only read then).
    bool accessible = true;
};

enum class FtdiBitMode : std::uint8_t { Reset, SyncBitBang, Mpsse };

// The calls the FTDI link makes into the USB library, so that tests can run it on a fake
// adapter. Only the implementation over libftdi knows the library; a build without it has none.
// The calls after Open work on the one adapter that is open; each returns 0 (Write, Read: the
// bytes done) or a negative value, and ErrorText then says why in the library's words.
class FtdiSystem {
  public:
    // Open fails with this when the user may not use the device file.
    static constexpr int kNoAccess = -13;

    virtual ~FtdiSystem() = default;
    // Every adapter with FTDI's vendor id and the product id of a chip the link knows (0x6001,
    // 0x6010, 0x6011, 0x6014, 0x6015). False when the USB system cannot be asked at all.
    virtual bool List(std::vector<FtdiDevice>& devices) = 0;
    // channel: 0 for A up to 3 for D (the interface VELMO_FTDI names), on the chips with more than
    // one.
    virtual int Open(const FtdiDevice& device, unsigned channel) = 0;
    virtual int Purge() = 0;
    virtual int SetLatencyTimer(std::uint8_t milliseconds) = 0;
    // outputs: the pins driven in bit-bang mode (MPSSE sets its directions by command).
    virtual int SetBitMode(std::uint8_t outputs, FtdiBitMode mode) = 0;
    // The library's rate: it multiplies it by 4 in bit-bang mode before it sets the divisor.
    virtual int SetBaudRate(int baud) = 0;
    // All of data, or a negative value.
    virtual int Write(const std::uint8_t* data, std::size_t size) = 0;
    // Exactly size bytes, or a negative value when they do not come within a second or two.
    virtual int Read(std::uint8_t* data, std::size_t size) = 0;
    virtual void Close() = 0;
    virtual std::string ErrorText() = 0;
};

// The adapters through libftdi; nullptr where this build has no USB support.
std::unique_ptr<FtdiSystem> MakeUsbFtdiSystem();

}  // namespace velmo
