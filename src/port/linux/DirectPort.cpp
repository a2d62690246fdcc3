#include "port/linux/DirectPort.h"

#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

#if defined(__x86_64__) || defined(__i386__)
#include <sys/io.h>
#define VELMO_HAVE_PORT_IO 1
#endif

namespace velmo {

namespace {

constexpr unsigned kRegisterCount = 3;

class LinuxDirectIoSystem : public DirectIoSystem {
  public:
#ifdef VELMO_HAVE_PORT_IO
    bool Supported() const override {
        return true;
    }
    int Ioperm(std::uint16_t from, unsigned count, bool on) override {
        return ::ioperm(from, count, on ? 1 : 0) == 0 ? 0 : -errno;
    }
    std::uint8_t Inb(std::uint16_t address) override {
        return ::inb(address);
    }
    void Outb(std::uint16_t address, std::uint8_t value) override {
        ::outb(value, address);
    }
#else
    bool Supported() const override {
        return false;
    }
    int Ioperm(std::uint16_t, unsigned, bool) override {
        return -ENOSYS;
    }
    std::uint8_t Inb(std::uint16_t) override {
        return 0;
    }
    void Outb(std::uint16_t, std::uint8_t) override {}
#endif
    bool IsRoot() const override {
        return ::geteuid() == 0;
    }
};

}  // namespace

std::unique_ptr<DirectIoSystem> MakeLinuxDirectIoSystem() {
    return std::make_unique<LinuxDirectIoSystem>();
}

DirectPort::DirectPort(std::unique_ptr<DirectIoSystem> system) : m_system(std::move(system)) {}

DirectPort::~DirectPort() {
    Revoke();
}

void DirectPort::StartDriver() {
    if (!m_active) {
        m_active = Grant();
    }
}

void DirectPort::StopDriver() {
    Revoke();
    m_message = "Der direkte Portzugriff ist angehalten.";
}

void DirectPort::OnBaseAddressChanged() {
    if (m_active) {
        Revoke();
        m_active = Grant();
    }
}

bool DirectPort::Grant() {
    if (!m_system->Supported()) {
        m_message =
            "Direkter Portzugriff (VELMO_PORT=direct) geht nur auf x86-Rechnern. "
            "Verwenden Sie VELMO_PORT=ppdev.";
        return false;
    }
    const std::uint16_t base = BaseAddress();
    if (base > 0xFFFF - (kRegisterCount - 1)) {
        m_message = "Die Adresse " + HexAddress(base) + " lässt keine drei Portregister zu.";
        return false;
    }
    if (const int result = m_system->Ioperm(base, kRegisterCount, true); result != 0) {
        const std::string reason = std::strerror(-result);
        if (!m_system->IsRoot()) {
            m_message = "Keine Berechtigung für direkte Portzugriffe (ioperm: " + reason +
                        "). Starten Sie das Programm als root oder verwenden Sie "
                        "VELMO_PORT=ppdev (ohne root, als Mitglied der Gruppe lp).";
        } else {
            m_message =
                "Der Kernel verweigert direkte Portzugriffe auch für root (ioperm: " + reason +
                "), etwa wegen Kernel-Lockdown bei Secure Boot. Verwenden Sie "
                "VELMO_PORT=ppdev.";
        }
        return false;
    }
    m_grantedBase = base;
    m_message = "Direkter Portzugriff an Adresse " + HexAddress(base);
    return true;
}

void DirectPort::Revoke() {
    if (m_active) {
        m_system->Ioperm(m_grantedBase, kRegisterCount, false);
    }
    m_active = false;
}

std::uint8_t DirectPort::ReadPort(std::uint16_t address) {
    const auto offset = static_cast<std::uint16_t>(address - m_grantedBase);
    if (!m_active || offset >= kRegisterCount) {
        return 0;
    }
    return m_system->Inb(address);
}

void DirectPort::WritePort(std::uint16_t address, std::uint8_t value) {
    const auto offset = static_cast<std::uint16_t>(address - m_grantedBase);
    if (!m_active || (offset != 0 && offset != 2)) {
        return;  // the status register (offset 1) takes no writes
    }
    m_system->Outb(address, value);
}

}  // namespace velmo
