#include "sim/SimBoard.h"

namespace velmo {

SimBoard::SimBoard(bool present) : m_present(present) {}

void SimBoard::SetLines(bool enable, bool rst, std::int64_t nowNs) {
    if (!enable) {
        m_enable = false;
        m_rst = rst;
        m_stage = Stage::WaitLongHigh;
        return;
    }
    if (!m_enable) {
        // Whatever RST did while the interface was off does not count.
        m_enable = true;
        m_rst = rst;
        m_levelSinceNs = nowNs;
        m_stage = Stage::WaitLongHigh;
        return;
    }
    if (rst == m_rst) {
        return;
    }
    const std::int64_t lasted = nowNs - m_levelSinceNs;
    if (!rst) {
        m_stage = lasted >= kMinLongHighNs ? Stage::InPulse : Stage::WaitLongHigh;
    } else if (m_stage == Stage::InPulse) {
        m_stage =
            lasted >= kMinPulseNs && lasted <= kMaxPulseNs ? Stage::Armed : Stage::WaitLongHigh;
    }
    m_rst = rst;
    m_levelSinceNs = nowNs;
}

bool SimBoard::Ready(Clock& clock) const {
    return m_present && m_enable && m_rst && m_stage == Stage::Armed &&
           clock.NowNs() - m_levelSinceNs >= kReadyAfterNs;
}

}  // namespace velmo
