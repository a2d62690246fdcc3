#pragma once

#include <cstdint>
#include <span>

#include "image/FlashImage.h"

namespace velmo {

// The chip's state as a test looks at it (the simulator decodes the lines into it).
class SimChip {
  public:
    virtual ~SimChip() = default;
    virtual const FlashImage& Flash() const = 0;
    virtual void SetFlash(const FlashImage& flash) = 0;
    // The data EEPROM, empty on a chip without one.
    virtual std::span<const std::uint8_t> Eeprom() const = 0;
    virtual void SetEeprom(std::span<const std::uint8_t> bytes) = 0;
    // "AT89S53", the chip the simulator stands for.
    virtual const char* ModelName() const = 0;
    // Lock bits 1..3 as programmed (true = programmed).
    virtual bool LockBit(int number) const = 0;
    // Instructions decoded so far (a page instruction counts once), for tests of the wire
    // format.
    virtual std::uint64_t InstructionCount() const = 0;
    // Bits that arrived with too short an SCK half-period for the crystal.
    virtual std::uint64_t ClockViolations() const = 0;
    // A Programming Enable was accepted since RST last went high.
    virtual bool ProgrammingEnabled() const = 0;
    // Reads of a cell whose write was still running, answered with bit 7 inverted.
    virtual std::uint64_t BusyReads() const = 0;
};

}  // namespace velmo
