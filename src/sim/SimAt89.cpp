#include "sim/SimAt89.h"

#include <algorithm>
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
std::uint8_t ProtectedReadValue(std::uint32_t address) {
    const std::uint32_t mixed = (address + 0x2F1Bu) * 2654435761u;
    return static_cast<std::uint8_t>(mixed >> 24);
}

// The addresses a memory of this size decodes; the bits above are not looked at.
std::uint32_t AddressMask(std::uint32_t size) {
    std::uint32_t mask = 1;
    while (mask < size) mask <<= 1;
    return mask - 1;
}

constexpr std::uint8_t kProgrammingEnable1 = 0xAC;
constexpr std::uint8_t kProgrammingEnable2 = 0x53;

}  // namespace

SimAt89::SimAt89(Clock& clock, const SimOptions& options)
    : m_clock(clock),
      m_model(SimModelOf(options.model)),
      m_present(options.chipPresent),
      m_minPhaseNs(m_model.minPhaseClocks * 1000.0 / options.xtalMHz),
      m_writeTimeNs(MicrosToNs(options.writeTimeUs)),
      m_eraseTimeNs(MicrosToNs(options.eraseTimeUs)),
      m_writeNeverCompletes(options.writeNeverCompletes),
      m_stuck(options.stuckCells),
      m_lastRiseNs(kLongAgo),
      m_lastFallNs(kLongAgo) {
    ClearImage(m_flash);
    m_eeprom.fill(0xFF);
    ApplyStuckCells();
}

const FlashImage& SimAt89::Flash() const {
    Advance();
    return m_flash;
}

// Beyond the model's flash there are no cells: they stay erased whatever a file held.
void SimAt89::SetFlash(const FlashImage& flash) {
    Advance();
    m_flash = flash;
    std::fill(m_flash.begin() + m_model.flashSize, m_flash.end(), 0xFF);
    ApplyStuckCells();
    ++m_changes;
}

std::span<const std::uint8_t> SimAt89::Eeprom() const {
    Advance();
    return std::span<const std::uint8_t>(m_eeprom).first(m_model.eepromSize);
}

void SimAt89::SetEeprom(std::span<const std::uint8_t> bytes) {
    Advance();
    std::copy_n(bytes.begin(), std::min<std::size_t>(bytes.size(), m_model.eepromSize),
                m_eeprom.begin());
}

bool SimAt89::LockBit(int number) const {
    Advance();
    return number >= 1 && number <= 3 && m_lock[static_cast<std::size_t>(number - 1)];
}

std::uint32_t SimAt89::Size(Memory memory) const {
    return memory == Memory::Flash ? m_model.flashSize : m_model.eepromSize;
}

void SimAt89::ApplyStuckCells() const {
    for (const auto& [address, value] : m_stuck) {
        if (address < m_flash.size()) m_flash[address] = value;
    }
}

void SimAt89::Advance() const {
    if (m_writeBusy || m_erasing) AdvanceTo(m_clock.NowNs());
}

void SimAt89::AdvanceTo(std::int64_t now) const {
    if (m_writeBusy && now >= m_writeDoneNs) {
        m_writeBusy = false;
        for (std::size_t i = 0; i < m_writeData.size(); ++i) {
            ProgramCell(m_writeMemory, m_writeStart + static_cast<std::uint32_t>(i),
                        m_writeData[i]);
        }
        ++m_changes;
    }
    if (m_erasing && now >= m_eraseDoneNs) {
        m_erasing = false;
        ClearImage(m_flash);
        m_eeprom.fill(0xFF);
        ApplyStuckCells();
        m_lock = {};
        ++m_changes;
    }
}

// An EEPROM cell and the AT89S53's and AT89S8252's flash cells are erased before they are
// written; the other chips' flash cells can only lose bits until Chip Erase.
void SimAt89::ProgramCell(Memory memory, std::uint32_t address, std::uint8_t value) const {
    if (address >= Size(memory)) return;
    if (memory == Memory::Eeprom) {
        m_eeprom[address] = value;
        return;
    }
    const auto stuck = m_stuck.find(static_cast<std::uint16_t>(address));
    if (stuck != m_stuck.end()) {
        m_flash[address] = stuck->second;
    } else if (m_model.flashErasesItself) {
        m_flash[address] = value;
    } else {
        m_flash[address] &= value;
    }
}

// Needs no clock: it runs when the port goes away, possibly after the clock.
void SimAt89::FinishStartedWork() {
    AdvanceTo(kNever - 1);
}

void SimAt89::ResetSerial() {
    m_enabled = false;
    m_haveRise = false;
    m_shift = 0;
    m_bitInByte = 0;
    m_headerBytes = 0;
    m_inPage = false;
    m_outputting = false;
    m_instructionViolated = false;
    m_miso = true;
}

void SimAt89::SetLines(bool mosi, bool sck, bool rst) {
    if (!m_present) return;
    m_mosi = mosi;
    if (sck == m_sck && rst == m_rst) {
        return;  // MOSI alone does nothing until the next edge of SCK: no need for the time
    }
    const std::int64_t now = m_clock.NowNs();
    if (m_writeBusy || m_erasing) AdvanceTo(now);
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
            if (m_model.mode1) m_miso = OutLevel();
        }
    } else if (!sck && m_sck) {
        const std::int64_t highPhase = now - m_lastRiseNs;
        m_lastFallNs = now;
        if (m_rst && m_haveRise) {
            m_haveRise = false;
            CommitBit(m_model.mode1 ? m_mosi : m_sampled,
                      m_lowTooShort || static_cast<double>(highPhase) < m_minPhaseNs);
            if (!m_model.mode1) m_miso = OutLevel();
        }
    }
    m_sck = sck;
}

// The bit is taken at the falling edge, when both phases of its clock cycle are known.
void SimAt89::CommitBit(bool sampled, bool violation) {
    if (violation) ++m_violations;
    m_instructionViolated = m_instructionViolated || violation;
    if (m_instructionViolated) m_noise = (m_noise >> 1) ^ (-(m_noise & 1u) & 0xB400u);
    m_shift = static_cast<std::uint8_t>((m_shift << 1) | ((sampled != violation) ? 1u : 0u));
    if (++m_bitInByte == 8) {
        m_bitInByte = 0;
        ByteIn(m_shift);
    }
}

// The level of the bit being clocked (mode 1) or about to be (mode 0). Whatever the chip made
// of garbled bits, its answer cannot be trusted.
bool SimAt89::OutLevel() {
    if (m_instructionViolated) return (m_noise & 1u) != 0;
    if (!m_outputting) return true;
    return ((m_outByte >> (7 - m_bitInByte)) & 1u) != 0;
}

void SimAt89::SetOut(std::uint8_t value) {
    m_outByte = value;
    m_outputting = true;
}

void SimAt89::EndInstruction() {
    m_headerBytes = 0;
    m_inPage = false;
    m_outputting = false;
    m_instructionViolated = false;
}

void SimAt89::ByteIn(std::uint8_t byte) {
    m_outputting = false;
    if (m_inPage) {
        PageByte(byte);
        return;
    }
    m_header[static_cast<std::size_t>(m_headerBytes++)] = byte;
    if (m_model.fourBytes) {
        Header4();
    } else {
        Header3();
    }
}

std::uint8_t SimAt89::ReadCell(Memory memory, std::uint32_t address) {
    if (m_lock[1]) return ProtectedReadValue(address);
    if (m_writeBusy && memory == m_writeMemory &&
        address == m_writeStart + m_writeData.size() - 1) {
        ++m_busyReads;
        return static_cast<std::uint8_t>(m_writeData.back() ^ 0x80);
    }
    if (address >= Size(memory)) return 0xFF;  // no cells behind these addresses
    return memory == Memory::Flash ? m_flash[address] : m_eeprom[address];
}

void SimAt89::StartWrite(Memory memory, std::uint32_t start, std::span<const std::uint8_t> bytes) {
    m_writeBusy = true;
    m_writeMemory = memory;
    m_writeStart = start;
    m_writeData.assign(bytes.begin(), bytes.end());
    m_writeDoneNs = m_writeNeverCompletes ? kNever : m_clock.NowNs() + m_writeTimeNs;
    Advance();  // a write time of 0 is done at once
}

// --- three-byte chips: A12..A8 in the first byte's top bits, then 01 (read) or 10 (write).
// The AT89S53 carries A13 in bit 2; on the AT89S8252 a 1 there selects the EEPROM, whose
// A10..A8 sit in bits 5..3 below two zeros.
namespace {

struct Access3 {
    bool valid = false;
    bool write = false;
    bool eeprom = false;
    std::uint32_t address = 0;
};

Access3 Decode3(const SimModel& model, std::uint8_t first, std::uint8_t second) {
    Access3 access;
    const unsigned op = first & 0x03u;
    if (op != 0x01 && op != 0x02) return access;
    access.write = op == 0x02;
    if (model.eepromSize == 0) {
        access.address = ((((first >> 2) & 0x01u) << 13) | (((first >> 3) & 0x1Fu) << 8) | second);
    } else if ((first & 0x04u) == 0) {
        access.address = (((first >> 3) & 0x1Fu) << 8) | second;
    } else if ((first & 0xC0u) == 0) {
        access.eeprom = true;
        access.address = (((first >> 3) & 0x07u) << 8) | second;
    } else {
        return access;
    }
    access.address &= AddressMask(access.eeprom ? model.eepromSize : model.flashSize);
    access.valid = true;
    return access;
}

}  // namespace

void SimAt89::Header3() {
    if (m_headerBytes == 2) {
        const Access3 access = Decode3(m_model, m_header[0], m_header[1]);
        if (m_enabled && !m_erasing && access.valid && !access.write) {
            SetOut(ReadCell(access.eeprom ? Memory::Eeprom : Memory::Flash, access.address));
        }
    } else if (m_headerBytes == 3) {
        Execute3();
        EndInstruction();
    }
}

// Counts a whole instruction and takes a Programming Enable; false when nothing more comes of
// it: the chip erases, is not enabled yet, or the instruction was the enable itself.
bool SimAt89::Admit() {
    ++m_instructions;
    if (m_erasing) return false;
    const bool isEnable = m_header[0] == kProgrammingEnable1 && m_header[1] == kProgrammingEnable2;
    if (!m_enabled) {
        m_enabled = isEnable;
        return false;
    }
    return !isEnable;
}

void SimAt89::StartErase() {
    m_erasing = true;
    m_eraseDoneNs = m_clock.NowNs() + m_eraseTimeNs;
}

void SimAt89::Execute3() {
    if (!Admit()) return;
    const std::uint8_t b1 = m_header[0];
    const std::uint8_t b2 = m_header[1];
    if (b1 == kProgrammingEnable1) {
        if (m_writeBusy) return;
        if ((b2 & 0x07) == 0x04) {
            StartErase();
        } else if ((b2 & 0x07) == 0x07) {
            // A 0 programs the lock bit; only Chip Erase clears them again.
            m_lock[0] = m_lock[0] || (b2 & 0x80) == 0;
            m_lock[1] = m_lock[1] || (b2 & 0x40) == 0;
            m_lock[2] = m_lock[2] || (b2 & 0x20) == 0;
        }
        return;
    }
    const Access3 access = Decode3(m_model, b1, b2);
    // Reads were answered while shifting; anything else is not an instruction.
    if (!access.valid || !access.write || m_writeBusy || WriteProtected()) return;
    const Memory memory = access.eeprom ? Memory::Eeprom : Memory::Flash;
    if (access.address >= Size(memory)) return;
    StartWrite(memory, access.address, std::span<const std::uint8_t>(&m_header[2], 1));
}

// --- four-byte chips: opcode, address high, address low, data or answer. Page instructions
// stream a page of data after a header of two bytes (AT89S51/52: opcode and A12..A8) or three
// (AT89S8253: with A7 A6 in the low byte).
void SimAt89::Header4() {
    const std::uint8_t op = m_header[0];
    const bool pageOp = op == 0x30 || op == 0x50 || op == 0xB0 || op == 0xD0;
    if (pageOp && m_headerBytes == m_model.pageHeader && m_enabled && !m_erasing) {
        const Memory memory = (op & 0x80) != 0 ? Memory::Eeprom : Memory::Flash;
        const std::uint32_t low = m_model.pageHeader == 3 ? m_header[2] : 0u;
        if ((memory == Memory::Flash ? m_model.flashPage : m_model.eepromPage) != 0) {
            BeginPage(memory, (std::uint32_t{m_header[1]} << 8) | low, (op & 0x40) != 0);
            return;
        }
    }
    if (m_headerBytes == 3) {
        const std::uint8_t b2 = m_header[1];
        if (op == kProgrammingEnable1 && b2 == kProgrammingEnable2) {
            if (m_model.answersEnable) SetOut(0x69);
            return;
        }
        if (!m_enabled || m_erasing) return;
        const std::uint32_t address = (std::uint32_t{b2} << 8) | m_header[2];
        if (op == 0x20) {
            SetOut(ReadCell(Memory::Flash, address & AddressMask(m_model.flashSize)));
        } else if (op == 0xA0 && m_model.eepromSize > 0) {
            SetOut(ReadCell(Memory::Eeprom, address & AddressMask(m_model.eepromSize)));
        } else if (op == 0x24) {
            SetOut(LockByte());
        } else if (op == 0x28) {
            // The AT89S8253 keeps its signature at 30H and 31H, the AT89S51/52 at 000H, 100H
            // and 200H, which Lock-Bit 2 hides.
            const bool at30 = m_model.kind == SimModelKind::At89s8253;
            const std::uint32_t index = at30 ? m_header[2] - 0x30u : b2;
            const bool hidden = !at30 && m_lock[1];
            SetOut(index < m_model.signatureBytes && !hidden ? m_model.signature[index] : 0xFF);
        }
    } else if (m_headerBytes == 4) {
        Execute4();
        EndInstruction();
    }
}

void SimAt89::Execute4() {
    if (!Admit()) return;
    const std::uint8_t b1 = m_header[0];
    const std::uint8_t b2 = m_header[1];
    if (b1 == kProgrammingEnable1) {
        if (m_writeBusy) return;
        if ((b2 & 0xE0) == 0x80) {
            StartErase();
        } else if (m_model.kind == SimModelKind::At89s8253 && (b2 & 0xF8) == 0xE0) {
            m_lock[0] = m_lock[0] || (b2 & 0x01) == 0;
            m_lock[1] = m_lock[1] || (b2 & 0x02) == 0;
            m_lock[2] = m_lock[2] || (b2 & 0x04) == 0;
        } else if (m_model.kind != SimModelKind::At89s8253 && (b2 & 0xFC) == 0xE0) {
            WriteLockMode(b2 & 0x03);
        }
        return;  // anything else (the AT89S8253's fuses) changes nothing here
    }
    if (m_writeBusy || WriteProtected()) return;
    const std::uint32_t address = (std::uint32_t{b2} << 8) | m_header[2];
    if (b1 == 0x40) {
        const std::uint32_t cell = address & AddressMask(m_model.flashSize);
        if (cell < m_model.flashSize) {
            StartWrite(Memory::Flash, cell, std::span<const std::uint8_t>(&m_header[3], 1));
        }
    } else if (b1 == 0xC0 && m_model.eepromSize > 0) {
        StartWrite(Memory::Eeprom, address & AddressMask(m_model.eepromSize),
                   std::span<const std::uint8_t>(&m_header[3], 1));
    }
}

// B1 B2 = 01, 10, 11 select modes 2, 3 and 4; each takes only after the one before it.
void SimAt89::WriteLockMode(std::uint8_t b1b2) {
    if (b1b2 == 0) return;
    const int current = m_lock[2] ? 4 : m_lock[1] ? 3 : m_lock[0] ? 2 : 1;
    const int wanted = 1 + b1b2;
    if (wanted != current + 1) return;
    m_lock[static_cast<std::size_t>(wanted - 2)] = true;
}

// AT89S51/52: LB3 LB2 LB1 in bits 4..2, 1 = programmed. AT89S8253: bits 2..0, 0 = programmed.
std::uint8_t SimAt89::LockByte() const {
    if (m_model.kind == SimModelKind::At89s8253) {
        return static_cast<std::uint8_t>(0xF8 | (m_lock[2] ? 0 : 4) | (m_lock[1] ? 0 : 2) |
                                         (m_lock[0] ? 0 : 1));
    }
    return static_cast<std::uint8_t>((m_lock[2] ? 0x10 : 0) | (m_lock[1] ? 0x08 : 0) |
                                     (m_lock[0] ? 0x04 : 0));
}

void SimAt89::BeginPage(Memory memory, std::uint32_t address, bool write) {
    const std::uint32_t page = memory == Memory::Flash ? m_model.flashPage : m_model.eepromPage;
    m_inPage = true;
    m_pageWrite = write;
    m_pageMemory = memory;
    m_pageStart = address & AddressMask(Size(memory)) & ~(page - 1);
    m_page.clear();
    if (!write) SetOut(ReadCell(memory, m_pageStart));
}

void SimAt89::PageByte(std::uint8_t byte) {
    const std::uint32_t page =
        m_pageMemory == Memory::Flash ? m_model.flashPage : m_model.eepromPage;
    m_page.push_back(byte);
    const auto done = static_cast<std::uint32_t>(m_page.size());
    if (done < page) {
        if (!m_pageWrite) SetOut(ReadCell(m_pageMemory, m_pageStart + done));
        return;
    }
    ++m_instructions;
    // The page is written once its last byte is in, unless the chip is busy or locked.
    if (m_pageWrite && !m_writeBusy && !m_erasing && !WriteProtected() &&
        m_pageStart < Size(m_pageMemory)) {
        StartWrite(m_pageMemory, m_pageStart, m_page);
    }
    EndInstruction();
}

int SimAt89::Miso() {
    if (!m_present) return 1;
    Advance();
    if (m_erasing) return 0;
    return m_miso ? 1 : 0;
}

}  // namespace velmo
