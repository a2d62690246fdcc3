// Prints how long whole-chip Program, Read and Verify take on the real clock against the
// simulated chip, next to the sum of the delays the protocol itself prescribes for them,
// and how long an operation takes to end after an Abort arrives.
//
//   bench_operations [board|raw] [bit delays...]     default: board 2 20
#include <time.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "isp/At89s53.h"
#include "link/BitBangLink.h"
#include "ops/Programmer.h"
#include "sim/SimChip.h"
#include "sim/SimPort.h"
#include "timing/Clock.h"

using namespace velmo;

namespace {

// The window, reduced to what a measurement needs: the last status, and one action that runs
// from inside the pump once its time has come (an Abort waiting in the queue).
class BenchObserver : public OperationObserver {
  public:
    explicit BenchObserver(Clock& clock) : m_clock(clock) {}
    void Status(ProgrammerStatus s) override { status = s; }
    void Pump() override {
        if (pending && m_clock.NowNs() >= pendingAtNs) {
            auto action = std::move(pending);
            pending = nullptr;
            action();
        }
    }

    std::optional<ProgrammerStatus> status;
    std::function<void()> pending;
    std::int64_t pendingAtNs = 0;

  private:
    Clock& m_clock;
};

const char* StatusName(const std::optional<ProgrammerStatus>& status) {
    if (!status) return "none";
    switch (*status) {
        case ProgrammerStatus::Programmed:
            return "programmed";
        case ProgrammerStatus::Verified:
            return "verified";
        case ProgrammerStatus::ReadDone:
            return "read";
        case ProgrammerStatus::Aborted:
            return "aborted";
        default:
            return "failed";
    }
}

// The delays the protocol asks for, in microseconds.
struct Prescribed {
    ProgrammerMode mode;
    double d;  // bit delay

    static constexpr double kFixedHalf = at89s53::kFixedHalfPeriodUs;
    static constexpr double kBytes = 12288;

    double Start() const {
        return mode == ProgrammerMode::Board ? 1000 + 300000 + 100 + 300000
                                             : 1000 + 1000 + 1000 + 100000;
    }
    double End() const { return mode == ProgrammerMode::Board ? 1000 : 0; }
    // Eight bit cycles of two half-periods each.
    static double Shift(double half) { return 8 * 2 * half; }
    // Three bytes with 100 us after the first and the second.
    static double FixedInstruction() { return 3 * Shift(kFixedHalf) + 2 * 100; }
    double ChipErase() const { return FixedInstruction() + 100000; }
    double ReadByte() const { return 3 * Shift(d); }
    // The write, its 1 ms wait and the read-back that finds the byte at once.
    double WriteByte() const { return 3 * Shift(d) + 1000 + ReadByte(); }
    double Erase() const { return Start() + FixedInstruction() + 500 + ChipErase() + End(); }
    double Program() const {
        return Erase() + 500000 + Start() + FixedInstruction() + 10000 + kBytes * WriteByte() +
               End();
    }
    double Read() const {
        return Start() + FixedInstruction() + 10000 + kBytes * ReadByte() + End();
    }
    // Time from the operation's start to its first byte.
    double BeforeLoop(bool program) const {
        const double own = Start() + FixedInstruction() + 10000;
        return program ? Erase() + 500000 + own : own;
    }
};

FlashImage Pattern() {
    FlashImage image;
    std::uint32_t state = 1;
    for (auto& byte : image) {
        state = state * 1103515245u + 12345u;
        byte = static_cast<std::uint8_t>(state >> 16);
    }
    return image;
}

struct Rig {
    Rig(ProgrammerMode mode, std::uint32_t bitDelay)
        : clock(MakeRealClock()),
          port(*clock, SimOptions{}),
          link(port, *clock),
          observer(*clock),
          programmer(link, *clock, observer) {
        programmer.SelectMode(mode);
        // The bit delay the clock rate gives, as the window derives it.
        programmer.SetClockRate(40.0 / (bitDelay - 0.5));
        programmer.StartDriver();
        programmer.m_image = Pattern();
        programmer.m_noFileLoaded = 0;
    }
    std::unique_ptr<Clock> clock;
    SimPort port;
    BitBangLink link;
    BenchObserver observer;
    Programmer programmer;
};

using Operation = std::function<void(Programmer&)>;

struct Timing {
    double wallUs;
    double cpuUs;  // the process's own processor time: less than wallUs when it was preempted
};

double CpuNowUs() {
    timespec now{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
    return static_cast<double>(now.tv_sec) * 1e6 + static_cast<double>(now.tv_nsec) / 1e3;
}

Timing Time(Rig& rig, Operation operation) {
    const double cpuStart = CpuNowUs();
    const std::int64_t start = rig.clock->NowNs();
    operation(rig.programmer);
    const double wallUs = static_cast<double>(rig.clock->NowNs() - start) / 1000.0;
    return {wallUs, CpuNowUs() - cpuStart};
}

// How much longer than asked the clock's own busy-wait runs on this machine right now, over
// half a second of Delay(us): the floor under every figure below (a preempted wait ends late).
double DelayOvershootPercent(Clock& clock, std::uint32_t us) {
    const std::uint32_t calls = 500000 / us;
    const std::int64_t start = clock.NowNs();
    for (std::uint32_t i = 0; i < calls; ++i) clock.Delay(us);
    const double took = static_cast<double>(clock.NowNs() - start) / 1000.0;
    const double asked = static_cast<double>(calls) * us;
    return (took - asked) / asked * 100.0;
}

void Measure(ProgrammerMode mode, std::uint32_t bitDelay) {
    const Prescribed p{mode, static_cast<double>(bitDelay)};
    Rig rig(mode, bitDelay);
    std::printf("\nbit delay %u us (Delay(%u) alone runs %+.2f%% long here)\n", bitDelay, bitDelay,
                DelayOvershootPercent(*rig.clock, bitDelay));
    std::printf("  %-8s %11s %13s %10s %7s %10s %9s  %s\n", "", "measured s", "prescribed s",
                "deviation", "target", "byte ms", "on CPU", "outcome");
    struct Row {
        const char* name;
        Operation operation;
        double prescribedUs;
        double prescribedByteUs;
        double targetPercent;
        ProgrammerStatus success;
        double measuredByteUs;
    };
    Row rows[] = {
        {"Program", [](Programmer& pr) { pr.Program(); }, p.Program(), p.WriteByte(), 2.0,
         ProgrammerStatus::Programmed, 0},
        {"Verify", [](Programmer& pr) { pr.Verify(); }, p.Read(), p.ReadByte(), 5.0,
         ProgrammerStatus::Verified, 0},
        {"Read", [](Programmer& pr) { pr.Read(); }, p.Read(), p.ReadByte(), 5.0,
         ProgrammerStatus::ReadDone, 0},
    };
    for (auto& row : rows) {
        const Timing t = Time(rig, row.operation);
        const double deviation = (t.wallUs - row.prescribedUs) / row.prescribedUs * 100.0;
        // What the loop's bytes took, beyond the fixed part of the operation.
        const double fixedUs = row.prescribedUs - Prescribed::kBytes * row.prescribedByteUs;
        row.measuredByteUs = (t.wallUs - fixedUs) / Prescribed::kBytes;
        const bool ok = rig.observer.status == row.success;
        std::printf("  %-8s %11.3f %13.3f %+9.2f%% %6.0f%% %10.4f %8.1f%%  %s%s\n", row.name,
                    t.wallUs / 1e6, row.prescribedUs / 1e6, deviation, row.targetPercent,
                    row.measuredByteUs / 1000.0, t.cpuUs / t.wallUs * 100.0,
                    ok ? "ok" : StatusName(rig.observer.status),
                    std::abs(deviation) <= row.targetPercent ? "" : "  (outside target)");
    }
    if (rig.port.Chip().Flash() != rig.programmer.m_image) std::printf("  chip content WRONG\n");
    if (rig.port.Chip().ClockViolations() != 0) std::printf("  SCK too fast for the crystal\n");

    // An Abort that arrives at some moment inside a byte waits in the queue until the next
    // pump, then runs with the mode's end sequence; measured from its arrival to the
    // operation's return, and compared with one byte as the run above took it.
    std::printf(
        "  abort, from its arrival to the operation's end (the end sequence itself "
        "waits %.3f ms)\n",
        p.End() / 1000.0);
    constexpr int kArrivals = 7;
    for (const auto& row : rows) {
        double worstEnd = 0;
        double worstReaction = 0;
        double sumEnd = 0;
        const bool program = std::string(row.name) == "Program";
        for (int i = 0; i < kArrivals; ++i) {
            // A few hundred bytes into the loop, at a different point of a byte each time.
            const double intoLoopUs =
                (200.0 + 37.0 * i + i / double{kArrivals}) * row.measuredByteUs;
            const std::int64_t start = rig.clock->NowNs();
            const std::int64_t arrival =
                start + static_cast<std::int64_t>((p.BeforeLoop(program) + intoLoopUs) * 1000);
            std::int64_t handled = 0;
            rig.observer.pendingAtNs = arrival;
            rig.observer.pending = [&] {
                handled = rig.clock->NowNs();
                rig.programmer.Abort();
            };
            row.operation(rig.programmer);
            const std::int64_t end = rig.clock->NowNs();
            rig.observer.pending = nullptr;
            if (rig.observer.status != ProgrammerStatus::Aborted || handled == 0) {
                std::printf("  %s: not aborted (%s)\n", row.name, StatusName(rig.observer.status));
                continue;
            }
            const double total = static_cast<double>(end - arrival) / 1000.0;
            worstEnd = std::max(worstEnd, total);
            worstReaction =
                std::max(worstReaction, static_cast<double>(handled - arrival) / 1000.0);
            sumEnd += total;
        }
        const double beyondEndSequence = worstEnd - p.End();
        std::printf(
            "  %-8s worst %7.3f ms, mean %7.3f ms (until the pump %7.3f ms); without "
            "the end sequence %7.3f ms: %s one byte (%.3f ms)\n",
            row.name, worstEnd / 1000.0, sumEnd / kArrivals / 1000.0, worstReaction / 1000.0,
            beyondEndSequence / 1000.0,
            beyondEndSequence <= row.measuredByteUs ? "within" : "MORE than",
            row.measuredByteUs / 1000.0);
    }
}

}  // namespace

int main(int argc, char** argv) {
    ProgrammerMode mode = ProgrammerMode::Board;
    std::vector<std::uint32_t> delays;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "raw") {
            mode = ProgrammerMode::Raw;
        } else if (arg == "board") {
            mode = ProgrammerMode::Board;
        } else {
            delays.push_back(static_cast<std::uint32_t>(std::strtoul(arg.c_str(), nullptr, 10)));
        }
    }
    if (delays.empty()) delays = {2, 20};
    std::printf("Whole-chip operations on the simulated AT89S53, real clock, %s mode\n",
                mode == ProgrammerMode::Board ? "Board" : "Raw");
    for (const auto delay : delays) Measure(mode, delay);
    return 0;
}
