#include "port/TracePort.h"

#include <algorithm>

#include "sys/Files.h"

namespace velmo {

namespace {

// The dump's short identifier of each line, in the cable's order.
char SignalId(std::size_t line) {
    return static_cast<char>('a' + line);
}

constexpr std::size_t kFlushAt = 1 << 16;

}  // namespace

TracePort::TracePort(std::unique_ptr<PortIo> inner, Clock& clock, std::string path)
    : m_inner(std::move(inner)), m_clock(clock), m_path(std::move(path)) {
    m_levels.fill(-1);
    m_inner->SetBaseAddress(BaseAddress());
}

TracePort::~TracePort() {
    Flush();
    Publish();
    m_file.Close();
}

void TracePort::OnBaseAddressChanged() {
    m_inner->SetBaseAddress(BaseAddress());
}

void TracePort::StartDriver() {
    m_inner->StartDriver();
    if (!m_inner->DriverActive()) {
        return;
    }
    if (m_file.IsOpen()) {
        m_recording = true;  // a restart goes on in the same file and time line
        return;
    }
    if (!OpenFile()) {
        m_inner->StopDriver();
        return;
    }
    // The lines as they are at the start, so the dump has defined levels from time 0.
    const std::uint8_t data = m_inner->ReadPort(BaseAddress());
    const std::uint8_t status = m_inner->ReadPort(static_cast<std::uint16_t>(BaseAddress() + 1));
    m_buffer += "#0\n$dumpvars\n";
    for (const CableLine& wire : kCable) {
        const std::size_t s = static_cast<std::size_t>(wire.line);
        m_levels[s] = LineLevel(wire.line, wire.output ? data : status) ? 1 : 0;
        m_buffer += static_cast<char>('0' + m_levels[s]);
        m_buffer += SignalId(s);
        m_buffer += '\n';
    }
    m_buffer += "$end\n";
    m_lastStampNs = 0;
    m_recording = true;
    Flush();
}

bool TracePort::OpenFile() {
    const OutputResult opened = m_file.Open(m_path);
    if (!opened.ok()) {
        m_error = "Die Aufzeichnungsdatei \"" + m_path + "\" (VELMO_TRACE) kann nicht angelegt " +
                  "werden: " + DescribeOutputError(opened) + ".";
        return false;
    }
    m_error.clear();
    m_originNs = m_clock.NowNs();
    m_buffer =
        "$version Velmo-Programmer line trace $end\n"
        "$timescale 1ns $end\n"
        "$scope module velmo $end\n";
    for (const CableLine& wire : kCable) {
        m_buffer += std::string("$var wire 1 ") + SignalId(static_cast<std::size_t>(wire.line)) +
                    " " + wire.name + " $end\n";
    }
    m_buffer += "$upscope $end\n$enddefinitions $end\n";
    return true;
}

void TracePort::StopDriver() {
    m_inner->StopDriver();
    m_recording = false;
    Flush();
    Publish();
}

bool TracePort::DriverActive() const {
    return m_error.empty() && m_inner->DriverActive();
}

std::string TracePort::DriverMessage() const {
    if (!m_error.empty()) {
        return m_error;
    }
    std::string message = m_inner->DriverMessage();
    if (m_file.IsOpen() && m_inner->DriverActive()) {
        message += ", Aufzeichnung der Leitungen in \"" + m_path + "\"";
    }
    return message;
}

void TracePort::Record(IspLine line, bool level) {
    const auto signal = static_cast<std::size_t>(line);
    const int value = level ? 1 : 0;
    if (m_levels[signal] == value) {
        return;
    }
    m_levels[signal] = value;
    // The monotonic clock never goes back; the guard only keeps a broken clock from
    // writing a dump that viewers refuse.
    const std::int64_t stamp = std::max(m_clock.NowNs() - m_originNs, m_lastStampNs);
    if (stamp != m_lastStampNs) {
        m_buffer += '#' + std::to_string(stamp) + '\n';
        m_lastStampNs = stamp;
    }
    m_buffer += static_cast<char>('0' + value);
    m_buffer += SignalId(signal);
    m_buffer += '\n';
    if (m_buffer.size() >= kFlushAt) {
        Flush();
    }
}

void TracePort::Flush() {
    if (!m_buffer.empty() && m_file.IsOpen() && !m_file.Write(m_buffer.data(), m_buffer.size()) &&
        m_writeError.empty()) {
        m_writeError = "Die Aufzeichnungsdatei \"" + m_path + "\" (VELMO_TRACE) wurde " +
                       DescribeOutputError(m_file.Status()) + ".";
    }
    m_buffer.clear();
}

void TracePort::Publish() {
    if (!m_file.IsOpen()) return;
    const OutputResult published = m_file.Publish();
    if (!published.ok() && m_writeError.empty()) {
        m_writeError = "Die Aufzeichnungsdatei \"" + m_path + "\" (VELMO_TRACE) kann nicht " +
                       "geschrieben werden: " + DescribeOutputError(published) + ".";
    }
}

std::string TracePort::FinishFile() {
    Flush();
    Publish();
    return m_writeError;
}

bool TracePort::IsFile(const std::string& path) const {
    return sys::SameFile(path, m_path);
}

std::uint8_t TracePort::ReadPort(std::uint16_t address) {
    const std::uint8_t value = m_inner->ReadPort(address);
    if (m_recording && address == static_cast<std::uint16_t>(BaseAddress() + 1)) {
        for (const CableLine& wire : kCable) {
            if (!wire.output) Record(wire.line, LineLevel(wire.line, value));
        }
    }
    return value;
}

void TracePort::WritePort(std::uint16_t address, std::uint8_t value) {
    m_inner->WritePort(address, value);
    if (m_recording && address == BaseAddress()) {
        for (const CableLine& wire : kCable) {
            if (wire.output) Record(wire.line, LineLevel(wire.line, value));
        }
    }
}

}  // namespace velmo
