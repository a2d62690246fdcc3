// Placeholder until the backends land: a port that never starts.
#include "isp/PortFactory.h"

#include <cstdlib>

namespace velmo {
namespace {
class NoPort : public PortIo {
public:
    void StartDriver() override {}
    void StopDriver() override {}
    bool DriverActive() const override { return false; }
    std::string DriverMessage() const override { return "Kein Port-Treiber vorhanden."; }
    std::uint8_t ReadPort(std::uint16_t) override { return 0xFF; }
    void WritePort(std::uint16_t, std::uint8_t) override {}
};
std::string Env(const char* name) {
    const char* v = std::getenv(name);
    return v ? v : "";
}
}  // namespace

PortSetup CreatePort(const PortEnvironment&) {
    return {std::make_unique<NoPort>(), std::make_unique<VirtualClock>()};
}
PortSetup CreatePortFromEnvironment() {
    return CreatePort({Env("VELMO_PORT"), Env("VELMO_SIM_OPTIONS"), Env("VELMO_SIM_CHIP"),
                       Env("VELMO_TRACE")});
}
}  // namespace velmo
