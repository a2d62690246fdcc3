#include "port/VcdRecorder.h"

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

VcdRecorder::VcdRecorder(std::string path) : m_path(std::move(path)) {
    m_levels.fill(-1);
}

VcdRecorder::~VcdRecorder() {
    Flush();
    Publish();
    m_file.Close();
}

bool VcdRecorder::Open(std::int64_t originNs) {
    const OutputResult opened = m_file.Open(m_path);
    if (!opened.ok()) {
        m_error = "Die Aufzeichnungsdatei \"" + m_path + "\" (VELMO_TRACE) kann nicht angelegt " +
                  "werden: " + DescribeOutputError(opened) + ".";
        return false;
    }
    m_error.clear();
    m_originNs = originNs;
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

void VcdRecorder::Begin(const std::array<int, kIspLineCount>& levels) {
    m_buffer += "#0\n$dumpvars\n";
    for (std::size_t s = 0; s < levels.size(); ++s) {
        m_levels[s] = levels[s];
        m_buffer += levels[s] < 0 ? 'x' : static_cast<char>('0' + levels[s]);
        m_buffer += SignalId(s);
        m_buffer += '\n';
    }
    m_buffer += "$end\n";
    m_lastStampNs = 0;
    Flush();
}

void VcdRecorder::Record(IspLine line, bool level, std::int64_t nowNs) {
    const auto signal = static_cast<std::size_t>(line);
    const int value = level ? 1 : 0;
    if (m_levels[signal] == value) return;
    m_levels[signal] = value;
    // The monotonic clock never goes back; the guard only keeps a broken clock from
    // writing a dump that viewers refuse.
    const std::int64_t stamp = std::max(nowNs - m_originNs, m_lastStampNs);
    if (stamp != m_lastStampNs) {
        m_buffer += '#' + std::to_string(stamp) + '\n';
        m_lastStampNs = stamp;
    }
    m_buffer += static_cast<char>('0' + value);
    m_buffer += SignalId(signal);
    m_buffer += '\n';
    if (m_buffer.size() >= kFlushAt) Flush();
}

void VcdRecorder::Flush() {
    if (!m_buffer.empty() && m_file.IsOpen() && !m_file.Write(m_buffer.data(), m_buffer.size()) &&
        m_writeError.empty()) {
        m_writeError = "Die Aufzeichnungsdatei \"" + m_path + "\" (VELMO_TRACE) wurde " +
                       DescribeOutputError(m_file.Status()) + ".";
    }
    m_buffer.clear();
}

void VcdRecorder::Publish() {
    if (!m_file.IsOpen()) return;
    const OutputResult published = m_file.Publish();
    if (!published.ok() && m_writeError.empty()) {
        m_writeError = "Die Aufzeichnungsdatei \"" + m_path + "\" (VELMO_TRACE) kann nicht " +
                       "geschrieben werden: " + DescribeOutputError(published) + ".";
    }
}

std::string VcdRecorder::Finish() {
    Flush();
    Publish();
    return m_writeError;
}

bool VcdRecorder::IsFile(const std::string& path) const {
    return sys::SameFile(path, m_path);
}

}  // namespace velmo
