#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <string>

#include "image/OutputFile.h"
#include "port/Cable.h"
#include "port/PortIo.h"
#include "port/SideFile.h"
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
    bool OpenFile();
    void Record(IspLine line, bool level);
    void Flush();
    void Publish();

    std::unique_ptr<PortIo> m_inner;
    Clock& m_clock;
    std::string m_path;
    OutputFile m_file;
    bool m_recording = false;
    std::string m_error;       // the file could not be opened: the start fails
    std::string m_writeError;  // the dump is not whole
    std::string m_buffer;
    std::int64_t m_originNs = 0;
    std::int64_t m_lastStampNs = -1;
    std::array<int, kIspLineCount> m_levels{};  // -1 = not seen yet
};

}  // namespace velmo
