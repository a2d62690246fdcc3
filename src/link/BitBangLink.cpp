#include "link/BitBangLink.h"

#include <algorithm>

#include "port/Pins.h"

namespace velmo {

BitBangLink::BitBangLink(PortIo& port, Clock& clock, unsigned sockets)
    : m_port(port), m_clock(clock), m_sockets(std::clamp(sockets, 1u, kMaxRegisterSockets)) {}

bool BitBangLink::RunSequence(std::span<const LineStep> steps) {
    bool answered = true;
    for (const LineStep& step : steps) {
        if (CableOf(step.line).output) {
            SetLine(m_port, step.line, step.level ? 1 : 0);
        } else if ((GetLine(m_port, step.line) == 1) != step.level) {
            answered = false;
        }
        if (step.afterUs > 0) m_clock.Delay(step.afterUs);
    }
    return answered;
}

void BitBangLink::BitCycle(bool bit, std::uint32_t halfPeriodUs, SpiMode mode) {
    if (mode == SpiMode::Mode1) {
        RisingHalf(bit, halfPeriodUs);
        SetLine(m_port, IspLine::Sck, 0);
        m_clock.Delay(halfPeriodUs);
        return;
    }
    SetLine(m_port, IspLine::Mosi, bit ? 1 : 0);
    m_clock.Delay(halfPeriodUs);
    SetLine(m_port, IspLine::Sck, 1);
    m_clock.Delay(halfPeriodUs);
    SetLine(m_port, IspLine::Sck, 0);
}

// Mode 1: the chip takes MOSI on the falling edge and changes MISO after the rising one, so
// MOSI changes while SCK is high.
void BitBangLink::RisingHalf(bool bit, std::uint32_t halfPeriodUs) {
    SetLine(m_port, IspLine::Sck, 1);
    SetLine(m_port, IspLine::Mosi, bit ? 1 : 0);
    m_clock.Delay(halfPeriodUs);
}

// One status read serves every socket.
void BitBangLink::SampleMiso(int bit, SocketBytes& answer) {
    const std::uint16_t status = static_cast<std::uint16_t>(
        m_port.BaseAddress() + static_cast<unsigned>(PortRegister::Status));
    const std::uint8_t value = m_port.ReadPort(status);
    for (unsigned socket = 0; socket < m_sockets; ++socket) {
        if (SocketMisoPin(socket).LevelIn(value)) {
            answer[socket] = static_cast<std::uint8_t>(answer[socket] | (1u << bit));
        }
    }
}

// Mode 0: MISO is read before each rising edge, since the target changes it after the falling
// edge. Mode 1: it is read at the end of the high half, before the falling edge.
SocketBytes BitBangLink::ShiftIn(std::uint8_t sent, std::uint32_t halfPeriodUs, SpiMode mode) {
    SocketBytes answer{};
    for (int bit = 7; bit >= 0; --bit) {
        const bool out = ((sent >> bit) & 1) != 0;
        if (mode == SpiMode::Mode1) {
            RisingHalf(out, halfPeriodUs);
            SampleMiso(bit, answer);
            SetLine(m_port, IspLine::Sck, 0);
            m_clock.Delay(halfPeriodUs);
        } else {
            SampleMiso(bit, answer);
            BitCycle(out, halfPeriodUs, mode);
        }
    }
    return answer;
}

void BitBangLink::Transfer(std::span<const Instruction> batch, std::vector<SocketBytes>& answers) {
    for (const Instruction& instruction : batch) answers.push_back(Send(instruction));
}

SocketBytes BitBangLink::Send(const Instruction& instruction) {
    SetLine(m_port, IspLine::Sck, 0);
    SocketBytes answer{};
    for (std::size_t i = 0; i < instruction.length; ++i) {
        const std::uint8_t byte = instruction.bytes[i];
        if (i + 1 == instruction.length && instruction.readsLast) {
            answer = ShiftIn(byte, instruction.halfPeriodUs, instruction.mode);
        } else {
            for (int bit = 7; bit >= 0; --bit) {
                BitCycle(((byte >> bit) & 1) != 0, instruction.halfPeriodUs, instruction.mode);
            }
        }
        if (i + 1 < instruction.length && instruction.gapUs > 0) {
            m_clock.Delay(instruction.gapUs);
        }
    }
    if (instruction.afterUs > 0) m_clock.Delay(instruction.afterUs);
    return answer;
}

}  // namespace velmo
