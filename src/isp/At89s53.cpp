#include "isp/At89s53.h"

namespace velmo::at89s53 {

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

Instruction Fixed(std::uint8_t first, std::uint8_t second, std::uint8_t third,
                  std::uint32_t afterUs = 0) {
    Instruction instruction;
    instruction.bytes = {first, second, third, 0};
    instruction.halfPeriodUs = kFixedHalfPeriodUs;
    instruction.gapUs = kBetweenBytesUs;
    instruction.afterUs = afterUs;
    return instruction;
}

}  // namespace

Instruction ProgrammingEnable() {
    return Fixed(0xAC, 0x53, 0x55);
}

Instruction ChipErase() {
    return Fixed(0xAC, 0x04, 0x00, kEraseSettleUs);
}

Instruction ReadCode(std::uint32_t address, std::uint32_t halfPeriodUs) {
    Instruction instruction;
    instruction.bytes = {ReadOpcode(address), LowAddressByte(address), 0x00, 0};
    instruction.readsLast = true;
    instruction.halfPeriodUs = halfPeriodUs;
    return instruction;
}

Instruction WriteCode(std::uint32_t address, std::uint8_t data, std::uint32_t halfPeriodUs) {
    Instruction instruction;
    instruction.bytes = {WriteOpcode(address), LowAddressByte(address), data, 0};
    instruction.halfPeriodUs = halfPeriodUs;
    return instruction;
}

Instruction WriteLockBits(int lockBit1, int lockBit2, int lockBit3) {
    return Fixed(0xAC, LockByte(lockBit1, lockBit2, lockBit3), 0x00);
}

std::uint8_t ReadOpcode(std::uint32_t address) {
    return static_cast<std::uint8_t>(HighAddressBits(address) | 0x01);
}

std::uint8_t WriteOpcode(std::uint32_t address) {
    return static_cast<std::uint8_t>(HighAddressBits(address) | 0x02);
}

// A lock bit is programmed by a 0 in its position (bits 7, 6, 5); bits 4..0 stay 1.
std::uint8_t LockByte(int lockBit1, int lockBit2, int lockBit3) {
    std::uint8_t value = 0xFF;
    if (lockBit1 == 1) value = 0x7F;
    if (lockBit2 == 1) value &= 0xBF;
    if (lockBit3 == 1) value &= 0xDF;
    return value;
}

}  // namespace velmo::at89s53
