#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "port/PortIo.h"

namespace velmo {

// The system calls of raw port I/O, so that tests can run the backend without privileges.
class DirectIoSystem {
  public:
    virtual ~DirectIoSystem() = default;
    // Whether raw port I/O exists on this machine at all.
    virtual bool Supported() const = 0;
    virtual bool IsRoot() const = 0;
    // 0 or a negative errno value.
    virtual int Ioperm(std::uint16_t from, unsigned count, bool on) = 0;
    virtual std::uint8_t Inb(std::uint16_t address) = 0;
    virtual void Outb(std::uint16_t address, std::uint8_t value) = 0;
};

// ioperm/inb/outb on x86 Linux; elsewhere a system whose start fails.
std::unique_ptr<DirectIoSystem> MakeLinuxDirectIoSystem();

// Raw port I/O on the three registers at the base address: root only, x86 only, and
// refused by a kernel in lockdown. Only addresses that ioperm granted are ever touched,
// since an unpermitted inb or outb kills the process; elsewhere, and while the driver is
// not running, reads answer 0 and writes are dropped.
class DirectPort : public PortIo {
  public:
    explicit DirectPort(std::unique_ptr<DirectIoSystem> system = MakeLinuxDirectIoSystem());
    ~DirectPort() override;

    void StartDriver() override;
    void StopDriver() override;
    bool DriverActive() const override { return m_active; }
    std::string DriverMessage() const override { return m_message; }
    std::uint8_t ReadPort(std::uint16_t address) override;
    void WritePort(std::uint16_t address, std::uint8_t value) override;

  protected:
    void OnBaseAddressChanged() override;

  private:
    bool Grant();
    void Revoke();

    std::unique_ptr<DirectIoSystem> m_system;
    bool m_active = false;
    std::uint16_t m_grantedBase = 0;
    std::string m_message = "Der direkte Portzugriff ist nicht gestartet.";
};

}  // namespace velmo
