#include "port/linux/GpioPort.h"

#include <fcntl.h>
#include <grp.h>
#include <linux/gpio.h>
#include <pwd.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <string_view>
#include <utility>

#include "port/SettingText.h"

namespace velmo {

namespace {

class LinuxGpioSystem : public GpioSystem {
  public:
    int Open(const std::string& path) override {
        const int fd = ::open(path.c_str(), O_RDWR | O_CLOEXEC);
        return fd >= 0 ? fd : -errno;
    }
    int Ioctl(int fd, unsigned long request, void* arg) override {
        return ::ioctl(fd, request, arg) >= 0 ? 0 : -errno;
    }
    void Close(int fd) override { ::close(fd); }

    std::vector<std::string> ListChips() override {
        std::vector<std::pair<long, std::string>> found;
        std::error_code error;
        for (const auto& entry : std::filesystem::directory_iterator("/dev", error)) {
            const long number = ChipNumber(entry.path().filename().string());
            if (number >= 0) found.emplace_back(number, entry.path().string());
        }
        std::sort(found.begin(), found.end());
        std::vector<std::string> paths;
        for (auto& [number, path] : found) paths.push_back(std::move(path));
        return paths;
    }

    std::string OwnerGroup(const std::string& path) override {
        struct stat info {};
        if (::stat(path.c_str(), &info) != 0) return "";
        const group* entry = ::getgrgid(info.st_gid);
        return entry && entry->gr_name ? entry->gr_name : "";
    }

    std::string UserName() override {
        const passwd* entry = ::getpwuid(::geteuid());
        return entry && entry->pw_name ? entry->pw_name : "";
    }

  private:
    // N of "gpiochipN", or -1 for any other name.
    static long ChipNumber(const std::string& name) {
        constexpr std::string_view prefix = "gpiochip";
        if (name.size() <= prefix.size() || name.compare(0, prefix.size(), prefix) != 0) {
            return -1;
        }
        long number = 0;
        for (std::size_t i = prefix.size(); i < name.size(); ++i) {
            if (name[i] < '0' || name[i] > '9' || number > 100000) return -1;
            number = number * 10 + (name[i] - '0');
        }
        return number;
    }
};

constexpr const char* kConsumer = "velmo";

std::string ErrorText(int negativeErrno) {
    return std::strerror(-negativeErrno);
}

// A fixed-size, possibly unterminated name field of the kernel's structures.
template <std::size_t N>
std::string FieldText(const char (&field)[N]) {
    return std::string(field, strnlen(field, N));
}

std::uint64_t Bit(int index) {
    return std::uint64_t{1} << index;
}

// The bias that holds a line at rest while nothing drives it: the outputs at the target's low
// level (so RST lets the chip run), READY at "no answer". MISO is the targets' to drive.
std::uint64_t RestBias(const GpioSignal& wire) {
    if (!wire.output && wire.key == "miso") return 0;
    return wire.line.inverted ? GPIO_V2_LINE_FLAG_BIAS_PULL_UP : GPIO_V2_LINE_FLAG_BIAS_PULL_DOWN;
}

// Lines with the same flags share one attribute: a request has room for only ten, and a gang
// fixture has up to thirteen lines.
void AddFlags(gpio_v2_line_config& config, std::uint64_t flags, std::uint64_t lines) {
    for (std::uint32_t a = 0; a < config.num_attrs; ++a) {
        gpio_v2_line_config_attribute& attr = config.attrs[a];
        if (attr.attr.id == GPIO_V2_LINE_ATTR_ID_FLAGS && attr.attr.flags == flags) {
            attr.mask |= lines;
            return;
        }
    }
    gpio_v2_line_config_attribute& attr = config.attrs[config.num_attrs++];
    attr.attr.id = GPIO_V2_LINE_ATTR_ID_FLAGS;
    attr.attr.flags = flags;
    attr.mask = lines;
}

std::string NoChipMessage() {
    return "Es gibt keinen GPIO-Chip: /dev/gpiochip* fehlt. Der Port-Treiber gpio braucht einen "
           "Rechner mit GPIO-Leitungen, etwa einen Raspberry Pi, dessen Kernel sie als "
           "/dev/gpiochipN anbietet. An einem PC mit Parallelport wählen Sie dessen Treiber "
           "(VELMO_PORT=auto, bei velmo-cli --port 378), zum Ausprobieren ohne Hardware "
           "VELMO_PORT=sim.";
}

}  // namespace

std::unique_ptr<GpioSystem> MakeLinuxGpioSystem() {
    return std::make_unique<LinuxGpioSystem>();
}

struct GpioPort::ChipChoice {
    std::string path;
    std::string name;
    std::string label;
    std::uint32_t lines = 0;
    int fd = -1;

    std::string Title() const { return name + " (" + Quoted(label) + ")"; }
};

GpioPort::GpioPort(GpioConfig config, std::unique_ptr<GpioSystem> system)
    : m_config(std::move(config)), m_system(std::move(system)) {}

GpioPort::~GpioPort() {
    Release();
}

void GpioPort::StartDriver() {
    if (m_active) return;
    Release();
    m_active = Start();
}

void GpioPort::StopDriver() {
    const bool wasActive = m_active;
    Release();
    m_active = false;
    // After a failure the reason stays readable.
    if (wasActive) m_message = "Der GPIO-Treiber ist angehalten.";
}

bool GpioPort::Start() {
    m_wires.clear();
    m_inputMask = 0;
    ChipChoice chip;
    if (m_config.chip.empty()) {
        if (!FindChip(chip)) return false;
    } else {
        const std::string path =
            m_config.chip.find('/') == std::string::npos ? "/dev/" + m_config.chip : m_config.chip;
        if (!OpenChip(path, chip)) return false;
    }
    // The request lives on without the chip's descriptor.
    const bool requested = CheckLines(chip) && Request(chip.fd, chip);
    m_system->Close(chip.fd);
    if (!requested) return false;

    m_chipPath = chip.path;
    for (const CableLine& wire : kCable) {
        if (wire.output) m_data = WithLine(wire.line, m_data, false);
    }
    m_message = "GPIO: " + chip.Title() + ", " + DescribeGpioLines(m_config);
    return true;
}

std::string GpioPort::PermissionMessage(const std::string& path, int result) {
    std::string user = m_system->UserName();
    if (user.empty()) user = "$USER";
    const std::string group = m_system->OwnerGroup(path);
    std::string text = "Kein Zugriff auf " + path + " (" + ErrorText(result) + "). ";
    if (group.empty() || group == "root") {
        // A group of its own first: membership of root would be the wrong cure.
        text +=
            "Das Gerät gehört keiner eigenen Gruppe. Legen Sie die Gruppe gpio an (sudo "
            "groupadd gpio), geben Sie ihr die Geräte mit einer udev-Regel "
            "(/etc/udev/rules.d/60-gpio.rules: SUBSYSTEM==\"gpio\", KERNEL==\"gpiochip*\", "
            "GROUP=\"gpio\", MODE=\"0660\"), nehmen Sie den Benutzer in die Gruppe auf (sudo "
            "adduser " +
            user + " gpio) und melden Sie sich danach neu an.";
    } else {
        text += "Nehmen Sie den Benutzer in die Gruppe " + group + " auf (sudo adduser " + user +
                " " + group + ") und melden Sie sich danach neu an.";
    }
    return text;
}

// The chip of the Raspberry Pi's header among all chips, by its label.
bool GpioPort::FindChip(ChipChoice& choice) {
    const std::vector<std::string> paths = m_system->ListChips();
    if (paths.empty()) {
        m_message = NoChipMessage();
        return false;
    }
    std::string seen;
    std::string denied;
    int deniedResult = 0;
    auto unreadable = [&seen](const std::string& path, int result) {
        seen += (seen.empty() ? "" : ", ") + path + " (" + ErrorText(result) + ")";
    };
    for (const std::string& path : paths) {
        const int fd = m_system->Open(path);
        if (fd < 0) {
            if ((fd == -EACCES || fd == -EPERM) && denied.empty()) {
                denied = path;
                deniedResult = fd;
            }
            unreadable(path, fd);
            continue;
        }
        gpiochip_info info{};
        if (const int result = m_system->Ioctl(fd, GPIO_GET_CHIPINFO_IOCTL, &info); result != 0) {
            m_system->Close(fd);
            unreadable(path, result);
            continue;
        }
        const std::string label = FieldText(info.label);
        const bool raspberryPi =
            std::any_of(kRaspberryPiChipLabels.begin(), kRaspberryPiChipLabels.end(),
                        [&](const char* known) { return label == known; });
        if (raspberryPi) {
            choice = {path, FieldText(info.name), label, info.lines, fd};
            return true;
        }
        seen += (seen.empty() ? "" : ", ") + FieldText(info.name) + " " + Quoted(label);
        m_system->Close(fd);
    }
    if (!denied.empty()) {
        // The header's chip may be among those we may not open.
        m_message = PermissionMessage(denied, deniedResult);
        return false;
    }
    m_message =
        "Kein GPIO-Chip eines Raspberry Pi gefunden (gesucht: pinctrl-bcm2835, "
        "pinctrl-bcm2711 oder pinctrl-rp1; vorhanden: " +
        seen +
        "). Nennen Sie den Chip und die Leitungen in VELMO_GPIO, z. B. "
        "VELMO_GPIO=chip=gpiochip0,mosi=10,sck=11,rst=25,miso=9.";
    return false;
}

bool GpioPort::OpenChip(const std::string& path, ChipChoice& choice) {
    const int fd = m_system->Open(path);
    if (fd < 0) {
        if (fd == -EACCES || fd == -EPERM) {
            m_message = PermissionMessage(path, fd);
            return false;
        }
        const std::vector<std::string> paths = m_system->ListChips();
        if (paths.empty()) {
            m_message = NoChipMessage();
        } else if (fd == -ENOENT || fd == -ENODEV || fd == -ENXIO) {
            std::string list;
            for (const std::string& p : paths) list += (list.empty() ? "" : ", ") + p;
            m_message = "Den GPIO-Chip " + path + " (VELMO_GPIO chip=" + m_config.chip +
                        ") gibt es nicht. Vorhanden: " + list +
                        ". Nennen Sie einen davon in VELMO_GPIO.";
        } else {
            m_message = path + " kann nicht geöffnet werden (" + ErrorText(fd) + ").";
        }
        return false;
    }
    gpiochip_info info{};
    if (const int result = m_system->Ioctl(fd, GPIO_GET_CHIPINFO_IOCTL, &info); result != 0) {
        m_system->Close(fd);
        m_message = path + " ist kein GPIO-Chip (GPIO_GET_CHIPINFO_IOCTL: " + ErrorText(result) +
                    "). Nennen Sie in VELMO_GPIO einen Chip wie gpiochip0.";
        return false;
    }
    choice = {path, FieldText(info.name), FieldText(info.label), info.lines, fd};
    return true;
}

bool GpioPort::CheckLines(const ChipChoice& chip) {
    for (const GpioSignal& wire : GpioSignals(m_config)) {
        const GpioLine& line = wire.line;
        if (line.offset < chip.lines) continue;
        m_message = "Die Leitung " + std::to_string(line.offset) + " für " + wire.name +
                    " gibt es auf " + chip.Title() + " nicht: der Chip hat " +
                    std::to_string(chip.lines) + " Leitungen" +
                    (chip.lines > 0 ? ", 0 bis " + std::to_string(chip.lines - 1) : "") +
                    ". Ändern Sie " + wire.key + "= in VELMO_GPIO.";
        return false;
    }
    return true;
}

// All lines in one request, each with its own flags: outputs low (the target's low level, so
// an inverted line is requested active-low), inputs as inputs.
bool GpioPort::Request(int chipFd, const ChipChoice& chip) {
    gpio_v2_line_request request;
    std::memset(&request, 0, sizeof request);
    std::uint64_t outputs = 0;
    const std::vector<GpioSignal> wires = GpioSignals(m_config);
    int count = 0;
    for (const GpioSignal& wire : wires) {
        const GpioLine& line = wire.line;
        const int index = count++;
        request.offsets[index] = line.offset;
        std::uint64_t flags = wire.output ? GPIO_V2_LINE_FLAG_OUTPUT : GPIO_V2_LINE_FLAG_INPUT;
        if (line.inverted) flags |= GPIO_V2_LINE_FLAG_ACTIVE_LOW;
        // Without a board nothing drives READY; the bias keeps it from floating into an
        // answer. An output's bias only counts once it is released.
        if (!wire.output) flags |= RestBias(wire);
        AddFlags(request.config, flags, Bit(index));
        (wire.output ? outputs : m_inputMask) |= Bit(index);
    }
    gpio_v2_line_config_attribute& values = request.config.attrs[request.config.num_attrs++];
    values.attr.id = GPIO_V2_LINE_ATTR_ID_OUTPUT_VALUES;
    values.attr.values = 0;
    values.mask = outputs;
    request.config.flags = GPIO_V2_LINE_FLAG_INPUT;
    request.num_lines = static_cast<std::uint32_t>(count);
    std::strncpy(request.consumer, kConsumer, sizeof request.consumer - 1);

    const int result = m_system->Ioctl(chipFd, GPIO_V2_GET_LINE_IOCTL, &request);
    if (result == 0 && request.fd >= 0) {
        m_requestFd = request.fd;
        m_wires = wires;
        return true;
    }
    m_inputMask = 0;
    if (result == -EBUSY) {
        m_message = BusyMessage(chipFd, chip);
    } else if (result == -EACCES || result == -EPERM) {
        m_message = PermissionMessage(chip.path, result);
    } else {
        m_message = "Die Leitungen " + DescribeGpioLines(m_config) + " auf " + chip.Title() +
                    " lassen sich nicht anfordern (GPIO_V2_GET_LINE_IOCTL: " +
                    ErrorText(result == 0 ? -EBADF : result) + ").";
    }
    return false;
}

// Which lines someone else holds, and how the usual holder, the SPI driver, is switched off.
std::string GpioPort::BusyMessage(int chipFd, const ChipChoice& chip) {
    std::string held;
    for (const GpioSignal& wire : GpioSignals(m_config)) {
        const GpioLine& line = wire.line;
        gpio_v2_line_info info;
        std::memset(&info, 0, sizeof info);
        info.offset = line.offset;
        if (m_system->Ioctl(chipFd, GPIO_V2_GET_LINEINFO_IOCTL, &info) != 0 ||
            (info.flags & GPIO_V2_LINE_FLAG_USED) == 0) {
            continue;
        }
        const std::string consumer = FieldText(info.consumer);
        held += (held.empty() ? "" : ", ") + std::string("GPIO ") + std::to_string(line.offset) +
                " (" + wire.name + ", " +
                (consumer.empty() ? "vom Kernel" : "von " + Quoted(consumer)) + ")";
    }
    if (held.empty()) held = "eine von " + DescribeGpioLines(m_config);
    return "Auf " + chip.Title() + " ist belegt: " + held +
           ". Meist hält der SPI-Treiber diese Leitungen. Schalten Sie ihn ab: auf Raspberry "
           "Pi OS mit dtparam=spi=off in /boot/firmware/config.txt und einem Neustart, bis "
           "zum nächsten Neustart mit sudo modprobe -r spi_bcm2835. Hält ein anderes Programm "
           "die Leitungen, beenden Sie es, oder legen Sie die Signale in VELMO_GPIO auf freie "
           "Leitungen.";
}

bool GpioPort::SetLines(std::uint64_t bits, std::uint64_t mask) {
    gpio_v2_line_values values{};
    values.bits = bits;
    values.mask = mask;
    if (const int result = m_system->Ioctl(m_requestFd, GPIO_V2_LINE_SET_VALUES_IOCTL, &values);
        result != 0) {
        Fail("GPIO_V2_LINE_SET_VALUES_IOCTL", result);
        return false;
    }
    return true;
}

void GpioPort::Fail(const char* what, int result) {
    m_active = false;
    m_message = "Zugriff auf die GPIO-Leitungen von " + m_chipPath + " fehlgeschlagen (" + what +
                ": " + ErrorText(result) +
                "). Die Leitungen werden nicht mehr angesprochen und sind freigegeben.";
    Release();
}

// RST low first, so the target leaves programming mode; then every line an input, so nothing
// drives against the target's own use of its pins, each with the bias that keeps it at rest.
void GpioPort::Release() {
    if (m_requestFd < 0) return;
    for (std::size_t index = 0; index < m_wires.size(); ++index) {
        if (!m_wires[index].rst || !LineLevel(IspLine::Rst, m_data)) continue;
        gpio_v2_line_values values{};
        values.bits = 0;
        values.mask = Bit(static_cast<int>(index));
        m_system->Ioctl(m_requestFd, GPIO_V2_LINE_SET_VALUES_IOCTL, &values);
        m_data = WithLine(IspLine::Rst, m_data, false);
    }
    gpio_v2_line_config config;
    std::memset(&config, 0, sizeof config);
    config.flags = GPIO_V2_LINE_FLAG_INPUT;
    for (std::size_t index = 0; index < m_wires.size(); ++index) {
        AddFlags(config, GPIO_V2_LINE_FLAG_INPUT | RestBias(m_wires[index]),
                 Bit(static_cast<int>(index)));
    }
    m_system->Ioctl(m_requestFd, GPIO_V2_LINE_SET_CONFIG_IOCTL, &config);
    m_system->Close(m_requestFd);
    m_requestFd = -1;
    m_chipPath.clear();
    m_wires.clear();
    m_inputMask = 0;
}

std::uint8_t GpioPort::ReadPort(std::uint16_t address) {
    if (!m_active) return 0;
    switch (static_cast<std::uint16_t>(address - BaseAddress())) {
        case 0:
            return m_data;
        case 1: {
            gpio_v2_line_values values{};
            values.mask = m_inputMask;
            if (const int result =
                    m_system->Ioctl(m_requestFd, GPIO_V2_LINE_GET_VALUES_IOCTL, &values);
                result != 0) {
                Fail("GPIO_V2_LINE_GET_VALUES_IOCTL", result);
                return 0;
            }
            // A line left out reads low: a missing READY is a board that does not answer.
            std::uint8_t status = FloatingStatus();
            for (const CableLine& wire : kCable) {
                if (!wire.output) status = WithLine(wire.line, status, false);
            }
            for (std::size_t index = 0; index < m_wires.size(); ++index) {
                if (m_wires[index].output) continue;
                const bool level = (values.bits & Bit(static_cast<int>(index))) != 0;
                status = m_wires[index].pin.With(status, level);
            }
            return status;
        }
        case 2:
            return m_control;
        default:
            return 0xFF;  // no register there
    }
}

void GpioPort::WritePort(std::uint16_t address, std::uint8_t value) {
    if (!m_active) return;
    switch (static_cast<std::uint16_t>(address - BaseAddress())) {
        case 0: {
            std::uint64_t bits = 0;
            std::uint64_t mask = 0;
            for (std::size_t index = 0; index < m_wires.size(); ++index) {
                const GpioSignal& wire = m_wires[index];
                if (!wire.output) continue;
                const bool level = wire.pin.LevelIn(value);
                if (level == wire.pin.LevelIn(m_data)) continue;
                mask |= Bit(static_cast<int>(index));
                if (level) bits |= Bit(static_cast<int>(index));
            }
            if (mask != 0 && !SetLines(bits, mask)) return;
            m_data = value;
            break;
        }
        case 2:
            m_control = value;
            break;
        default:
            break;  // the status register takes no writes
    }
}

}  // namespace velmo
