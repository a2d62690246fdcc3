#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "port/PortIo.h"

namespace velmo {

// The system calls the ppdev backend makes, so that tests can run it without a port.
// Every call returns 0 (Open: a descriptor >= 0) or a negative errno value.
class PpdevSystem {
  public:
    virtual ~PpdevSystem() = default;
    virtual int Open(const std::string& path) = 0;
    // value: the byte read or written; nullptr for requests without an argument.
    virtual int Ioctl(int fd, unsigned long request, unsigned char* value) = 0;
    virtual void Close(int fd) = 0;
};

std::unique_ptr<PpdevSystem> MakeLinuxPpdevSystem();

// Where the kernel lists its parallel ports and where their device files are.
struct PpdevPaths {
    std::string procRoot = "/proc/sys/dev/parport";
    std::string devDir = "/dev";
};

struct ParportInfo {
    std::string name;  // "parport0"
    std::uint16_t base = 0;
};

// Every parportN below procRoot whose base-addr file can be read ("888\t1912": the base in
// decimal, then the upper base), in the order of N.
std::vector<ParportInfo> ListParports(const std::string& procRoot);

// A port through Linux's ppdev driver: /dev/parportN, claimed while the driver runs. Needs
// no root, only read and write access to the device (group lp on Debian). The device is
// the one whose base address is ours; a new base address while the driver runs moves the
// claim to that port's device.
//
// When an access fails, the driver counts as stopped and says why; from then on, and
// whenever it is not running, reads answer 0 (so the board's READY never seems to answer)
// and writes are dropped.
class PpdevPort : public PortIo {
  public:
    explicit PpdevPort(PpdevPaths paths = {},
                       std::unique_ptr<PpdevSystem> system = MakeLinuxPpdevSystem());
    ~PpdevPort() override;

    void StartDriver() override;
    void StopDriver() override;
    bool DriverActive() const override { return m_active; }
    std::string DriverMessage() const override { return m_message; }
    std::uint8_t ReadPort(std::uint16_t address) override;
    void WritePort(std::uint16_t address, std::uint8_t value) override;

    // The device file in use while the driver runs, else empty.
    const std::string& DevicePath() const { return m_devicePath; }

  protected:
    void OnBaseAddressChanged() override;

  private:
    bool Open();
    void Close();
    bool Access(unsigned long request, const char* name, unsigned char* value);

    PpdevPaths m_paths;
    std::unique_ptr<PpdevSystem> m_system;
    int m_fd = -1;
    bool m_claimed = false;
    bool m_active = false;
    std::string m_devicePath;
    std::string m_message = "Der ppdev-Treiber ist nicht gestartet.";
};

}  // namespace velmo
