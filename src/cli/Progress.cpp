#include "cli/Progress.h"

#include <cstdio>

namespace velmo::cli {

namespace {

constexpr int kBarWidth = 20;
// A terminal bar is redrawn at least this often while the percentage stands still, so the
// time keeps moving during slow steps.
constexpr std::int64_t kRedrawNs = 200'000'000;

// Pads to a width in characters, not bytes: step names carry umlauts.
std::string Padded(const std::string& text, std::size_t width) {
    std::size_t characters = 0;
    for (char c : text) {
        if ((static_cast<unsigned char>(c) & 0xC0) != 0x80) ++characters;
    }
    return characters >= width ? text : text + std::string(width - characters, ' ');
}

int PercentOf(std::size_t done, std::size_t total) {
    return total == 0 ? 100 : static_cast<int>(done * 100 / total);
}

}  // namespace

Progress::Progress(std::ostream& out, bool terminal, Clock& clock)
    : m_out(out), m_terminal(terminal), m_clock(clock) {}

void Progress::Begin(const std::string& step, std::size_t total) {
    m_active = true;
    m_step = step;
    m_total = total;
    m_done = 0;
    m_startNs = m_clock.NowNs();
    m_lastDrawNs = m_startNs;
    m_lastQuarter = 0;
    m_lastPercent = 0;
    Draw(0, false, "");
}

void Progress::Update(std::size_t done) {
    if (!m_active) return;
    m_done = done;
    const int percent = PercentOf(done, m_total);
    if (m_terminal) {
        const std::int64_t now = m_clock.NowNs();
        if (percent != m_lastPercent || now - m_lastDrawNs >= kRedrawNs) {
            m_lastPercent = percent;
            m_lastDrawNs = now;
            Draw(done, false, "");
        }
        return;
    }
    // Plain lines at 25, 50 and 75 %; the end has its own line.
    const int quarter = percent / 25;
    if (quarter > m_lastQuarter && quarter < 4) {
        m_lastQuarter = quarter;
        Draw(done, false, "");
    }
}

void Progress::Finish(const std::string& extra) {
    if (!m_active) return;
    m_done = m_total;
    Draw(m_total, true, extra);
    m_active = false;
}

void Progress::Stop(const std::string& reason) {
    if (!m_active) return;
    Draw(m_done, true, reason);
    m_active = false;
}

std::string Progress::Elapsed() const {
    char text[32];
    const double seconds = static_cast<double>(m_clock.NowNs() - m_startNs) / 1e9;
    std::snprintf(text, sizeof text, "%.1f s", seconds < 0 ? 0.0 : seconds);
    return text;
}

void Progress::Draw(std::size_t done, bool final, const std::string& tail) {
    char counts[64];
    std::snprintf(counts, sizeof counts, "%zu/%zu Bytes (%d %%)", done, m_total,
                  PercentOf(done, m_total));
    // Built with append rather than chains of operator+, which GCC 12 at -O3 wrongly flags
    // as overlapping copies (-Wrestrict).
    std::string line;
    if (m_terminal) {
        const int filled = m_total == 0 ? kBarWidth : static_cast<int>(done * kBarWidth / m_total);
        line.append("\r").append(Padded(m_step + ":", 14)).append(" [");
        line.append(static_cast<std::size_t>(filled), '#');
        line.append(static_cast<std::size_t>(kBarWidth - filled), '.');
        line.append("] ").append(counts).append(", ").append(Elapsed());
        if (!tail.empty()) line.append(", ").append(tail);
        // Clears what a longer earlier line left behind.
        line.append("\x1b[K");
        if (final) line.append("\n");
    } else {
        line.append(m_step).append(": ").append(counts).append(", ").append(Elapsed());
        if (!tail.empty()) line.append(", ").append(tail);
        line.append("\n");
    }
    m_out << line << std::flush;
}

}  // namespace velmo::cli
