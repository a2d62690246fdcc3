#include "sim/SimAt89s53.h"

#include <limits>

namespace velmo {

namespace {

// Far enough in the past that no phase measured from it is short, far enough from the
// limit that subtracting it cannot overflow.
constexpr std::int64_t kLongAgo = std::numeric_limits<std::int64_t>::min() / 4;
constexpr std::int64_t kNever = std::numeric_limits<std::int64_t>::max();

std::int64_t MicrosToNs(std::uint32_t us) {
    return std::int64_t{us} * 1000;
}

// What a read-protected chip answers: stable per address, unrelated to the content, and
// not the erased value for most cells, so a locked chip cannot pass for an erased one.
std::uint8_t ProtectedReadValue(std::uint16_t address) {
    const std::uint32_t mixed = (address + 0x2F1Bu) * 2654435761u;
    return static_cast<std::uint8_t>(mixed >> 24);
}

constexpr std::uint16_t kAddressMask = 0x3FFF;

}  // namespace

SimAt89s53::SimAt89s53(Clock& clock, const SimOptions& options)
    : m_clock(clock),
      m_present(options.chipPresent),
      m_minPhaseNs(20.0 * 1000.0 / options.xtalMHz),
      m_writeTimeNs(MicrosToNs(options.writeTimeUs)),
      m_eraseTimeNs(MicrosToNs(options.eraseTimeUs)),
      m_writeNeverCompletes(options.writeNeverCompletes),
      m_stuck(options.stuckCells),
      m_lastRiseNs(kLongAgo),
      m_lastFallNs(kLongAgo) {
    ClearImage(m_flash);
    ApplyStuckCells();
}

const FlashImage& SimAt89s53::Flash() const {
    Advance();
    return m_flash;
}

void SimAt89s53::SetFlash(const FlashImage& flash) {
    Advance();
    m_flash = flash;
    ApplyStuckCells();
    ++m_changes;
}

bool SimAt89s53::LockBit(int number) const {
    Advance();
    return number >= 1 && number <= 3 && m_lock[static_cast<std::size_t>(number - 1)];
}

void SimAt89s53::ApplyStuckCells() const {
    for (const auto& [address, value] : m_stuck) {
        if (address < m_flash.size()) {
            m_flash[address] = value;
        }
    }
}

void SimAt89s53::Advance() const {
    if (m_writeBusy || m_erasing) {
        AdvanceTo(m_clock.NowNs());
    }
}

void SimAt89s53::AdvanceTo(std::int64_t now) const {
    if (m_writeBusy && now >= m_writeDoneNs) {
        m_writeBusy = false;
        const auto stuck = m_stuck.find(m_writeAddress);
        m_flash[m_writeAddress] = stuck != m_stuck.end() ? stuck->second : m_writeData;
        ++m_changes;
    }
    if (m_erasing && now >= m_eraseDoneNs) {
        m_erasing = false;
        ClearImage(m_flash);
        ApplyStuckCells();
        m_lock = {};
        ++m_changes;
    }
}

// Needs no clock: it runs when the port goes away, possibly after the clock.
void SimAt89s53::FinishStartedWork() {
    AdvanceTo(kNever - 1);
}

void SimAt89s53::ResetSerial() {
    m_enabled = false;
    m_haveRise = false;
    m_shift = 0;
    m_bitCount = 0;
    m_outputting = false;
    m_instructionViolated = false;
    m_miso = true;
}

void SimAt89s53::SetLines(bool mosi, bool sck, bool rst) {
    if (!m_present) {
        return;
    }
    m_mosi = mosi;
    if (sck == m_sck && rst == m_rst) {
        return;  // MOSI alone does nothing until the next rising edge: no need for the time
    }
    const std::int64_t now = m_clock.NowNs();
    if (m_writeBusy || m_erasing) {
        AdvanceTo(now);
    }
    if (rst != m_rst) {
        // Either edge starts the serial interface afresh: low ends programming, and a new
        // high needs a new Programming Enable.
        ResetSerial();
        m_rst = rst;
    }
    if (sck && !m_sck) {
        const std::int64_t lowPhase = now - m_lastFallNs;
        m_lastRiseNs = now;
        if (m_rst) {
            m_haveRise = true;
            m_sampled = m_mosi;
            m_lowTooShort = static_cast<double>(lowPhase) < m_minPhaseNs;
        }
    } else if (!sck && m_sck) {
        const std::int64_t highPhase = now - m_lastRiseNs;
        m_lastFallNs = now;
        if (m_rst && m_haveRise) {
            m_haveRise = false;
            CommitBit(m_lowTooShort || static_cast<double>(highPhase) < m_minPhaseNs);
        }
    }
    m_sck = sck;
}

// The bit is taken into the shift register at the falling edge, when both phases of its
// clock cycle are known; MISO changes at the same moment, as on the chip.
void SimAt89s53::CommitBit(bool violation) {
    if (violation) {
        ++m_violations;
    }
    const bool bit = m_sampled != violation;
    m_shift = ((m_shift << 1) | (bit ? 1u : 0u)) & 0xFFFFFF;
    ++m_bitCount;

    if (m_bitCount == 16) {
        const auto first = static_cast<std::uint8_t>(m_shift >> 8);
        if (m_enabled && !m_erasing && (first & 0x03) == 0x01) {
            const auto address =
                static_cast<std::uint16_t>(((((first >> 2) & 0x01u) << 13) |
                                            (((first >> 3) & 0x1Fu) << 8) | (m_shift & 0xFFu)) &
                                           kAddressMask);
            m_outByte = ReadCell(address);
            if (m_writeBusy && address == m_writeAddress && !m_lock[1]) ++m_busyReads;
            m_outputting = true;
        }
    }
    m_instructionViolated = m_instructionViolated || violation;
    if (m_instructionViolated) {
        // Whatever the chip made of the garbled bits, its answer cannot be trusted.
        m_noise = (m_noise >> 1) ^ (-(m_noise & 1u) & 0xB400u);
        m_miso = (m_noise & 1u) != 0;
    } else if (m_outputting && m_bitCount >= 16 && m_bitCount < 24) {
        m_miso = ((m_outByte >> (23 - m_bitCount)) & 1u) != 0;
    }
    if (m_bitCount == 24) {
        Execute();
        m_shift = 0;
        m_bitCount = 0;
        m_outputting = false;
        m_instructionViolated = false;
        m_miso = true;
    }
}

std::uint8_t SimAt89s53::ReadCell(std::uint16_t address) const {
    if (m_lock[1]) {
        return ProtectedReadValue(address);
    }
    if (m_writeBusy && address == m_writeAddress) {
        return static_cast<std::uint8_t>(m_writeData ^ 0x80);
    }
    if (address >= m_flash.size()) {
        return 0xFF;  // 0x3000..0x3FFF: no cells behind these addresses
    }
    return m_flash[address];
}

void SimAt89s53::Execute() {
    ++m_instructions;
    if (m_erasing) {
        return;
    }
    const auto b1 = static_cast<std::uint8_t>(m_shift >> 16);
    const auto b2 = static_cast<std::uint8_t>(m_shift >> 8);
    const auto b3 = static_cast<std::uint8_t>(m_shift);
    const bool isEnable = b1 == 0xAC && b2 == 0x53;
    if (!m_enabled) {
        m_enabled = isEnable;
        return;
    }
    const std::int64_t now = m_clock.NowNs();
    if (b1 == 0xAC) {
        if (isEnable || m_writeBusy) {
            return;
        }
        if ((b2 & 0x07) == 0x04) {
            m_erasing = true;
            m_eraseDoneNs = now + m_eraseTimeNs;
        } else if ((b2 & 0x07) == 0x07) {
            // A 0 programs the lock bit; only Chip Erase clears them again.
            m_lock[0] = m_lock[0] || (b2 & 0x80) == 0;
            m_lock[1] = m_lock[1] || (b2 & 0x40) == 0;
            m_lock[2] = m_lock[2] || (b2 & 0x20) == 0;
        }
        return;
    }
    if ((b1 & 0x03) != 0x02 || m_writeBusy || WriteProtected()) {
        return;  // reads were answered while shifting; anything else is not an instruction
    }
    const auto address = static_cast<std::uint16_t>(
        ((((b1 >> 2) & 0x01u) << 13) | (((b1 >> 3) & 0x1Fu) << 8) | b2) & kAddressMask);
    if (address >= m_flash.size()) {
        return;
    }
    m_writeBusy = true;
    m_writeAddress = address;
    m_writeData = b3;
    m_writeDoneNs = m_writeNeverCompletes ? kNever : now + m_writeTimeNs;
    Advance();  // a write time of 0 is done at once
}

int SimAt89s53::Miso() {
    if (!m_present) {
        return 1;
    }
    Advance();
    if (m_erasing) {
        return 0;
    }
    return m_miso ? 1 : 0;
}

}  // namespace velmo
