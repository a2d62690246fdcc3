#include "backends/BackendDescription.h"

#include <optional>

#include "port/GpioConfig.h"
#include "port/SettingText.h"

namespace velmo {

namespace {

std::string GpioFromSettings(const PortEnvironment& env) {
    std::string error;
    const std::optional<GpioConfig> config = ParseGpioConfig(env.gpio, &error);
    if (!config) return "GPIO: VELMO_GPIO=\"" + env.gpio + "\"";
    std::string chip = config->chip;
    if (chip.empty()) {
        chip = "Chip des Raspberry Pi";
    } else if (chip.find('/') == std::string::npos) {
        chip = "/dev/" + chip;
    }
    return "GPIO: " + chip + ", " + DescribeGpioLines(*config);
}

std::string SimulatorFromSettings(const PortEnvironment& env) {
    std::string text = "Simulator: " + (env.simChip.empty() ? "ohne Chip-Datei" : env.simChip);
    if (!TrimBlanks(env.simOptions).empty()) text += ", VELMO_SIM_OPTIONS=" + env.simOptions;
    return text;
}

std::string AdapterFromSettings(const PortEnvironment& env) {
    std::string text = "USB-Adapter (FTDI)";
    if (!env.adapterSerial.empty()) text += ", Seriennummer " + env.adapterSerial;
    if (!TrimBlanks(env.ftdi).empty()) text += ", VELMO_FTDI=" + env.ftdi;
    return text;
}

}  // namespace

std::string DescribeBackend(const PortEnvironment& env, const IspLink& link) {
    const std::string kind = Lowercase(TrimBlanks(env.port));
    if (kind != "gpio" && kind != "sim" && kind != "ftdi") return {};
    if (link.DriverActive()) return link.DriverMessage();
    if (kind == "ftdi") return AdapterFromSettings(env);
    return kind == "gpio" ? GpioFromSettings(env) : SimulatorFromSettings(env);
}

}  // namespace velmo
