#pragma once

#include <array>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>

#include "isp/Clock.h"
#include "isp/PortIo.h"

namespace velmo {

// Wraps any backend and records the programming lines as a Value Change Dump (GTKWave,
// PulseView): MOSI, SCK, RST and ENABLE at every write of the data register, MISO and
// READY at every read of the status register, each change with its time from the clock
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

    enum Signal { Mosi, Sck, Rst, Enable, Miso, Ready, kSignalCount };

  protected:
    void OnBaseAddressChanged() override;

  private:
    bool OpenFile();
    void Record(Signal signal, bool level);
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
    std::array<int, kSignalCount> m_levels{};  // -1 = not seen yet
};

}  // namespace velmo
