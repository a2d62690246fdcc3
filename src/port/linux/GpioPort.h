#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "port/Cable.h"
#include "port/GpioConfig.h"
#include "port/PortIo.h"

namespace velmo {

// The system calls the GPIO backend makes, so that tests can run it on a fake chip. Every call
// returns 0 (Open: a descriptor >= 0) or a negative errno value.
class GpioSystem {
  public:
    virtual ~GpioSystem() = default;
    virtual int Open(const std::string& path) = 0;
    // arg: the ioctl's structure, filled in by the call where the kernel fills it.
    virtual int Ioctl(int fd, unsigned long request, void* arg) = 0;
    virtual void Close(int fd) = 0;
    // Every /dev/gpiochipN, in the order of N.
    virtual std::vector<std::string> ListChips() = 0;
    // The group that owns the file, empty when unknown.
    virtual std::string OwnerGroup(const std::string& path) = 0;
    // The user the program runs as, empty when unknown.
    virtual std::string UserName() = 0;
};

std::unique_ptr<GpioSystem> MakeLinuxGpioSystem();

// The programming lines on GPIO lines of a Linux board (Raspberry Pi and others), through the
// kernel's GPIO character device (uAPI v2), behind the registers of a parallel port: the
// cable's outputs are the data register's bits, its inputs the status register's, so pins,
// instructions, timing and the tracer work on it as on a parallel port.
//
// StartDriver finds the chip, requests every configured line at once (outputs driven low, the
// target's low level, inputs as inputs) and keeps that request while the driver runs.
// Registers: a write of the data register sets the lines whose level changed, all in one
// ioctl, and none when nothing changed; a read of the status register reads the inputs in one
// ioctl. Data and control read back what was last written (control has no lines behind it);
// status bits without a line read as a floating port's, except READY, which reads 0 when it is
// left out, so that a board start fails as without an answer. The base address only places
// the three registers.
//
// StopDriver drives RST low, turns every line into an input and closes the request, so the
// target runs its program; the inputs get a bias towards the level at rest (RST, MOSI, SCK,
// ENABLE and READY low at the target, so pulled up where inverted), for buffers without pull
// resistors of their own. When an access fails, the driver counts as stopped and says why,
// and the lines are released the same way; from then on, and whenever it is not running,
// reads answer 0 and writes are dropped.
class GpioPort : public PortIo {
  public:
    explicit GpioPort(GpioConfig config = DefaultGpioConfig(),
                      std::unique_ptr<GpioSystem> system = MakeLinuxGpioSystem());
    ~GpioPort() override;

    void StartDriver() override;
    void StopDriver() override;
    bool DriverActive() const override { return m_active; }
    std::string DriverMessage() const override { return m_message; }
    std::uint8_t ReadPort(std::uint16_t address) override;
    void WritePort(std::uint16_t address, std::uint8_t value) override;

    // The chip's device file while the driver runs, else empty.
    const std::string& ChipPath() const { return m_chipPath; }

  private:
    struct ChipChoice;
    bool Start();
    bool FindChip(ChipChoice& choice);
    bool OpenChip(const std::string& path, ChipChoice& choice);
    bool CheckLines(const ChipChoice& choice);
    bool Request(int chipFd, const ChipChoice& choice);
    std::string BusyMessage(int chipFd, const ChipChoice& choice);
    std::string PermissionMessage(const std::string& path, int result);
    bool SetLines(std::uint64_t bits, std::uint64_t mask);
    void Fail(const char* what, int result);
    void Release();

    GpioConfig m_config;
    std::unique_ptr<GpioSystem> m_system;
    int m_requestFd = -1;
    bool m_active = false;
    std::string m_chipPath;
    // The requested lines, index = their index in the request; empty while none are held.
    std::vector<GpioSignal> m_wires;
    std::uint64_t m_inputMask = 0;
    std::uint8_t m_data = 0x00;
    std::uint8_t m_control = 0x0C;  // as a parallel port after power-up
    std::string m_message = "Der GPIO-Treiber ist nicht gestartet.";
};

}  // namespace velmo
