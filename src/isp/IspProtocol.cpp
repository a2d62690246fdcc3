#include "isp/IspProtocol.h"

#include "port/Pins.h"

namespace velmo {

namespace {

// Only A0..A13 exist on the chip; higher address bits are dropped, so 0x4000 | a and a
// reach the same cell.
constexpr std::uint32_t kAddressMask = 0x3FFF;

// Bits 3..7 carry A8..A12, bit 2 carries A13; bits 1..0 select read (01) or write (10).
std::uint8_t HighAddressBits(std::uint32_t address) {
    const std::uint32_t high = (address & kAddressMask) >> 8;
    return static_cast<std::uint8_t>(((high & 0x1F) << 3) | (((high >> 5) & 1) << 2));
}

std::uint8_t LowAddressByte(std::uint32_t address) {
    return static_cast<std::uint8_t>(address & 0xFF);
}

constexpr std::uint32_t kBetweenBytesUs = 100;
constexpr std::uint32_t kEraseSettleUs = 100000;
constexpr std::uint32_t kWriteWaitUs = 1000;
constexpr std::uint32_t kPollWaitUs = 1000;
// Read-backs after the first one; with it they make kMaxReadBacks.
constexpr int kMaxPolls = 200;

}  // namespace

IspProtocol::IspProtocol(PortIo& port, Clock& clock, ProgrammerMode mode, std::uint32_t bitDelay)
    : m_port(port), m_clock(clock), m_mode(mode), m_bitDelay(bitDelay) {}

// Any mode other than Raw gets the Board sequences: they are the ones that check the
// target's answer, so an unexpected value cannot make a missing board look fine.
bool IspProtocol::StartSequence() {
    SetLine(m_port, IspLine::Enable, 1);
    if (m_mode == ProgrammerMode::Raw) {
        SetLine(m_port, IspLine::Rst, 0);
        m_clock.Delay(1000);
        SetLine(m_port, IspLine::Rst, 1);
        m_clock.Delay(1000);
        SetLine(m_port, IspLine::Rst, 0);
        m_clock.Delay(1000);
        SetLine(m_port, IspLine::Rst, 1);
        m_clock.Delay(100000);
        return true;
    }
    SetLine(m_port, IspLine::Rst, 0);
    m_clock.Delay(1000);
    SetLine(m_port, IspLine::Rst, 1);
    m_clock.Delay(300000);
    SetLine(m_port, IspLine::Rst, 0);
    m_clock.Delay(100);
    SetLine(m_port, IspLine::Rst, 1);
    m_clock.Delay(300000);
    return GetLine(m_port, IspLine::Ready) == 1;
}

void IspProtocol::EndSequence() {
    if (m_mode == ProgrammerMode::Raw) {
        SetLine(m_port, IspLine::Rst, 0);
        return;
    }
    SetLine(m_port, IspLine::Enable, 0);
    SetLine(m_port, IspLine::Rst, 0);
    m_clock.Delay(1000);
}

void IspProtocol::BitCycle(int bit, std::uint32_t halfPeriod) {
    SetLine(m_port, IspLine::Mosi, bit ? 1 : 0);
    m_clock.Delay(halfPeriod);
    SetLine(m_port, IspLine::Sck, 1);
    m_clock.Delay(halfPeriod);
    SetLine(m_port, IspLine::Sck, 0);
}

void IspProtocol::ShiftOutByte(std::uint8_t value, std::uint32_t halfPeriod) {
    for (int bit = 7; bit >= 0; --bit) {
        BitCycle((value >> bit) & 1, halfPeriod);
    }
}

// MISO is read before each rising edge: the target changes it after the falling edge.
std::uint8_t IspProtocol::ShiftInByte(std::uint32_t halfPeriod) {
    std::uint8_t result = 0;
    for (int bit = 7; bit >= 0; --bit) {
        if (GetLine(m_port, IspLine::Miso) == 1) {
            result = static_cast<std::uint8_t>(result | (1u << bit));
        }
        BitCycle(0, halfPeriod);
    }
    return result;
}

void IspProtocol::ProgrammingEnable() {
    SetLine(m_port, IspLine::Sck, 0);
    ShiftOutByte(0xAC, kFixedHalfPeriod);
    m_clock.Delay(kBetweenBytesUs);
    ShiftOutByte(0x53, kFixedHalfPeriod);
    m_clock.Delay(kBetweenBytesUs);
    ShiftOutByte(0x55, kFixedHalfPeriod);
}

void IspProtocol::ChipErase() {
    SetLine(m_port, IspLine::Sck, 0);
    ShiftOutByte(0xAC, kFixedHalfPeriod);
    m_clock.Delay(kBetweenBytesUs);
    ShiftOutByte(0x04, kFixedHalfPeriod);
    m_clock.Delay(kBetweenBytesUs);
    ShiftOutByte(0x00, kFixedHalfPeriod);
    m_clock.Delay(kEraseSettleUs);
}

std::uint8_t IspProtocol::ReadCodeByte(std::uint32_t address) {
    SetLine(m_port, IspLine::Sck, 0);
    ShiftOutByte(ReadInstruction(address), m_bitDelay);
    ShiftOutByte(LowAddressByte(address), m_bitDelay);
    return ShiftInByte(m_bitDelay);
}

int IspProtocol::WriteCodeByte(std::uint32_t address, std::uint8_t data) {
    return WriteAndCheck(address, data).confirmed ? 1 : 0;
}

void IspProtocol::SendWrite(std::uint32_t address, std::uint8_t data) {
    SetLine(m_port, IspLine::Sck, 0);
    ShiftOutByte(WriteInstruction(address), m_bitDelay);
    ShiftOutByte(LowAddressByte(address), m_bitDelay);
    ShiftOutByte(data, m_bitDelay);
}

WriteCheck IspProtocol::WriteAndPoll(std::uint32_t address, std::uint8_t data, std::int64_t limitNs,
                                     const std::function<bool()>& stop) {
    SendWrite(address, data);
    const std::int64_t startNs = m_clock.NowNs();
    WriteCheck check;
    for (;;) {
        check.lastRead = ReadCodeByte(address);
        ++check.reads;
        if (check.lastRead == data) {
            check.confirmed = true;
            return check;
        }
        // Bounded by time, not by a count of reads: a slower bit clock reads less often but
        // gives the chip the same time.
        if (m_clock.NowNs() - startNs > limitNs) return check;
        if (stop && stop()) {
            check.stopped = true;
            return check;
        }
    }
}

WriteCheck IspProtocol::WriteAndCheck(std::uint32_t address, std::uint8_t data) {
    SendWrite(address, data);
    m_clock.Delay(kWriteWaitUs);
    WriteCheck check;
    check.lastRead = ReadCodeByte(address);
    check.reads = 1;
    if (check.lastRead == data) {
        check.confirmed = true;
        return check;
    }
    // The chip answers a cell still being written with bit 7 inverted, so a slow write
    // shows up as a mismatch here and is polled until it finishes or the limit is reached.
    for (int poll = 1;; ++poll) {
        check.lastRead = ReadCodeByte(address);
        ++check.reads;
        if (m_pump) {
            m_pump();
        }
        if (check.lastRead == data) {
            check.confirmed = true;
            return check;
        }
        if (poll > kMaxPolls) {
            return check;
        }
        m_clock.Delay(kPollWaitUs);
    }
}

void IspProtocol::WriteLockBits(int lockBit1, int lockBit2, int lockBit3) {
    SetLine(m_port, IspLine::Sck, 0);
    ShiftOutByte(0xAC, kFixedHalfPeriod);
    m_clock.Delay(kBetweenBytesUs);
    ShiftOutByte(LockByte(lockBit1, lockBit2, lockBit3), kFixedHalfPeriod);
    m_clock.Delay(kBetweenBytesUs);
    ShiftOutByte(0x00, kFixedHalfPeriod);
}

std::uint8_t IspProtocol::ReadInstruction(std::uint32_t address) {
    return static_cast<std::uint8_t>(HighAddressBits(address) | 0x01);
}

std::uint8_t IspProtocol::WriteInstruction(std::uint32_t address) {
    return static_cast<std::uint8_t>(HighAddressBits(address) | 0x02);
}

// A lock bit is programmed by a 0 in its position (bits 7, 6, 5); bits 4..0 stay 1.
std::uint8_t IspProtocol::LockByte(int lockBit1, int lockBit2, int lockBit3) {
    std::uint8_t value = 0xFF;
    if (lockBit1 == 1) {
        value = 0x7F;
    }
    if (lockBit2 == 1) {
        value &= 0xBF;
    }
    if (lockBit3 == 1) {
        value &= 0xDF;
    }
    return value;
}

}  // namespace velmo
