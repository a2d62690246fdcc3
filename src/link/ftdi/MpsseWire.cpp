#include "link/ftdi/FtdiWire.h"

#include <algorithm>

namespace velmo {

namespace {

// The MPSSE's commands that the wire sends.
constexpr std::uint8_t kSetLowPins = 0x80;
constexpr std::uint8_t kReadLowPins = 0x81;
constexpr std::uint8_t kSetHighPins = 0x82;
constexpr std::uint8_t kLoopbackOff = 0x85;
constexpr std::uint8_t kSetDivisor = 0x86;
constexpr std::uint8_t kSendImmediate = 0x87;
constexpr std::uint8_t kDivideBy5Off = 0x8A;
constexpr std::uint8_t kDivideBy5On = 0x8B;
constexpr std::uint8_t kThreePhaseOff = 0x8D;
constexpr std::uint8_t kAdaptiveOff = 0x97;
// An opcode the engine does not know: it answers 0xFA and the opcode, which proves that the
// engine runs and that nothing older is left in the answers.
constexpr std::uint8_t kBadCommand = 0xAA;
constexpr std::uint8_t kBadCommandAnswer = 0xFA;
// Byte shifting, most significant bit first: write, read, and which edge each takes.
constexpr std::uint8_t kShiftWrite = 0x10;
constexpr std::uint8_t kShiftRead = 0x20;
constexpr std::uint8_t kWriteOnFalling = 0x01;
constexpr std::uint8_t kReadOnFalling = 0x04;
constexpr std::uint32_t kMaxDivisor = 0xFFFF;

}  // namespace

MpsseWire::MpsseWire(const FtdiPins& pins, FtdiChip chip)
    : FtdiWire(pins), m_chip(chip), m_highSpeed(chip != FtdiChip::Ft2232C) {}

void MpsseWire::Begin() {
    m_out.push_back(kBadCommand);
    m_answers += 2;
    if (m_highSpeed) {
        m_out.insert(m_out.end(), {kDivideBy5Off, kAdaptiveOff, kThreePhaseOff});
        m_divideBy5 = false;
    }
    m_out.push_back(kLoopbackOff);
    SetPins();
    // The FT4232H's channels have no second byte of pins; elsewhere it stays undriven.
    if (m_chip != FtdiChip::Ft4232H) m_out.insert(m_out.end(), {kSetHighPins, 0x00, 0x00});
}

bool MpsseWire::BeginAnswered(std::span<const std::uint8_t> answers) const {
    return answers.size() >= 2 && answers[0] == kBadCommandAnswer && answers[1] == kBadCommand;
}

std::uint8_t MpsseWire::Directions() const {
    return OutputMask();
}

void MpsseWire::SetPins() {
    m_out.insert(m_out.end(), {kSetLowPins, PinByte(), Directions()});
    m_lastWrite = SIZE_MAX;
    Note(Event::Kind::Outputs);
}

void MpsseWire::ReleasePins() {
    m_out.insert(m_out.end(), {kSetLowPins, PinByte(), 0x00});
    m_lastWrite = SIZE_MAX;
}

void MpsseWire::SetLevel(IspLine line, bool level) {
    SetLevelBit(line, level);
    if (CableOf(line).output && m_pins.Line(line).used) {
        SetPins();
    } else {
        Note(Event::Kind::Outputs);
    }
}

std::size_t MpsseWire::SampleInputs() {
    m_out.push_back(kReadLowPins);
    m_lastWrite = SIZE_MAX;
    const std::size_t answer = m_answers++;
    Note(Event::Kind::Ready, answer);
    return answer;
}

// SCK = base / (2 (1 + divisor)): the 60 MHz engine of the H chips with its divide-by-5 off,
// else 12 MHz. The divisor is rounded up, so a half-period never comes out shorter than asked.
void MpsseWire::SetClock(std::uint32_t halfPeriodUs) {
    halfPeriodUs = std::max<std::uint32_t>(halfPeriodUs, 1);
    if (halfPeriodUs == m_halfPeriodUs) return;
    m_halfPeriodUs = halfPeriodUs;
    bool divideBy5 = !m_highSpeed || 60ull * halfPeriodUs - 1 > kMaxDivisor;
    const std::uint64_t megahertz = divideBy5 ? 12 : 60;
    const auto divisor = static_cast<std::uint32_t>(
        std::min<std::uint64_t>(megahertz * halfPeriodUs - 1, kMaxDivisor));
    if (m_highSpeed && divideBy5 != m_divideBy5) {
        m_out.push_back(divideBy5 ? kDivideBy5On : kDivideBy5Off);
        m_divideBy5 = divideBy5;
        m_divisor = 0;
    }
    if (divisor + 1 != m_divisor) {
        m_out.insert(m_out.end(), {kSetDivisor, static_cast<std::uint8_t>(divisor & 0xFF),
                                   static_cast<std::uint8_t>(divisor >> 8)});
        m_divisor = divisor + 1;
    }
    m_lastWrite = SIZE_MAX;
    m_halfNs = static_cast<std::int64_t>((divisor + 1ull) * 1000 / megahertz);
}

// Mode 0 puts a bit out before the edge away from rest and reads the answer at that edge;
// mode 1 puts it out at that edge and reads at the edge back to rest. An inverted SCK rests
// high at the pin, so its edges swap their names.
std::size_t MpsseWire::ShiftByte(std::uint8_t value, std::uint32_t halfPeriodUs, SpiMode mode,
                                 bool sample) {
    SetClock(halfPeriodUs);
    const bool restsHigh = m_pins.Line(IspLine::Sck).inverted;
    const bool mode0 = mode == SpiMode::Mode0;
    const bool writeFalling = mode0 != restsHigh;
    const std::uint8_t edges =
        writeFalling ? kWriteOnFalling : static_cast<std::uint8_t>(kReadOnFalling);
    const auto data =
        static_cast<std::uint8_t>(m_pins.Line(IspLine::Mosi).inverted ? ~value : value);
    std::size_t answer = 0;
    if (!sample) {
        const auto opcode = static_cast<std::uint8_t>(kShiftWrite | (edges & kWriteOnFalling));
        if (m_lastWrite != SIZE_MAX && m_out[m_lastWrite] == opcode &&
            m_out[m_lastWrite + 2] != 0xFF) {
            // One more byte for the command before: its length is counted from 0.
            std::uint16_t length =
                static_cast<std::uint16_t>(m_out[m_lastWrite + 1] | (m_out[m_lastWrite + 2] << 8));
            ++length;
            m_out[m_lastWrite + 1] = static_cast<std::uint8_t>(length & 0xFF);
            m_out[m_lastWrite + 2] = static_cast<std::uint8_t>(length >> 8);
            m_out.push_back(data);
        } else {
            m_lastWrite = m_out.size();
            m_out.insert(m_out.end(), {opcode, 0x00, 0x00, data});
        }
    } else {
        m_out.insert(m_out.end(), {static_cast<std::uint8_t>(kShiftWrite | kShiftRead | edges),
                                   0x00, 0x00, data});
        m_lastWrite = SIZE_MAX;
        answer = m_answers++;
    }
    for (int bit = 7; bit >= 0; --bit) {
        const bool level = ((value >> bit) & 1) != 0;
        if (mode0) SetLevelBit(IspLine::Mosi, level);
        Note(Event::Kind::Outputs);
        m_elapsedNs += m_halfNs;
        if (!mode0) SetLevelBit(IspLine::Mosi, level);
        SetLevelBit(IspLine::Sck, true);
        Note(Event::Kind::Outputs);
        if (sample && mode0) Note(Event::Kind::Miso, answer, static_cast<std::uint8_t>(bit));
        m_elapsedNs += m_halfNs;
        if (sample && !mode0) Note(Event::Kind::Miso, answer, static_cast<std::uint8_t>(bit));
        SetLevelBit(IspLine::Sck, false);
        Note(Event::Kind::Outputs);
    }
    return answer;
}

void MpsseWire::Close() {
    if (m_answers == 0) {
        m_out.push_back(kReadLowPins);
        ++m_answers;
    }
    m_out.push_back(kSendImmediate);
    m_lastWrite = SIZE_MAX;
}

std::size_t MpsseWire::CostOf(const Instruction& instruction) const {
    return 4 + 4 * static_cast<std::size_t>(instruction.length);
}

SocketBytes MpsseWire::DecodeByte(std::size_t answer, std::span<const std::uint8_t> answers,
                                  unsigned) const {
    SocketBytes bytes{};
    const std::uint8_t value = answers[answer];
    bytes[0] = static_cast<std::uint8_t>(m_pins.Line(IspLine::Miso).inverted ? ~value : value);
    return bytes;
}

bool MpsseWire::DecodeInput(IspLine line, std::size_t answer,
                            std::span<const std::uint8_t> answers) const {
    const FtdiPin& pin = m_pins.Line(line);
    return pin.used && TargetLevel(pin, answers[answer]);
}

bool MpsseWire::DecodeMisoBit(std::size_t answer, int bit,
                              std::span<const std::uint8_t> answers) const {
    return (((answers[answer] >> bit) & 1) != 0) != m_pins.Line(IspLine::Miso).inverted;
}

}  // namespace velmo
