#pragma once

#include <cstddef>
#include <cstdint>
#include <ostream>
#include <string>

#include "timing/Clock.h"

namespace velmo::cli {

// The progress of one long step (erase, write, read, verify) on standard error: on a
// terminal a bar redrawn in place, otherwise a few plain lines per step (its start, each
// quarter, its end), so that a log file is not flooded with one line per byte. Times come
// from the clock the lines are timed with, so a virtual clock gives the simulated time.
class Progress {
  public:
    Progress(std::ostream& out, bool terminal, Clock& clock);

    void Begin(const std::string& step, std::size_t total);
    // Cheap enough to call once per byte: it draws only when something visible changed.
    void Update(std::size_t done);
    // The step is complete; extra is appended to its last line (e.g. "16 geschrieben").
    void Finish(const std::string& extra = "");
    // The step ended early (interrupt or failure): ends the bar's line and says where.
    void Stop(const std::string& reason);

    bool Active() const { return m_active; }

  private:
    void Draw(std::size_t done, bool final, const std::string& tail);
    std::string Elapsed() const;

    std::ostream& m_out;
    const bool m_terminal;
    Clock& m_clock;
    bool m_active = false;
    std::string m_step;
    std::size_t m_total = 0;
    std::size_t m_done = 0;
    std::int64_t m_startNs = 0;
    std::int64_t m_lastDrawNs = 0;
    int m_lastQuarter = 0;
    int m_lastPercent = -1;
};

}  // namespace velmo::cli
