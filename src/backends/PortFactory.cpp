#include "backends/PortFactory.h"

#include <algorithm>
#include <cctype>
#include <cstdlib>

#include "link/BitBangLink.h"
#include "link/ftdi/FtdiLink.h"
#include "port/GpioConfig.h"
#include "port/SettingText.h"
#include "port/TracePort.h"
#include "sim/SimPort.h"
#include "sys/Files.h"
#include "sys/Process.h"

#ifdef _WIN32
#include "port/windows/InpOutPort.h"
#else
#include "port/linux/DirectPort.h"
#include "port/linux/GpioPort.h"
#include "port/linux/PpdevPort.h"
#endif

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

std::string Normalized(const std::string& text) {
    std::string out;
    for (char c : text) {
        if (!std::isspace(static_cast<unsigned char>(c))) {
            out += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        }
    }
    return out;
}

LinkSetup RealPort(std::unique_ptr<PortIo> port) {
    return {std::move(port), MakeRealClock()};
}

#ifdef _WIN32
LinkSetup MakeInpOut(const PortEnvironment&) {
    return RealPort(std::make_unique<InpOutPort>());
}
#else
LinkSetup MakePpdev(const PortEnvironment&) {
    return RealPort(std::make_unique<PpdevPort>());
}

LinkSetup MakeDirect(const PortEnvironment&) {
    return RealPort(std::make_unique<DirectPort>());
}

LinkSetup MakeGpio(const PortEnvironment& env) {
    std::string error;
    std::optional<GpioConfig> config = ParseGpioConfig(env.gpio, &error);
    if (!config) return RealPort(std::make_unique<FailedPort>(error));
    config->sockets = env.sockets;
    return RealPort(std::make_unique<GpioPort>(std::move(*config)));
}
#endif

LinkSetup MakeSim(const PortEnvironment& env) {
    std::string error;
    std::optional<SimOptions> options = ParseSimOptions(env.simOptions, &error);
    if (!options) return RealPort(std::make_unique<FailedPort>(error));
    options->chipFile = env.simChip;
    options->sockets = env.sockets;
    std::unique_ptr<Clock> clock =
        options->virtualClock ? std::make_unique<VirtualClock>() : MakeRealClock();
    auto port = std::make_unique<SimPort>(*clock, std::move(*options));
    LinkSetup setup{nullptr, std::move(clock), nullptr, {}};
    setup.files.Add(*port);
    setup.port = std::move(port);
    return setup;
}

LinkSetup MakeFtdi(const PortEnvironment& env) {
    return CreateFtdiLink(env, MakeUsbFtdiSystem());
}

// The one table of every backend this platform has (VELMO_PORT's values); auto means the
// first. The simulator is never chosen by itself.
struct Backend {
    const char* name;
    // A parallel port: its five status inputs serve as many sockets.
    bool parallel;
    // A link of its own (a USB adapter), not a register port under the bit-bang link.
    bool native;
    LinkSetup (*make)(const PortEnvironment&);
};
constexpr Backend kBackends[] = {
#ifdef _WIN32
    {"inpout", true, false, MakeInpOut},
#else
    {"ppdev", true, false, MakePpdev},
    {"direct", true, false, MakeDirect},
    {"gpio", false, false, MakeGpio},
#endif
    {"ftdi", false, true, MakeFtdi},
    {"sim", false, false, MakeSim},
};

const Backend* FindBackend(const std::string& kind) {
    if (kind.empty() || kind == "auto") return &kBackends[0];
    for (const Backend& backend : kBackends) {
        if (kind == backend.name) return &backend;
    }
    return nullptr;
}

// "auto, ppdev, direct, gpio und sim"
std::string BackendNames() {
    std::string names = "auto";
    const std::size_t count = std::size(kBackends);
    for (std::size_t i = 0; i < count; ++i) {
        names += (i + 1 == count ? " und " : ", ") + std::string(kBackends[i].name);
    }
    return names;
}

LinkSetup CreateBackend(const PortEnvironment& env) {
    if (const Backend* backend = FindBackend(Normalized(env.port))) return backend->make(env);
    return RealPort(std::make_unique<FailedPort>("Unbekannter Port-Treiber \"" + env.port +
                                                 "\" in VELMO_PORT. Möglich sind " +
                                                 BackendNames() + "."));
}

}  // namespace

bool WritesSimChip(const PortEnvironment& env, const std::string& path) {
    if (Normalized(env.port) != "sim" || env.simChip.empty()) return false;
    for (unsigned socket = 0; socket < std::max(env.sockets, 1u); ++socket) {
        if (sys::SameFile(path, SocketPath(env.simChip, socket))) return true;
    }
    return false;
}

std::string TraceConflict(const PortEnvironment& env) {
    if (!WritesSimChip(env, env.trace)) return {};
    return "Die Aufzeichnungsdatei \"" + env.trace +
           "\" (VELMO_TRACE) ist zugleich die Chip-Datei des Simulators (VELMO_SIM_CHIP); die "
           "Aufzeichnung würde den Chip überschreiben. Bitte eine andere Datei wählen.";
}

LinkSetup CreateFtdiLink(const PortEnvironment& env, std::unique_ptr<FtdiSystem> system,
                         std::unique_ptr<Clock> clock) {
    std::string error;
    std::optional<FtdiConfig> config = ParseFtdiConfig(env.ftdi, &error);
    if (config) error = FtdiSocketProblem(*config, env.sockets);
    if (!config || !error.empty()) {
        LinkSetup setup{std::make_unique<FailedPort>(error), std::move(clock)};
        setup.link = std::make_unique<BitBangLink>(*setup.port, *setup.clock, env.sockets);
        setup.refusal = error;
        return setup;
    }
    if (!env.adapterSerial.empty()) config->serial = env.adapterSerial;
    LinkSetup setup{nullptr, std::move(clock)};
    auto link = std::make_unique<FtdiLink>(std::move(system), *setup.clock, std::move(*config),
                                           env.sockets, env.trace);
    if (!env.trace.empty()) setup.files.Add(*link);
    setup.link = std::move(link);
    return setup;
}

LinkSetup CreateLink(const PortEnvironment& env) {
    LinkSetup setup;
    if (const Backend* backend = FindBackend(Normalized(env.port));
        backend && backend->native && SocketProblem(env).empty()) {
        return backend->make(env);
    }
    if (std::string problem = SocketProblem(env); !problem.empty()) {
        setup = {std::make_unique<FailedPort>(problem), MakeRealClock()};
        setup.refusal = std::move(problem);
    } else if (std::string conflict = TraceConflict(env); !conflict.empty()) {
        setup = {std::make_unique<FailedPort>(std::move(conflict)), MakeRealClock()};
    } else {
        setup = CreateBackend(env);
    }
    if (!env.trace.empty()) {
        auto trace = std::make_unique<TracePort>(std::move(setup.port), *setup.clock, env.trace);
        // The trace is written out first: it shows what led to the chip.
        setup.files.AddFirst(*trace);
        setup.port = std::move(trace);
    }
    setup.link = std::make_unique<BitBangLink>(*setup.port, *setup.clock, env.sockets);
    return setup;
}

std::string SocketProblem(const PortEnvironment& env) {
    if (env.sockets <= 1) return {};
    const std::string kind = Normalized(env.port);
    if (const Backend* backend = FindBackend(kind); backend && backend->parallel) {
        if (env.sockets <= kMaxParallelSockets) return {};
        return "Ein Parallelport hat fünf Eingänge (Pins 12, 13, 10, 11 und 15), also höchstens " +
               std::to_string(kMaxParallelSockets) + " Sockel.";
    }
    if (kind == "gpio") {
        const std::optional<GpioConfig> config = ParseGpioConfig(env.gpio, nullptr);
        return config ? GpioSocketProblem(*config, env.sockets) : std::string();
    }
    if (kind == "ftdi") {
        const std::optional<FtdiConfig> config = ParseFtdiConfig(env.ftdi, nullptr);
        return config ? FtdiSocketProblem(*config, env.sockets) : std::string();
    }
    if (kind == "sim" && !env.simChip.empty() && env.simChip.find("{n}") == std::string::npos) {
        return "VELMO_SIM_CHIP \"" + env.simChip + "\" gilt für einen Chip; für " +
               std::to_string(env.sockets) +
               " Sockel muss der Name {n} enthalten, das für die Nummer des Sockels steht "
               "(z. B. chip{n}.bin).";
    }
    return {};
}

bool IsGpioBackend(const std::string& velmoPort) {
    return Normalized(velmoPort) == "gpio";
}

bool IsFtdiBackend(const std::string& velmoPort) {
    return Normalized(velmoPort) == "ftdi";
}

PortEnvironment EnvironmentOfProcess() {
    PortEnvironment env{sys::EnvironmentVariable("VELMO_PORT"),
                        sys::EnvironmentVariable("VELMO_SIM_OPTIONS"),
                        sys::EnvironmentVariable("VELMO_SIM_CHIP"),
                        sys::EnvironmentVariable("VELMO_TRACE"), sys::EnvironmentVariable("VELMO_GPIO")};
    env.ftdi = sys::EnvironmentVariable("VELMO_FTDI");
    return env;
}

LinkSetup CreateLinkFromEnvironment() {
    return CreateLink(EnvironmentOfProcess());
}

}  // namespace velmo
