#include "port/linux/PpdevPort.h"

#include <fcntl.h>
#include <linux/ppdev.h>
#include <pwd.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string_view>

namespace velmo {

namespace {

class LinuxPpdevSystem : public PpdevSystem {
  public:
    int Open(const std::string& path) override {
        const int fd = ::open(path.c_str(), O_RDWR | O_CLOEXEC);
        return fd >= 0 ? fd : -errno;
    }
    int Ioctl(int fd, unsigned long request, unsigned char* value) override {
        return ::ioctl(fd, request, value) == 0 ? 0 : -errno;
    }
    void Close(int fd) override { ::close(fd); }
};

std::string ErrorText(int negativeErrno) {
    return std::strerror(-negativeErrno);
}

// Number N of "parportN", or -1 for anything else ("default", stray files).
long PortNumber(const std::string& name) {
    constexpr std::string_view prefix = "parport";
    if (name.size() <= prefix.size() || name.compare(0, prefix.size(), prefix) != 0) {
        return -1;
    }
    long number = 0;
    for (std::size_t i = prefix.size(); i < name.size(); ++i) {
        if (name[i] < '0' || name[i] > '9' || number > 100000) {
            return -1;
        }
        number = number * 10 + (name[i] - '0');
    }
    return number;
}

std::string UserName() {
    if (const passwd* entry = ::getpwuid(::geteuid()); entry && entry->pw_name) {
        return entry->pw_name;
    }
    return "$USER";
}

}  // namespace

std::unique_ptr<PpdevSystem> MakeLinuxPpdevSystem() {
    return std::make_unique<LinuxPpdevSystem>();
}

std::vector<ParportInfo> ListParports(const std::string& procRoot) {
    std::vector<std::pair<long, ParportInfo>> found;
    std::error_code error;
    for (const auto& entry : std::filesystem::directory_iterator(procRoot, error)) {
        const std::string name = entry.path().filename().string();
        const long number = PortNumber(name);
        if (number < 0) {
            continue;
        }
        std::ifstream file(entry.path() / "base-addr");
        unsigned long base = 0;
        if (!(file >> base) || base > 0xFFFF) {
            continue;
        }
        found.push_back({number, {name, static_cast<std::uint16_t>(base)}});
    }
    std::sort(found.begin(), found.end(),
              [](const auto& a, const auto& b) { return a.first < b.first; });
    std::vector<ParportInfo> ports;
    for (auto& [number, info] : found) {
        ports.push_back(std::move(info));
    }
    return ports;
}

PpdevPort::PpdevPort(PpdevPaths paths, std::unique_ptr<PpdevSystem> system)
    : m_paths(std::move(paths)), m_system(std::move(system)) {}

PpdevPort::~PpdevPort() {
    Close();
}

void PpdevPort::StartDriver() {
    if (m_active) {
        return;
    }
    Close();
    m_active = Open();
}

void PpdevPort::StopDriver() {
    Close();
    m_active = false;
    m_message = "Der ppdev-Treiber ist angehalten.";
}

void PpdevPort::OnBaseAddressChanged() {
    if (m_active) {
        Close();
        m_active = Open();
    }
}

// Finds the device of our base address, opens and claims it; on failure m_message says
// what the user can do about it.
bool PpdevPort::Open() {
    const std::vector<ParportInfo> ports = ListParports(m_paths.procRoot);
    if (ports.empty()) {
        m_message = "Es wurde kein Parallelport gefunden (" + m_paths.procRoot +
                    " ist leer oder fehlt). Ist ein Parallelport eingebaut und das "
                    "Kernelmodul parport_pc geladen (sudo modprobe parport_pc)?";
        return false;
    }
    const auto port = std::find_if(ports.begin(), ports.end(), [this](const ParportInfo& p) {
        return p.base == BaseAddress();
    });
    if (port == ports.end()) {
        std::string list;
        for (const ParportInfo& p : ports) {
            list += (list.empty() ? "" : ", ") + p.name + " an " + HexAddress(p.base);
        }
        m_message = "Kein Parallelport an Adresse " + HexAddress(BaseAddress()) +
                    ". Gefunden: " + list +
                    ". Wählen Sie die passende Adresse im Menü Port oder mit der Option -p.";
        return false;
    }

    const std::string path = m_paths.devDir + "/" + port->name;
    const int fd = m_system->Open(path);
    if (fd < 0) {
        if (fd == -EACCES || fd == -EPERM) {
            m_message = "Kein Zugriff auf " + path + " (" + ErrorText(fd) +
                        "). Nehmen Sie den Benutzer in die Gruppe lp auf (sudo adduser " +
                        UserName() + " lp) und melden Sie sich danach neu an.";
        } else if (fd == -ENOENT || fd == -ENODEV || fd == -ENXIO) {
            m_message = "Das Gerät " + path + " fehlt (" + ErrorText(fd) +
                        "). Laden Sie das Kernelmodul ppdev (sudo modprobe ppdev).";
        } else {
            m_message = path + " kann nicht geöffnet werden (" + ErrorText(fd) + ").";
        }
        return false;
    }
    m_fd = fd;
    m_devicePath = path;
    // No PPEXCL: the claim below keeps every other driver off the port for as long as we
    // run, and exclusive registration would fail whenever the printer driver lp is loaded.
    if (const int result = m_system->Ioctl(m_fd, PPCLAIM, nullptr); result != 0) {
        m_message = path + " kann nicht belegt werden (PPCLAIM: " + ErrorText(result) +
                    "). Benutzt ein anderes Programm den Parallelport?";
        Close();
        return false;
    }
    m_claimed = true;
    m_message = "ppdev: " + path + " an Adresse " + HexAddress(BaseAddress());
    return true;
}

void PpdevPort::Close() {
    if (m_fd >= 0) {
        if (m_claimed) {
            m_system->Ioctl(m_fd, PPRELEASE, nullptr);
        }
        m_system->Close(m_fd);
    }
    m_fd = -1;
    m_claimed = false;
    m_devicePath.clear();
}

bool PpdevPort::Access(unsigned long request, const char* name, unsigned char* value) {
    if (!m_active) {
        return false;
    }
    if (const int result = m_system->Ioctl(m_fd, request, value); result != 0) {
        m_active = false;
        m_message = "Zugriff auf " + m_devicePath + " fehlgeschlagen (" + name + ": " +
                    ErrorText(result) + "). Der Port wird nicht mehr angesprochen.";
        return false;
    }
    return true;
}

std::uint8_t PpdevPort::ReadPort(std::uint16_t address) {
    unsigned char value = 0;
    bool ok = false;
    switch (static_cast<std::uint16_t>(address - BaseAddress())) {
        case 0:
            ok = Access(PPRDATA, "PPRDATA", &value);
            break;
        case 1:
            ok = Access(PPRSTATUS, "PPRSTATUS", &value);
            break;
        case 2:
            ok = Access(PPRCONTROL, "PPRCONTROL", &value);
            break;
        default:
            break;
    }
    return ok ? value : 0;
}

void PpdevPort::WritePort(std::uint16_t address, std::uint8_t value) {
    unsigned char byte = value;
    switch (static_cast<std::uint16_t>(address - BaseAddress())) {
        case 0:
            Access(PPWDATA, "PPWDATA", &byte);
            break;
        case 2:
            Access(PPWCONTROL, "PPWCONTROL", &byte);
            break;
        default:
            break;  // the status register takes no writes
    }
}

}  // namespace velmo
