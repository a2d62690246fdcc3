#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "isp/Instruction.h"
#include "link/IspLink.h"
#include "link/ftdi/FtdiConfig.h"

namespace velmo {

// What one USB transfer to the adapter carries, built up piece by piece: the bytes that go out,
// how many answer bytes come back, and where each answer sits. Levels here are the target's
// (RST high: the chip is in programming mode); the wire turns them into pin levels through
// the inversions of its pins. SCK rests low at the target and MOSI keeps the last bit sent.
class FtdiWire {
  public:
    // One change of the lines, for the trace: when within the transfer it happens (from the
    // first byte executed on) and what it is.
    struct Event {
        enum class Kind : std::uint8_t { Outputs, Miso, Ready };
        Kind kind = Kind::Outputs;
        std::int64_t atNs = 0;
        std::uint8_t outputs = 0;  // Outputs: the target levels, bit = IspLine
        std::size_t answer = 0;    // Miso, Ready: the answer that carries the sample
        std::uint8_t bit = 0;      // Miso: which bit of that byte, from 7 down
    };

    explicit FtdiWire(const FtdiPins& pins) : m_pins(pins) {}
    virtual ~FtdiWire() = default;

    // The bytes that bring the adapter from its start into use, lines at rest.
    virtual void Begin() = 0;
    // Whether Begin's answers show the adapter doing what it was told.
    virtual bool BeginAnswered(std::span<const std::uint8_t> answers) const = 0;
    // A new rate the adapter needs for this half-period, set between two transfers (bit-bang);
    // nullopt where the transfer itself carries it (the MPSSE's divisor).
    virtual std::optional<int> RateFor(std::uint32_t halfPeriodUs) const = 0;
    virtual void UseRate(int rate) = 0;
    // The output line to level, now.
    virtual void SetLevel(IspLine line, bool level) = 0;
    // Reads the inputs now; the answer that carries them.
    virtual std::size_t SampleInputs() = 0;
    // One byte, most significant bit first, each half of a bit at least halfPeriodUs; sample:
    // MISO is read at the edge where the chip's answer bit is stable. The first answer of it.
    virtual std::size_t ShiftByte(std::uint8_t value, std::uint32_t halfPeriodUs, SpiMode mode,
                                  bool sample) = 0;
    // Every pin an input, where the transfer can do that (the MPSSE); bit-bang sets its
    // directions with the mode.
    virtual void ReleasePins() {}
    // Waits by the adapter's own clock; false where the host has to wait instead.
    virtual bool Wait(std::uint32_t microseconds) = 0;
    // Completes the transfer: its answers are sent at once, and at least one comes back, so
    // that its arrival proves everything before it has happened.
    virtual void Close() = 0;
    // At most this many bytes out and back in one transfer: what the adapter holds unread.
    virtual std::size_t Budget() const = 0;
    // Out bytes an instruction costs at most, its rate and waits included.
    virtual std::size_t CostOf(const Instruction& instruction) const = 0;
    virtual SocketBytes DecodeByte(std::size_t answer, std::span<const std::uint8_t> answers,
                                   unsigned sockets) const = 0;
    virtual bool DecodeInput(IspLine line, std::size_t answer,
                             std::span<const std::uint8_t> answers) const = 0;
    // Socket 1's MISO at bit (7 down to 0) of the byte whose first answer is answer.
    virtual bool DecodeMisoBit(std::size_t answer, int bit,
                               std::span<const std::uint8_t> answers) const = 0;
    // The pins' bits in the direction mask, for the bit-bang mode's set-up.
    std::uint8_t OutputMask() const;

    void Clear() {
        m_out.clear();
        m_answers = 0;
        m_elapsedNs = 0;
        m_events.clear();
    }
    const std::vector<std::uint8_t>& Out() const { return m_out; }
    std::size_t Answers() const { return m_answers; }
    bool Empty() const { return m_out.empty(); }
    std::uint8_t Levels() const { return m_levels; }
    void RecordEvents(bool on) { m_recording = on; }
    const std::vector<Event>& Events() const { return m_events; }

  protected:
    static constexpr std::uint8_t Bit(IspLine line) {
        return static_cast<std::uint8_t>(1u << static_cast<unsigned>(line));
    }
    bool Level(IspLine line) const { return (m_levels & Bit(line)) != 0; }
    void SetLevelBit(IspLine line, bool level) {
        m_levels = static_cast<std::uint8_t>(level ? m_levels | Bit(line) : m_levels & ~Bit(line));
    }
    // The data pins with every output at its target level.
    std::uint8_t PinByte() const;
    // The level a pin shows for a target level, and back.
    static bool PinLevel(const FtdiPin& pin, bool level) { return level != pin.inverted; }
    static bool TargetLevel(const FtdiPin& pin, std::uint8_t pins) {
        return (((pins >> pin.bit) & 1) != 0) != pin.inverted;
    }
    void Note(Event::Kind kind, std::size_t answer = 0, std::uint8_t bit = 0);

    FtdiPins m_pins;
    std::vector<std::uint8_t> m_out;
    std::size_t m_answers = 0;
    std::uint8_t m_levels = 0;  // the outputs' target levels, bit = IspLine
    std::int64_t m_elapsedNs = 0;
    bool m_recording = false;
    std::vector<Event> m_events;
};

// The MPSSE of the H chips and the FT2232C/D: SCK, MOSI and MISO on ADBUS0 to 2 clocked by the
// engine at its divisor, the other lines set by command, one transfer of commands at a time.
class MpsseWire : public FtdiWire {
  public:
    MpsseWire(const FtdiPins& pins, FtdiChip chip);

    void Begin() override;
    bool BeginAnswered(std::span<const std::uint8_t> answers) const override;
    std::optional<int> RateFor(std::uint32_t) const override { return std::nullopt; }
    void UseRate(int) override {}
    void SetLevel(IspLine line, bool level) override;
    std::size_t SampleInputs() override;
    std::size_t ShiftByte(std::uint8_t value, std::uint32_t halfPeriodUs, SpiMode mode,
                          bool sample) override;
    void ReleasePins() override;
    bool Wait(std::uint32_t) override { return false; }
    void Close() override;
    std::size_t Budget() const override { return kBudget; }
    std::size_t CostOf(const Instruction& instruction) const override;
    SocketBytes DecodeByte(std::size_t answer, std::span<const std::uint8_t> answers,
                           unsigned sockets) const override;
    bool DecodeInput(IspLine line, std::size_t answer,
                     std::span<const std::uint8_t> answers) const override;
    bool DecodeMisoBit(std::size_t answer, int bit,
                       std::span<const std::uint8_t> answers) const override;

    // The FT232H holds 1 KiB each way; the larger buffers of its siblings are not relied on.
    static constexpr std::size_t kBudget = 1024;

  private:
    void SetClock(std::uint32_t halfPeriodUs);
    void SetPins();
    std::uint8_t Directions() const;

    FtdiChip m_chip;
    bool m_highSpeed;             // a 60 MHz engine that can leave its divide-by-5 off
    bool m_divideBy5 = true;      // as the engine starts
    std::uint32_t m_divisor = 0;  // 0: not set yet in this run
    std::uint32_t m_halfPeriodUs = 0;
    std::int64_t m_halfNs = 0;
    std::size_t m_lastWrite = SIZE_MAX;  // where the last write-only command starts in m_out
};

// Synchronous bit-bang of the FT232R and the FT-X chips: every byte sent is one clock tick
// that first samples the eight pins (one byte back) and then drives them; a bit is two ticks.
class BitBangWire : public FtdiWire {
  public:
    explicit BitBangWire(const FtdiPins& pins) : FtdiWire(pins) {}

    void Begin() override;
    bool BeginAnswered(std::span<const std::uint8_t> answers) const override;
    std::optional<int> RateFor(std::uint32_t halfPeriodUs) const override;
    void UseRate(int rate) override;
    void SetLevel(IspLine line, bool level) override;
    std::size_t SampleInputs() override;
    std::size_t ShiftByte(std::uint8_t value, std::uint32_t halfPeriodUs, SpiMode mode,
                          bool sample) override;
    bool Wait(std::uint32_t microseconds) override;
    void Close() override {}
    std::size_t Budget() const override { return kBudget; }
    std::size_t CostOf(const Instruction& instruction) const override;
    SocketBytes DecodeByte(std::size_t answer, std::span<const std::uint8_t> answers,
                           unsigned sockets) const override;
    bool DecodeInput(IspLine line, std::size_t answer,
                     std::span<const std::uint8_t> answers) const override;
    bool DecodeMisoBit(std::size_t answer, int bit,
                       std::span<const std::uint8_t> answers) const override;

    // 128 bytes of answers unread plus 256 waiting to be clocked: more in one write stalls it.
    static constexpr std::size_t kBudget = 384;
    // Longer waits than this many ticks are the host's.
    static constexpr std::uint32_t kMaxWaitTicks = 32;
    // The rate for a tick of at least halfPeriodUs: libftdi multiplies the rate by 4, and the
    // chip's tick is said to be 16 times the rate its divisor sets. Taking both makes the
    // tick come out at most as fast as asked, never faster.
    static constexpr int kTicksPerRate = 64;

  private:
    std::size_t Tick(std::uint8_t pins);
    std::int64_t TicksFor(std::uint32_t microseconds) const;

    int m_rate = 0;
    std::int64_t m_tickNs = 0;
};

}  // namespace velmo
