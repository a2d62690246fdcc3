// Feeds arbitrary text to the parser of VELMO_FTDI and checks what it promises for any text:
// a configuration or a German message, never both and never neither; and for every drive and
// socket count, pins on the adapter's eight data pins, one per signal, or a reason.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "link/ftdi/FtdiConfig.h"

namespace {

void CheckPins(const velmo::FtdiConfig& config, velmo::FtdiDrive drive, unsigned sockets) {
    std::string error;
    const std::optional<velmo::FtdiPins> pins =
        velmo::ResolveFtdiPins(config, drive, sockets, &error);
    if (pins.has_value() == !error.empty()) std::abort();
    if (!pins) return;
    unsigned used = 0;
    const auto take = [&used](const velmo::FtdiPin& pin) {
        if (!pin.used) return;
        if (pin.bit > 7 || (used >> pin.bit) & 1) std::abort();
        used |= 1u << pin.bit;
    };
    for (const velmo::FtdiPin& pin : pins->lines) take(pin);
    for (unsigned socket = 1; socket < sockets; ++socket) take(pins->miso[socket]);
    if (!pins->Line(velmo::IspLine::Sck).used || !pins->Line(velmo::IspLine::Miso).used) {
        std::abort();
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    std::string error;
    const std::optional<velmo::FtdiConfig> config = velmo::ParseFtdiConfig(text, &error);
    if (config.has_value() == !error.empty()) std::abort();
    if (!config) return 0;
    if (config->channel > 3 || config->misoList.size() > velmo::kMaxFtdiSockets) std::abort();
    for (unsigned sockets = 1; sockets <= velmo::kMaxFtdiSockets + 1; ++sockets) {
        CheckPins(*config, velmo::FtdiDrive::Mpsse, sockets);
        CheckPins(*config, velmo::FtdiDrive::SyncBitBang, sockets);
    }
    return 0;
}
