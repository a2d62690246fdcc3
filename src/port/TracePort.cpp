#include "port/TracePort.h"

#include <array>

namespace velmo {

TracePort::TracePort(std::unique_ptr<PortIo> inner, Clock& clock, std::string path)
    : m_inner(std::move(inner)), m_clock(clock), m_recorder(std::move(path)) {
    m_inner->SetBaseAddress(BaseAddress());
}

TracePort::~TracePort() = default;

void TracePort::OnBaseAddressChanged() {
    m_inner->SetBaseAddress(BaseAddress());
}

void TracePort::StartDriver() {
    m_inner->StartDriver();
    if (!m_inner->DriverActive()) {
        return;
    }
    if (m_recorder.IsOpen()) {
        m_recording = true;  // a restart goes on in the same file and time line
        return;
    }
    m_openFailed = !m_recorder.Open(m_clock.NowNs());
    if (m_openFailed) {
        m_inner->StopDriver();
        return;
    }
    // The lines as they are at the start, so the dump has defined levels from time 0.
    const std::uint8_t data = m_inner->ReadPort(BaseAddress());
    const std::uint8_t status = m_inner->ReadPort(static_cast<std::uint16_t>(BaseAddress() + 1));
    std::array<int, kIspLineCount> levels{};
    for (const CableLine& wire : kCable) {
        levels[static_cast<std::size_t>(wire.line)] =
            LineLevel(wire.line, wire.output ? data : status) ? 1 : 0;
    }
    m_recorder.Begin(levels);
    m_recording = true;
}

void TracePort::StopDriver() {
    m_inner->StopDriver();
    m_recording = false;
    m_recorder.Finish();
}

bool TracePort::DriverActive() const {
    return !m_openFailed && m_inner->DriverActive();
}

std::string TracePort::DriverMessage() const {
    if (m_openFailed) {
        return m_recorder.OpenError();
    }
    std::string message = m_inner->DriverMessage();
    if (m_recorder.IsOpen() && m_inner->DriverActive()) {
        message += ", Aufzeichnung der Leitungen in \"" + m_recorder.Path() + "\"";
    }
    return message;
}

std::string TracePort::FinishFile() {
    return m_recorder.Finish();
}

bool TracePort::IsFile(const std::string& path) const {
    return m_recorder.IsFile(path);
}

std::uint8_t TracePort::ReadPort(std::uint16_t address) {
    const std::uint8_t value = m_inner->ReadPort(address);
    if (m_recording && address == static_cast<std::uint16_t>(BaseAddress() + 1)) {
        const std::int64_t now = m_clock.NowNs();
        for (const CableLine& wire : kCable) {
            if (!wire.output) m_recorder.Record(wire.line, LineLevel(wire.line, value), now);
        }
    }
    return value;
}

void TracePort::WritePort(std::uint16_t address, std::uint8_t value) {
    m_inner->WritePort(address, value);
    if (m_recording && address == BaseAddress()) {
        const std::int64_t now = m_clock.NowNs();
        for (const CableLine& wire : kCable) {
            if (wire.output) m_recorder.Record(wire.line, LineLevel(wire.line, value), now);
        }
    }
}

}  // namespace velmo
