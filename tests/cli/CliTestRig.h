#pragma once

#include <stdlib.h>

#include <csignal>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <memory>
#include <sstream>
#include <string>
#include <system_error>
#include <vector>

#include "cli/CliRunner.h"
#include "image/FlashImage.h"
#include "link/BitBangLink.h"
#include "port/PortIo.h"
#include "sim/SimChip.h"
#include "sim/SimOptions.h"
#include "sim/SimPort.h"
#include "support/Images.h"
#include "support/TempDir.h"
#include "timing/Clock.h"

namespace velmo::testing {

inline const std::string kExampleHex = VELMO_SOURCE_DIR "/examples/blink.ihx";
inline const std::string kExampleBin = VELMO_SOURCE_DIR "/examples/blink.bin";

// Lets the program under test own "its" port while the test keeps the simulator.
class ForwardingPort : public PortIo {
  public:
    ForwardingPort(SimPort& inner, std::function<void()> afterWrite)
        : m_inner(inner), m_afterWrite(std::move(afterWrite)) {
        m_inner.SetBaseAddress(BaseAddress());
    }
    void StartDriver() override { m_inner.StartDriver(); }
    void StopDriver() override { m_inner.StopDriver(); }
    bool DriverActive() const override { return m_inner.DriverActive(); }
    std::string DriverMessage() const override { return m_inner.DriverMessage(); }
    std::uint8_t ReadPort(std::uint16_t address) override { return m_inner.ReadPort(address); }
    void WritePort(std::uint16_t address, std::uint8_t value) override {
        m_inner.WritePort(address, value);
        if (m_afterWrite) m_afterWrite();
    }

  protected:
    void OnBaseAddressChanged() override { m_inner.SetBaseAddress(BaseAddress()); }

  private:
    SimPort& m_inner;
    std::function<void()> m_afterWrite;
};

class ForwardingClock : public Clock {
  public:
    explicit ForwardingClock(Clock& inner) : m_inner(inner) {}
    std::int64_t NowNs() override { return m_inner.NowNs(); }
    void Delay(std::uint32_t microseconds) override { m_inner.Delay(microseconds); }
    void SleepMs(std::uint32_t milliseconds) override { m_inner.SleepMs(milliseconds); }

  private:
    Clock& m_inner;
};

inline SimOptions VirtualSim() {
    SimOptions options;
    options.virtualClock = true;
    return options;
}

// velmo-cli run in this process against one simulated chip on the virtual clock, which
// stays alive (lock bits and all) from one call to the next.
struct CliRig {
    explicit CliRig(SimOptions options = VirtualSim()) : sim(clock, std::move(options)) {}

    int Run(const std::vector<std::string>& args, bool terminal = false) {
        out.str("");
        err.str("");
        stop = 0;
        cli::CliContext context{
            out, err, terminal,
            [this](const std::string&, cli::PortChoice, unsigned, const std::string&) {
                LinkSetup setup;
                setup.port = std::make_unique<ForwardingPort>(sim, afterWrite);
                setup.clock = std::make_unique<ForwardingClock>(clock);
                setup.link = std::make_unique<BitBangLink>(*setup.port, *setup.clock);
                setup.files.Add(sim);
                return setup;
            },
            &stop};
        return cli::RunCli(args, context);
    }

    const FlashImage& Chip() { return sim.Chip().Flash(); }
    std::uint8_t DataRegister() { return sim.ReadPort(sim.BaseAddress()); }

    VirtualClock clock;
    SimPort sim;
    std::ostringstream out;
    std::ostringstream err;
    volatile std::sig_atomic_t stop = 0;
    std::function<void()> afterWrite;  // runs after every register write of the program
};

}  // namespace velmo::testing
