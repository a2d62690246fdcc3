#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "port/Cable.h"
#include "port/PortIo.h"
#include "port/SideFile.h"
#include "port/VcdRecorder.h"
#include "timing/Clock.h"

namespace velmo {

// Wraps any backend and records the programming lines as a Value Change Dump (GTKWave,
// PulseView): the cable's outputs at every write of the data register, its inputs at every
// read of the status register, each change with its time from the clock
// in nanoseconds since the driver started. The file is opened when the wrapped driver
// has started, by the rules of OutputFile: a file is written beside the old one and takes its
// place when the driver stops (or FinishFile is asked), a character device or a named pipe
// with a reader is written in place, anything else fails the start. A write that fails is
// kept for FinishFile, and a dump that was not written whole never replaces a file. The
// clock is not touched after the driver has stopped, so it may go away before the port.
class TracePort : public PortIo, public SideFile {
  public:
    TracePort(std::unique_ptr<PortIo> inner, Clock& clock, std::string path);
    ~TracePort() override;

    void StartDriver() override;
    void StopDriver() override;
    bool DriverActive() const override;
    std::string DriverMessage() const override;
    std::uint8_t ReadPort(std::uint16_t address) override;
    void WritePort(std::uint16_t address, std::uint8_t value) override;
    std::string FinishFile() override;
    bool IsFile(const std::string& path) const override;

    PortIo& Inner() { return *m_inner; }

  protected:
    void OnBaseAddressChanged() override;

  private:
    std::unique_ptr<PortIo> m_inner;
    Clock& m_clock;
    VcdRecorder m_recorder;
    bool m_recording = false;
    bool m_openFailed = false;  // the file could not be opened: the start fails
};

}  // namespace velmo
