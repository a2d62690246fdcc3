#pragma once

#include <memory>

#include "image/FlashImage.h"
#include "isp/Clock.h"
#include "isp/PortIo.h"
#include "sim/SimOptions.h"

namespace velmo {

class SimChip;

// The simulated AT89S53 on the Velmo board (or on a raw cable) behind a virtual parallel
// port at the base address: it sees the data register's lines and answers on the status
// register's MISO and READY, at the times the clock says.
class SimPort : public PortIo {
  public:
    SimPort(Clock& clock, SimOptions options);
    ~SimPort() override;

    void StartDriver() override;
    void StopDriver() override;
    bool DriverActive() const override;
    std::string DriverMessage() const override;
    std::uint8_t ReadPort(std::uint16_t address) override;
    void WritePort(std::uint16_t address, std::uint8_t value) override;

    SimChip& Chip();
    const SimChip& Chip() const;

  private:
    struct Impl;
    std::unique_ptr<Impl> m_impl;
};

}  // namespace velmo
