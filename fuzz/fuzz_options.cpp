// Feeds arbitrary text to the parsers of the backends' settings (VELMO_SIM_OPTIONS and
// VELMO_GPIO) and checks what they promise for any text: a value within its bounds, or a
// German message, never both and never neither.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "image/FlashImage.h"
#include "port/GpioConfig.h"
#include "sim/SimOptions.h"

namespace {

void CheckSimOptions(const std::string& text) {
    std::string error;
    const std::optional<velmo::SimOptions> options = velmo::ParseSimOptions(text, &error);
    if (options.has_value() == !error.empty()) std::abort();
    if (!options) return;
    for (unsigned socket = 0; socket < velmo::kMaxSimSockets; ++socket) {
        const velmo::SimOptions own = options->ForSocket(socket);
        if (!(own.xtalMHz > 0.0) || own.xtalMHz > 1000.0) std::abort();
        for (const auto& [address, value] : own.stuckCells) {
            if (address >= velmo::FLASH_SIZE) std::abort();
            (void)value;
        }
    }
    for (const auto& [socket, items] : options->socketItems) {
        if (socket >= velmo::kMaxSimSockets || items.empty()) std::abort();
    }
}

void CheckGpio(const std::string& text) {
    std::string error;
    const std::optional<velmo::GpioConfig> config = velmo::ParseGpioConfig(text, &error);
    if (config.has_value() == !error.empty()) std::abort();
    if (!config) return;
    if (config->misoLines < 1 || config->misoLines > velmo::kMaxRegisterSockets) std::abort();
    if (!config->Line(velmo::IspLine::Mosi).used || !config->Line(velmo::IspLine::Miso).used) {
        std::abort();
    }
    for (unsigned sockets = 1; sockets <= velmo::kMaxRegisterSockets; ++sockets) {
        // Whatever it says, a configuration it accepts has one line per signal.
        if (!velmo::GpioSocketProblem(*config, sockets).empty()) continue;
        velmo::GpioConfig served = *config;
        served.sockets = sockets;
        const auto signals = velmo::GpioSignals(served);
        for (std::size_t a = 0; a < signals.size(); ++a) {
            for (std::size_t b = a + 1; b < signals.size(); ++b) {
                if (signals[a].line.offset == signals[b].line.offset) std::abort();
            }
        }
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    CheckSimOptions(text);
    CheckGpio(text);
    return 0;
}
