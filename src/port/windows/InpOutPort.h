#pragma once

#include <csignal>
#include <cstdint>
#include <memory>
#include <string>

#include "port/PortIo.h"

namespace velmo {

// What loading the InpOut library came to.
struct InpOutLibrary {
    bool loaded = false;
    std::string file;             // the library loaded, with its path
    std::string missingFunction;  // a library of that name that lacks one of InpOut's functions
};

// The calls the InpOut backend makes into inpoutx64.dll and the system, so that tests can run
// it without the library and its kernel driver.
class InpOutSystem {
  public:
    virtual ~InpOutSystem() = default;
    virtual InpOutLibrary Load() = 0;
    virtual void Unload() = 0;
    // Whether the library could open its kernel driver (it installs it when run as
    // administrator).
    virtual bool DriverOpen() = 0;
    virtual std::uint8_t Inp(std::uint16_t address) = 0;
    virtual void Out(std::uint16_t address, std::uint8_t value) = 0;
    // The folder of the running program, where the library is looked for first.
    virtual std::string ProgramFolder() = 0;
};

// inpoutx64.dll, looked up beside the program, then on the system's search path for DLLs.
std::unique_ptr<InpOutSystem> MakeWindowsInpOutSystem();

// A parallel port at any base address through InpOut32/InpOutx64, the port driver users
// install themselves (it is not ours to ship). The library is loaded when the driver starts.
// InpOut has no claim on a port as ppdev has, so two runs on one port take turns through a
// mutex named after the port's address: a start waits until the other run has stopped, or
// until a stop signal comes. Reads answer 0 and writes are dropped while it does not run.
class InpOutPort : public PortIo {
  public:
    explicit InpOutPort(std::unique_ptr<InpOutSystem> system = MakeWindowsInpOutSystem(),
                        const volatile std::sig_atomic_t* stop = nullptr);
    ~InpOutPort() override;

    void StartDriver() override;
    void StopDriver() override;
    bool DriverActive() const override { return m_active; }
    std::string DriverMessage() const override { return m_message; }
    std::uint8_t ReadPort(std::uint16_t address) override;
    void WritePort(std::uint16_t address, std::uint8_t value) override;

  protected:
    void OnBaseAddressChanged() override;

  private:
    bool Start();
    bool ClaimPort();
    void ReleasePort();
    void Stop();
    bool OwnRegister(std::uint16_t address) const;

    std::unique_ptr<InpOutSystem> m_system;
    const volatile std::sig_atomic_t* m_stop;
    bool m_active = false;
    bool m_loaded = false;
    void* m_claim = nullptr;  // the port's mutex while we hold it
    std::string m_file;
    std::string m_message = "Der InpOut-Treiber ist nicht gestartet.";
};

}  // namespace velmo
