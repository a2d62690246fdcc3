#pragma once

#include <cstdint>

#include "isp/Instruction.h"

// The AT89S53's serial programming instructions, byte for byte.
namespace velmo::at89s53 {

// Programming Enable, Chip Erase and Write Lock Bits run at this half-period, whatever the
// crystal, with this wait between their bytes.
inline constexpr std::uint32_t kFixedHalfPeriodUs = 100;
inline constexpr std::uint32_t kBetweenBytesUs = 100;
// Chip Erase is followed by this wait before anything else is sent.
inline constexpr std::uint32_t kEraseSettleUs = 100000;

Instruction ProgrammingEnable();
Instruction ChipErase();
Instruction ReadCode(std::uint32_t address, std::uint32_t halfPeriodUs);
Instruction WriteCode(std::uint32_t address, std::uint8_t data, std::uint32_t halfPeriodUs);
// A flag counts as set only when it equals 1.
Instruction WriteLockBits(int lockBit1, int lockBit2, int lockBit3);

// The first byte of a flash read or write; only A0..A13 count.
std::uint8_t ReadOpcode(std::uint32_t address);
std::uint8_t WriteOpcode(std::uint32_t address);
std::uint8_t LockByte(int lockBit1, int lockBit2, int lockBit3);

}  // namespace velmo::at89s53
