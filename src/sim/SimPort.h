#pragma once

#include <memory>

#include "image/FlashImage.h"
#include "port/PortIo.h"
#include "port/SideFile.h"
#include "sim/SimOptions.h"
#include "timing/Clock.h"

namespace velmo {

class SimChip;

// The simulated chips (AT89S53 unless options.model names another chip of the family) on the
// Velmo board (or on a raw cable) behind a virtual parallel port at the base address: it sees the
// data register's lines and answers on the status register's MISO and READY, at the times the clock
// says.
//
// Registers: data and control read back what was last written (0x00 and 0x0C at first);
// the status register reads as if its pins floated high, except MISO and READY, which the
// chip and the board drive; addresses beyond
// the three read 0xFF. Reads and writes work whether or not the driver was started.
// Behaviour of chip and board: sim/SimAt89.h and sim/SimBoard.h.
//
// With options.chipFile the flash lives in that file: loaded (or created erased) on
// construction, a file that cannot be used makes StartDriver fail with a message naming
// it. From StartDriver to StopDriver the port holds an exclusive lock on the file (a second
// run waits for it up to options.lockWaitSeconds, saying so, and then fails its start) and
// takes the flash as the run before left it. Every change of the flash goes through to the
// file as soon as the chip has taken it, and on StopDriver (before the lock goes) and
// destruction a write or erase still running is finished and saved first; FinishFile reports
// a save that failed. The destructor does not touch the clock, which LinkSetup destroys
// before the port.
class SimPort : public PortIo, public SideFile {
  public:
    SimPort(Clock& clock, SimOptions options);
    ~SimPort() override;

    void StartDriver() override;
    void StopDriver() override;
    bool DriverActive() const override;
    std::string DriverMessage() const override;
    std::uint8_t ReadPort(std::uint16_t address) override;
    void WritePort(std::uint16_t address, std::uint8_t value) override;
    std::string FinishFile() override;
    bool IsFile(const std::string& path) const override;

    // The chip in socket (from 0); options.sockets of them answer on the sockets' MISO lines.
    SimChip& Chip(unsigned socket = 0);
    const SimChip& Chip(unsigned socket = 0) const;
    unsigned Sockets() const;

  private:
    struct Impl;
    std::unique_ptr<Impl> m_impl;
};

}  // namespace velmo
