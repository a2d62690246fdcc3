#include "link/ftdi/FtdiWire.h"

#include <algorithm>

namespace velmo {

void BitBangWire::Begin() {
    Note(Event::Kind::Outputs);
    Tick(PinByte());
}

bool BitBangWire::BeginAnswered(std::span<const std::uint8_t> answers) const {
    return !answers.empty();
}

std::optional<int> BitBangWire::RateFor(std::uint32_t halfPeriodUs) const {
    const std::uint32_t us = std::clamp<std::uint32_t>(halfPeriodUs, 1, 1'000'000 / kTicksPerRate);
    const int rate = static_cast<int>(1'000'000 / (static_cast<std::uint32_t>(kTicksPerRate) * us));
    if (rate == m_rate) return std::nullopt;
    return rate;
}

void BitBangWire::UseRate(int rate) {
    m_rate = rate;
    const std::int64_t ticksPerSecond = static_cast<std::int64_t>(kTicksPerRate) * rate;
    m_tickNs = (1'000'000'000 + ticksPerSecond - 1) / ticksPerSecond;
}

std::size_t BitBangWire::Tick(std::uint8_t pins) {
    m_out.push_back(pins);
    m_elapsedNs += m_tickNs;
    return m_answers++;
}

void BitBangWire::SetLevel(IspLine line, bool level) {
    SetLevelBit(line, level);
    Note(Event::Kind::Outputs);
    if (CableOf(line).output && m_pins.Line(line).used) Tick(PinByte());
}

// A tick's answer is the pins as they were before it drove them: as they are now.
std::size_t BitBangWire::SampleInputs() {
    Note(Event::Kind::Ready, m_answers);
    return Tick(PinByte());
}

// Mode 0: the bit with SCK low, then SCK high, whose tick reads the answer bit of the low
// half; a last tick brings SCK down. Mode 1: the bit with SCK high, then SCK low, whose tick
// reads what the chip put out after the rising edge.
std::size_t BitBangWire::ShiftByte(std::uint8_t value, std::uint32_t, SpiMode mode, bool sample) {
    const std::size_t first = m_answers;
    const bool mode0 = mode == SpiMode::Mode0;
    for (int bit = 7; bit >= 0; --bit) {
        SetLevelBit(IspLine::Mosi, ((value >> bit) & 1) != 0);
        SetLevelBit(IspLine::Sck, !mode0);
        Note(Event::Kind::Outputs);
        Tick(PinByte());
        SetLevelBit(IspLine::Sck, mode0);
        if (sample) Note(Event::Kind::Miso, m_answers, static_cast<std::uint8_t>(bit));
        Note(Event::Kind::Outputs);
        Tick(PinByte());
    }
    if (mode0) {
        SetLevelBit(IspLine::Sck, false);
        Note(Event::Kind::Outputs);
        Tick(PinByte());
    }
    return first;
}

std::int64_t BitBangWire::TicksFor(std::uint32_t microseconds) const {
    const std::int64_t tickNs = std::max<std::int64_t>(m_tickNs, 1);
    return (microseconds * 1000ll + tickNs - 1) / tickNs;
}

bool BitBangWire::Wait(std::uint32_t microseconds) {
    const std::int64_t ticks = TicksFor(microseconds);
    if (ticks > kMaxWaitTicks) return false;
    for (std::int64_t i = 0; i < ticks; ++i) Tick(PinByte());
    return true;
}

// Two ticks a bit and one to bring SCK down after each byte, and the waits the adapter makes.
std::size_t BitBangWire::CostOf(const Instruction& instruction) const {
    const auto wait = [this](std::uint32_t us) {
        return static_cast<std::size_t>(std::min<std::int64_t>(TicksFor(us), kMaxWaitTicks));
    };
    const std::size_t bytes = instruction.length;
    return 17 * bytes + (bytes > 0 ? (bytes - 1) * wait(instruction.gapUs) : 0) +
           wait(instruction.afterUs);
}

SocketBytes BitBangWire::DecodeByte(std::size_t answer, std::span<const std::uint8_t> answers,
                                    unsigned sockets) const {
    SocketBytes bytes{};
    for (unsigned socket = 0; socket < sockets && socket < kMaxFtdiSockets; ++socket) {
        for (int i = 0; i < 8; ++i) {
            if (TargetLevel(m_pins.miso[socket], answers[answer + 2 * i + 1])) {
                bytes[socket] = static_cast<std::uint8_t>(bytes[socket] | (0x80 >> i));
            }
        }
    }
    return bytes;
}

bool BitBangWire::DecodeInput(IspLine line, std::size_t answer,
                              std::span<const std::uint8_t> answers) const {
    const FtdiPin& pin = m_pins.Line(line);
    return pin.used && TargetLevel(pin, answers[answer]);
}

bool BitBangWire::DecodeMisoBit(std::size_t answer, int bit,
                                std::span<const std::uint8_t> answers) const {
    return TargetLevel(m_pins.miso[0], answers[answer + 2 * (7 - bit) + 1]);
}

}  // namespace velmo
