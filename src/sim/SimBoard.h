#pragma once

#include <cstdint>

#include "timing/Clock.h"

namespace velmo {

// The Velmo board's answer on READY. It answers only after the reset it expects, with its
// interface enabled throughout: RST high for a long time (at least 200 ms), a short low
// pulse (50 us to 10 ms), then RST high again; READY rises 200 ms into that last high
// phase and falls as soon as RST or ENABLE goes low. The board's own sequence (300 ms,
// 100 us, 300 ms) lies well inside these bounds; the raw cable's short pulses and a
// missing reset do not. Without a board READY stays 0, and the chip's lines pass straight
// through; with a board they reach the chip only while ENABLE is 1.
class SimBoard {
  public:
    explicit SimBoard(bool present);

    void SetLines(bool enable, bool rst, std::int64_t nowNs);
    // Asks the clock only when the answer depends on the time.
    bool Ready(Clock& clock) const;
    bool Present() const { return m_present; }
    bool PassesLines() const { return !m_present || m_enable; }

    static constexpr std::int64_t kMinLongHighNs = 200'000'000;
    static constexpr std::int64_t kMinPulseNs = 50'000;
    static constexpr std::int64_t kMaxPulseNs = 10'000'000;
    static constexpr std::int64_t kReadyAfterNs = 200'000'000;

  private:
    enum class Stage { WaitLongHigh, InPulse, Armed };

    const bool m_present;
    bool m_enable = false;
    bool m_rst = false;
    std::int64_t m_levelSinceNs = 0;  // RST's present level, counted while enabled
    Stage m_stage = Stage::WaitLongHigh;
};

}  // namespace velmo
