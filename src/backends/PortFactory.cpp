#include "backends/PortFactory.h"

#include <cctype>
#include <cstdlib>

#include "port/DirectPort.h"
#include "port/GpioPort.h"
#include "port/PpdevPort.h"
#include "port/TracePort.h"
#include "sim/SimPort.h"
#include "sys/Files.h"

namespace velmo {

namespace {

// Stands in for a backend that cannot even be built: its start fails with the reason.
class FailedPort : public PortIo {
  public:
    explicit FailedPort(std::string message) : m_message(std::move(message)) {}
    void StartDriver() override {}
    void StopDriver() override {}
    bool DriverActive() const override { return false; }
    std::string DriverMessage() const override { return m_message; }
    std::uint8_t ReadPort(std::uint16_t) override { return 0; }
    void WritePort(std::uint16_t, std::uint8_t) override {}

  private:
    std::string m_message;
};

std::string Env(const char* name) {
    const char* value = std::getenv(name);
    return value ? value : "";
}

std::string Normalized(const std::string& text) {
    std::string out;
    for (char c : text) {
        if (!std::isspace(static_cast<unsigned char>(c))) {
            out += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        }
    }
    return out;
}

PortSetup CreateBackend(const PortEnvironment& env) {
    const std::string kind = Normalized(env.port);
    if (kind.empty() || kind == "auto" || kind == "ppdev") {
        return {std::make_unique<PpdevPort>(), MakeRealClock()};
    }
    if (kind == "direct") {
        return {std::make_unique<DirectPort>(), MakeRealClock()};
    }
    if (kind == "gpio") {
        std::string error;
        std::optional<GpioConfig> config = ParseGpioConfig(env.gpio, &error);
        if (!config) {
            return {std::make_unique<FailedPort>(error), MakeRealClock()};
        }
        return {std::make_unique<GpioPort>(std::move(*config)), MakeRealClock()};
    }
    if (kind == "sim") {
        std::string error;
        std::optional<SimOptions> options = ParseSimOptions(env.simOptions, &error);
        if (!options) {
            return {std::make_unique<FailedPort>(error), MakeRealClock()};
        }
        options->chipFile = env.simChip;
        std::unique_ptr<Clock> clock =
            options->virtualClock ? std::make_unique<VirtualClock>() : MakeRealClock();
        auto port = std::make_unique<SimPort>(*clock, std::move(*options));
        return {std::move(port), std::move(clock)};
    }
    return {std::make_unique<FailedPort>("Unbekannter Port-Treiber \"" + env.port +
                                         "\" in VELMO_PORT. Möglich sind auto, ppdev, "
                                         "direct, gpio und sim."),
            MakeRealClock()};
}

}  // namespace

bool WritesSimChip(const PortEnvironment& env, const std::string& path) {
    return Normalized(env.port) == "sim" && sys::SameFile(path, env.simChip);
}

std::string TraceConflict(const PortEnvironment& env) {
    if (!WritesSimChip(env, env.trace)) return {};
    return "Die Aufzeichnungsdatei \"" + env.trace +
           "\" (VELMO_TRACE) ist zugleich die Chip-Datei des Simulators (VELMO_SIM_CHIP); die "
           "Aufzeichnung würde den Chip überschreiben. Bitte eine andere Datei wählen.";
}

PortSetup CreatePort(const PortEnvironment& env) {
    if (std::string conflict = TraceConflict(env); !conflict.empty()) {
        return {std::make_unique<FailedPort>(std::move(conflict)), MakeRealClock()};
    }
    PortSetup setup = CreateBackend(env);
    if (!env.trace.empty()) {
        setup.port = std::make_unique<TracePort>(std::move(setup.port), *setup.clock, env.trace);
    }
    return setup;
}

bool IsGpioBackend(const std::string& velmoPort) {
    return Normalized(velmoPort) == "gpio";
}

PortEnvironment EnvironmentOfProcess() {
    return {Env("VELMO_PORT"), Env("VELMO_SIM_OPTIONS"), Env("VELMO_SIM_CHIP"), Env("VELMO_TRACE"),
            Env("VELMO_GPIO")};
}

PortSetup CreatePortFromEnvironment() {
    return CreatePort(EnvironmentOfProcess());
}

}  // namespace velmo
