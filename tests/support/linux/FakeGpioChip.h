#pragma once

#include <linux/gpio.h>

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "port/Cable.h"
#include "port/PortIo.h"
#include "port/linux/GpioPort.h"

namespace velmo::testing {

// GPIO chips as the kernel's character device shows them, with its rules: a request names
// offsets, and values and masks are bitmaps over the request's line indices; an offset beyond
// the chip is EINVAL, a line already requested (by anyone, also twice in one request) or held
// by a kernel driver is EBUSY, setting an input is EPERM, a mask naming no requested line is
// EINVAL, an invalid flag combination or nonzero padding is EINVAL. Values are logical: an
// active-low line is high when inactive. Stricter than the kernel in one point: a mask bit at
// or beyond the request's line count is refused (EINVAL) instead of ignored, since a backend
// that sends one has lost track of its lines.
//
// The world (chips, open descriptors, call counts) belongs to the test; System() hands the
// backend a GpioSystem that works on it, so the FakeGpio must outlive the backend.
class FakeGpio {
  public:
    struct Line {
        bool requested = false;
        std::string consumer;
        bool kernelHeld = false;     // a kernel driver holds it (the SPI driver, a pin mux)
        std::string kernelConsumer;  // shown as its consumer then, may be empty
        bool output = false;
        bool activeLow = false;
        std::uint64_t bias = 0;  // the bias flag last requested
        bool value = false;      // logical output value
    };
    struct Chip {
        std::string path;
        std::string name;
        std::string label;
        std::vector<Line> lines;
        int openErrno = 0;  // Open fails with it
        std::string group = "gpio";
    };
    // What the backend did, in order: "open PATH", "close", and the ioctls by short name.
    struct Event {
        std::string what;
        std::uint64_t bits = 0;  // SET/GET_VALUES: values; SET_CONFIG: default flags
        std::uint64_t mask = 0;
    };

    Chip& AddChip(const std::string& name, const std::string& label, std::size_t lines) {
        chips.push_back({"/dev/" + name, name, label, std::vector<Line>(lines)});
        return chips.back();
    }

    // A physical level: the pin's level as the chip drives it (outputs) or as it is driven from
    // outside (inputs, through inputLevel; where that is not set, the bias's level).
    bool PinLevel(std::size_t chip, std::uint32_t offset) {
        const Line& line = chips[chip].lines[offset];
        if (line.output) return line.value != line.activeLow;
        return inputLevel ? inputLevel(chip, offset) : line.bias == GPIO_V2_LINE_FLAG_BIAS_PULL_UP;
    }

    std::unique_ptr<GpioSystem> System();

    int Open(const std::string& path) {
        Record({"open " + path});
        for (std::size_t c = 0; c < chips.size(); ++c) {
            if (chips[c].path != path) continue;
            if (chips[c].openErrno) return -chips[c].openErrno;
            const int fd = nextFd++;
            fds[fd] = {static_cast<int>(c), {}, false};
            return fd;
        }
        return -ENOENT;
    }

    void Close(int fd) {
        Record({"close"});
        const auto it = fds.find(fd);
        if (it == fds.end()) {
            ++badCloses;
            return;
        }
        // The lines stay configured as they were; only the claim ends.
        if (it->second.isRequest) {
            for (std::uint32_t offset : it->second.offsets) {
                Line& line = chips[static_cast<std::size_t>(it->second.chip)].lines[offset];
                line.requested = false;
                line.consumer.clear();
            }
            if (outputsChanged) outputsChanged();
        }
        fds.erase(it);
    }

    int Ioctl(int fd, unsigned long request, void* arg) {
        ++counts[request];
        const auto it = fds.find(fd);
        if (it == fds.end()) return -EBADF;
        if (failIoctl) {
            if (const int error = failIoctl(request)) {
                Record({std::string(Name(request)) + " failed"});
                return -error;
            }
        }
        Descriptor& d = it->second;
        Chip& chip = chips[static_cast<std::size_t>(d.chip)];
        if (!d.isRequest) {
            switch (request) {
                case GPIO_GET_CHIPINFO_IOCTL:
                    Record({"CHIPINFO"});
                    return ChipInfo(chip, *static_cast<gpiochip_info*>(arg));
                case GPIO_V2_GET_LINEINFO_IOCTL:
                    Record({"LINEINFO"});
                    return LineInfo(chip, *static_cast<gpio_v2_line_info*>(arg));
                case GPIO_V2_GET_LINE_IOCTL:
                    Record({"GET_LINE"});
                    return GetLine(d.chip, *static_cast<gpio_v2_line_request*>(arg));
                default:
                    return -EINVAL;
            }
        }
        switch (request) {
            case GPIO_V2_LINE_GET_VALUES_IOCTL:
                return GetValues(d, *static_cast<gpio_v2_line_values*>(arg));
            case GPIO_V2_LINE_SET_VALUES_IOCTL:
                return SetValues(d, *static_cast<gpio_v2_line_values*>(arg));
            case GPIO_V2_LINE_SET_CONFIG_IOCTL:
                return SetConfig(d, *static_cast<gpio_v2_line_config*>(arg));
            default:
                return -EINVAL;
        }
    }

    std::vector<std::string> ListChips() const {
        std::vector<std::string> paths;
        for (const Chip& chip : chips) paths.push_back(chip.path);
        return paths;
    }

    std::string OwnerGroup(const std::string& path) const {
        for (const Chip& chip : chips) {
            if (chip.path == path) return chip.group;
        }
        return "";
    }

    static const char* Name(unsigned long request) {
        switch (request) {
            case GPIO_GET_CHIPINFO_IOCTL:
                return "CHIPINFO";
            case GPIO_V2_GET_LINEINFO_IOCTL:
                return "LINEINFO";
            case GPIO_V2_GET_LINE_IOCTL:
                return "GET_LINE";
            case GPIO_V2_LINE_GET_VALUES_IOCTL:
                return "GET_VALUES";
            case GPIO_V2_LINE_SET_VALUES_IOCTL:
                return "SET_VALUES";
            case GPIO_V2_LINE_SET_CONFIG_IOCTL:
                return "SET_CONFIG";
            default:
                return "other";
        }
    }

    std::vector<std::string> EventNames() const {
        std::vector<std::string> names;
        for (const Event& e : events) names.push_back(e.what);
        return names;
    }

    long Count(unsigned long request) const {
        const auto it = counts.find(request);
        return it == counts.end() ? 0 : it->second;
    }
    long TotalIoctls() const {
        long total = 0;
        for (const auto& [request, count] : counts) total += count;
        return total;
    }

    std::vector<Chip> chips;
    std::string userName = "pi";
    // The level something outside drives onto an input pin.
    std::function<bool(std::size_t chip, std::uint32_t offset)> inputLevel;
    // Runs after every change of an output pin's level or direction.
    std::function<void()> outputsChanged;
    // Returns an errno to make that ioctl fail, 0 to let it run.
    std::function<int(unsigned long request)> failIoctl;
    // Off for long runs: the value ioctls are then only counted.
    bool recordValueCalls = true;
    std::vector<Event> events;
    std::map<unsigned long, long> counts;
    int badCloses = 0;

    std::size_t OpenDescriptors() const { return fds.size(); }

  private:
    struct Descriptor {
        int chip = -1;
        std::vector<std::uint32_t> offsets;  // of a request, in its order
        bool isRequest = false;
    };

    void Record(Event event) { events.push_back(std::move(event)); }

    static constexpr std::uint64_t kValidFlags =
        GPIO_V2_LINE_FLAG_ACTIVE_LOW | GPIO_V2_LINE_FLAG_INPUT | GPIO_V2_LINE_FLAG_OUTPUT |
        GPIO_V2_LINE_FLAG_EDGE_RISING | GPIO_V2_LINE_FLAG_EDGE_FALLING |
        GPIO_V2_LINE_FLAG_OPEN_DRAIN | GPIO_V2_LINE_FLAG_OPEN_SOURCE |
        GPIO_V2_LINE_FLAG_BIAS_PULL_UP | GPIO_V2_LINE_FLAG_BIAS_PULL_DOWN |
        GPIO_V2_LINE_FLAG_BIAS_DISABLED | GPIO_V2_LINE_FLAG_EVENT_CLOCK_REALTIME |
        GPIO_V2_LINE_FLAG_EVENT_CLOCK_HTE;
    static constexpr std::uint64_t kBiasFlags = GPIO_V2_LINE_FLAG_BIAS_PULL_UP |
                                                GPIO_V2_LINE_FLAG_BIAS_PULL_DOWN |
                                                GPIO_V2_LINE_FLAG_BIAS_DISABLED;
    static constexpr std::uint64_t kDirectionFlags =
        GPIO_V2_LINE_FLAG_INPUT | GPIO_V2_LINE_FLAG_OUTPUT;

    static bool AllZero(const void* data, std::size_t size) {
        const auto* bytes = static_cast<const unsigned char*>(data);
        for (std::size_t i = 0; i < size; ++i) {
            if (bytes[i] != 0) return false;
        }
        return true;
    }

    static std::uint64_t FlagsOf(const gpio_v2_line_config& config, unsigned index) {
        for (std::uint32_t a = 0; a < config.num_attrs; ++a) {
            const auto& attr = config.attrs[a];
            if (attr.attr.id == GPIO_V2_LINE_ATTR_ID_FLAGS && (attr.mask >> index) & 1) {
                return attr.attr.flags;
            }
        }
        return config.flags;
    }

    static bool OutputValueOf(const gpio_v2_line_config& config, unsigned index) {
        for (std::uint32_t a = 0; a < config.num_attrs; ++a) {
            const auto& attr = config.attrs[a];
            if (attr.attr.id == GPIO_V2_LINE_ATTR_ID_OUTPUT_VALUES && (attr.mask >> index) & 1) {
                return (attr.attr.values >> index) & 1;
            }
        }
        return false;
    }

    static bool FlagsValid(std::uint64_t flags) {
        if (flags & ~kValidFlags) return false;
        const bool input = flags & GPIO_V2_LINE_FLAG_INPUT;
        const bool output = flags & GPIO_V2_LINE_FLAG_OUTPUT;
        if (input && output) return false;
        const std::uint64_t edges = GPIO_V2_LINE_FLAG_EDGE_RISING | GPIO_V2_LINE_FLAG_EDGE_FALLING;
        if ((flags & edges) && !input) return false;
        const std::uint64_t drive = GPIO_V2_LINE_FLAG_OPEN_DRAIN | GPIO_V2_LINE_FLAG_OPEN_SOURCE;
        if ((flags & drive) && (!output || (flags & drive) == drive)) return false;
        const std::uint64_t bias = flags & kBiasFlags;
        if (bias && (!(flags & kDirectionFlags) || (bias & (bias - 1)) != 0)) return false;
        return true;
    }

    static bool ConfigValid(const gpio_v2_line_config& config, unsigned lines) {
        if (config.num_attrs > GPIO_V2_LINE_NUM_ATTRS_MAX) return false;
        if (!AllZero(config.padding, sizeof config.padding)) return false;
        for (unsigned i = 0; i < lines; ++i) {
            if (!FlagsValid(FlagsOf(config, i))) return false;
        }
        return true;
    }

    static void Configure(Line& line, const gpio_v2_line_config& config, unsigned index) {
        const std::uint64_t flags = FlagsOf(config, index);
        line.activeLow = flags & GPIO_V2_LINE_FLAG_ACTIVE_LOW;
        line.bias = flags & kBiasFlags;
        if (flags & GPIO_V2_LINE_FLAG_OUTPUT) {
            line.output = true;
            line.value = OutputValueOf(config, index);
        } else if (flags & GPIO_V2_LINE_FLAG_INPUT) {
            line.output = false;
        }
    }

    static int ChipInfo(const Chip& chip, gpiochip_info& info) {
        std::memset(&info, 0, sizeof info);
        std::strncpy(info.name, chip.name.c_str(), sizeof info.name - 1);
        std::strncpy(info.label, chip.label.c_str(), sizeof info.label - 1);
        info.lines = static_cast<std::uint32_t>(chip.lines.size());
        return 0;
    }

    static int LineInfo(const Chip& chip, gpio_v2_line_info& info) {
        if (!AllZero(info.padding, sizeof info.padding)) return -EINVAL;
        const std::uint32_t offset = info.offset;
        if (offset >= chip.lines.size()) return -EINVAL;
        const Line& line = chip.lines[offset];
        std::memset(&info, 0, sizeof info);
        info.offset = offset;
        std::snprintf(info.name, sizeof info.name, "GPIO%u", offset);
        const std::string& consumer = line.requested ? line.consumer : line.kernelConsumer;
        std::strncpy(info.consumer, consumer.c_str(), sizeof info.consumer - 1);
        if (line.requested || line.kernelHeld) info.flags |= GPIO_V2_LINE_FLAG_USED;
        info.flags |= line.output ? GPIO_V2_LINE_FLAG_OUTPUT : GPIO_V2_LINE_FLAG_INPUT;
        if (line.activeLow) info.flags |= GPIO_V2_LINE_FLAG_ACTIVE_LOW;
        info.flags |= line.bias;
        return 0;
    }

    int GetLine(int chipIndex, gpio_v2_line_request& request) {
        Chip& chip = chips[static_cast<std::size_t>(chipIndex)];
        if (request.num_lines == 0 || request.num_lines > GPIO_V2_LINES_MAX) return -EINVAL;
        if (!AllZero(request.padding, sizeof request.padding)) return -EINVAL;
        if (!ConfigValid(request.config, request.num_lines)) return -EINVAL;
        std::vector<std::uint32_t> taken;
        auto undo = [&](int error) {
            for (std::uint32_t offset : taken) {
                chip.lines[offset].requested = false;
                chip.lines[offset].consumer.clear();
            }
            return error;
        };
        for (unsigned i = 0; i < request.num_lines; ++i) {
            const std::uint32_t offset = request.offsets[i];
            if (offset >= chip.lines.size()) return undo(-EINVAL);
            Line& line = chip.lines[offset];
            if (line.requested || line.kernelHeld) return undo(-EBUSY);
            line.requested = true;
            line.consumer =
                std::string(request.consumer, strnlen(request.consumer, sizeof request.consumer));
            taken.push_back(offset);
            Configure(line, request.config, i);
        }
        const int fd = nextFd++;
        fds[fd] = {chipIndex, taken, true};
        request.fd = fd;
        if (outputsChanged) outputsChanged();
        return 0;
    }

    // The request's lines named by mask, or EINVAL for a mask naming none or more than it has.
    static int Selected(const Descriptor& d, std::uint64_t mask) {
        const std::size_t count = d.offsets.size();
        if (mask == 0) return -EINVAL;
        if (count < 64 && (mask >> count) != 0) return -EINVAL;
        return 0;
    }

    int GetValues(const Descriptor& d, gpio_v2_line_values& values) {
        if (const int error = Selected(d, values.mask); error != 0) return error;
        values.bits = 0;
        for (std::size_t i = 0; i < d.offsets.size(); ++i) {
            if (!((values.mask >> i) & 1)) continue;
            const Line& line = chips[static_cast<std::size_t>(d.chip)].lines[d.offsets[i]];
            const bool logical = line.output ? line.value
                                             : PinLevel(static_cast<std::size_t>(d.chip),
                                                        d.offsets[i]) != line.activeLow;
            if (logical) values.bits |= std::uint64_t{1} << i;
        }
        if (recordValueCalls) Record({"GET_VALUES", values.bits, values.mask});
        return 0;
    }

    int SetValues(const Descriptor& d, const gpio_v2_line_values& values) {
        if (const int error = Selected(d, values.mask); error != 0) return error;
        Chip& chip = chips[static_cast<std::size_t>(d.chip)];
        for (std::size_t i = 0; i < d.offsets.size(); ++i) {
            if (((values.mask >> i) & 1) && !chip.lines[d.offsets[i]].output) return -EPERM;
        }
        for (std::size_t i = 0; i < d.offsets.size(); ++i) {
            if ((values.mask >> i) & 1) chip.lines[d.offsets[i]].value = (values.bits >> i) & 1;
        }
        if (recordValueCalls) Record({"SET_VALUES", values.bits, values.mask});
        if (outputsChanged) outputsChanged();
        return 0;
    }

    int SetConfig(const Descriptor& d, const gpio_v2_line_config& config) {
        if (!ConfigValid(config, static_cast<unsigned>(d.offsets.size()))) return -EINVAL;
        Record({"SET_CONFIG", config.flags, 0});
        Chip& chip = chips[static_cast<std::size_t>(d.chip)];
        for (std::size_t i = 0; i < d.offsets.size(); ++i) {
            if (FlagsOf(config, static_cast<unsigned>(i)) & kDirectionFlags) {
                Configure(chip.lines[d.offsets[i]], config, static_cast<unsigned>(i));
            }
        }
        if (outputsChanged) outputsChanged();
        return 0;
    }

    std::map<int, Descriptor> fds;
    int nextFd = 10;
};

namespace detail {
class FakeGpioSystem : public GpioSystem {
  public:
    explicit FakeGpioSystem(FakeGpio& gpio) : m_gpio(gpio) {}
    int Open(const std::string& path) override { return m_gpio.Open(path); }
    int Ioctl(int fd, unsigned long request, void* arg) override {
        return m_gpio.Ioctl(fd, request, arg);
    }
    void Close(int fd) override { m_gpio.Close(fd); }
    std::vector<std::string> ListChips() override { return m_gpio.ListChips(); }
    std::string OwnerGroup(const std::string& path) override { return m_gpio.OwnerGroup(path); }
    std::string UserName() override { return m_gpio.userName; }

  private:
    FakeGpio& m_gpio;
};
}  // namespace detail

inline std::unique_ptr<GpioSystem> FakeGpio::System() {
    return std::make_unique<detail::FakeGpioSystem>(*this);
}

// One wire from a GPIO line to the target's side of the cable, through an inverting buffer
// when inverter is set.
struct GpioWire {
    IspLine line;
    std::uint32_t offset;
    bool inverter = false;
    unsigned socket = 0;  // MISO: the socket of a gang fixture it comes from
};

// Wires the chip's lines to a target that looks like a parallel port (the simulated chip and
// board): every output pin drives its line's bit of the target's data register, every input
// pin reads its line's bit of the target's status register. A pin that is not an output
// drives nothing; the buffer's input then follows the pin's bias (low without one).
inline void ConnectTarget(FakeGpio& gpio, std::size_t chip, PortIo& target,
                          std::vector<GpioWire> wires) {
    gpio.outputsChanged = [&gpio, chip, &target, wires] {
        const std::uint16_t base = target.BaseAddress();
        std::uint8_t data = target.ReadPort(base);
        const std::uint8_t before = data;
        for (const GpioWire& wire : wires) {
            if (!CableOf(wire.line).output) continue;
            const FakeGpio::Line& line = gpio.chips[chip].lines[wire.offset];
            const bool pin = line.output ? line.value != line.activeLow
                                         : line.bias == GPIO_V2_LINE_FLAG_BIAS_PULL_UP;
            data = WithLine(wire.line, data, pin != wire.inverter);
        }
        if (data != before) target.WritePort(base, data);
    };
    gpio.inputLevel = [chip, &target, wires](std::size_t c, std::uint32_t offset) {
        if (c != chip) return false;
        for (const GpioWire& wire : wires) {
            if (wire.offset != offset || CableOf(wire.line).output) continue;
            const std::uint8_t status =
                target.ReadPort(static_cast<std::uint16_t>(target.BaseAddress() + 1));
            const bool level = wire.line == IspLine::Miso
                                   ? SocketMisoPin(wire.socket).LevelIn(status)
                                   : LineLevel(wire.line, status);
            return level != wire.inverter;
        }
        return false;
    };
}

// The Raspberry Pi's wiring with the default lines, each through an inverter when asked.
inline std::vector<GpioWire> DefaultWires(bool inverters = false) {
    std::vector<GpioWire> wires;
    for (const GpioDefaultLine& line : kGpioDefaultLines) {
        wires.push_back({line.line, line.bcm, inverters});
    }
    return wires;
}

// The default wires plus the MISO lines of a gang fixture's sockets 2 to sockets.
inline std::vector<GpioWire> GangWires(unsigned sockets) {
    std::vector<GpioWire> wires = DefaultWires();
    for (unsigned s = 1; s < sockets; ++s) {
        wires.push_back({IspLine::Miso, kGpioDefaultMiso[s], false, s});
    }
    return wires;
}

}  // namespace velmo::testing
