#pragma once

#include <array>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>

#include "port/Cable.h"
#include "port/PortIo.h"
#include "timing/Clock.h"

namespace velmo {

// Wraps any backend and records the programming lines as a Value Change Dump (GTKWave,
// PulseView): the cable's outputs at every write of the data register, its inputs at every
// read of the status register, each change with its time from the clock
// in nanoseconds since the driver started. The file is created when the wrapped driver
// has started; it is flushed when the driver stops and closed with the port. The clock
// is not touched after the driver has stopped, so it may go away before the port.
class TracePort : public PortIo {
  public:
    TracePort(std::unique_ptr<PortIo> inner, Clock& clock, std::string path);
    ~TracePort() override;

    void StartDriver() override;
    void StopDriver() override;
    bool DriverActive() const override;
    std::string DriverMessage() const override;
    std::uint8_t ReadPort(std::uint16_t address) override;
    void WritePort(std::uint16_t address, std::uint8_t value) override;

    PortIo& Inner() { return *m_inner; }

  protected:
    void OnBaseAddressChanged() override;

  private:
    bool OpenFile();
    void Record(IspLine line, bool level);
    void Flush();

    std::unique_ptr<PortIo> m_inner;
    Clock& m_clock;
    std::string m_path;
    std::FILE* m_file = nullptr;
    bool m_recording = false;
    std::string m_error;
    std::string m_buffer;
    std::int64_t m_originNs = 0;
    std::int64_t m_lastStampNs = -1;
    std::array<int, kIspLineCount> m_levels{};  // -1 = not seen yet
};

}  // namespace velmo
