// Prints how long whole-chip Program, Read and Verify take on the real clock against the
// simulated chip, next to the sum of the delays the protocol itself prescribes for them,
// and how long an operation takes to end after an Abort arrives.
//
//   bench_operations [board|raw] [bit delays...]     default: board 2 20
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <string>
#include <vector>

#include "isp/Clock.h"
#include "isp/Host.h"
#include "isp/Programmer.h"
#include "sim/SimChip.h"
#include "sim/SimPort.h"

using namespace velmo;

namespace {

// The window, reduced to what a measurement needs: the last status text, and one action
// that runs from inside the pump once its time has come (an Abort waiting in the queue).
class BenchHost : public Host {
  public:
    explicit BenchHost(Clock& clock) : m_clock(clock) {}
    void SetStatusText(const std::string& text) override { status = text; }
    void ShowMessage(const std::string& text) override { lastBox = text; }
    void SetProgressRange(int, int) override {}
    void SetProgressPos(int) override {}
    void EnterBusyMenuState() override {}
    void EnterReadMenuState() override {}
    void RestoreIdleMenuState() override {}
    void RestoreIdleMenuStateAfterRead() override {}
    void PumpMessages() override {
        if (pending && m_clock.NowNs() >= pendingAtNs) {
            auto action = std::move(pending);
            pending = nullptr;
            action();
        }
    }
    void ControlsToMembers() override {}
    void MembersToControls() override {}
    void SetFileTip(const std::string&) override {}
    void Repaint() override {}
    void PostQuit(int) override {}

    std::string status;
    std::string lastBox;
    std::function<void()> pending;
    std::int64_t pendingAtNs = 0;

  private:
    Clock& m_clock;
};

// The delays the protocol asks for, in microseconds.
struct Prescribed {
    ProgrammerMode mode;
    double d;  // bit delay

    static constexpr double kFixedHalf = IspProtocol::kFixedHalfPeriod;
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
          host(*clock),
          programmer(port, *clock, host) {
        programmer.SelectMode(mode);
        programmer.m_bitDelay = bitDelay;
        programmer.StartDriver();
        programmer.m_image = Pattern();
        programmer.m_noFileLoaded = 0;
    }
    std::unique_ptr<Clock> clock;
    SimPort port;
    BenchHost host;
    Programmer programmer;
};

using Operation = void (Programmer::*)();

double TimeUs(Rig& rig, Operation operation) {
    const std::int64_t start = rig.clock->NowNs();
    (rig.programmer.*operation)();
    return static_cast<double>(rig.clock->NowNs() - start) / 1000.0;
}

void Measure(ProgrammerMode mode, std::uint32_t bitDelay) {
    const Prescribed p{mode, static_cast<double>(bitDelay)};
    Rig rig(mode, bitDelay);
    std::printf("\nbit delay %u us\n", bitDelay);
    std::printf("  %-8s %12s %14s %10s %8s  %s\n", "", "measured s", "prescribed s", "deviation",
                "target", "outcome");
    const struct {
        const char* name;
        Operation operation;
        double prescribedUs;
        double targetPercent;
        const char* success;
    } rows[] = {
        {"Program", &Programmer::OnProgram, p.Program(), 2.0, "Datei erfolgreich programmiert!"},
        {"Verify", &Programmer::OnVerify, p.Read(), 5.0, "Verifizierung beendet!"},
        {"Read", &Programmer::OnRead, p.Read(), 5.0, "Speicherinhalt ausgelesen!"},
    };
    for (const auto& row : rows) {
        const double us = TimeUs(rig, row.operation);
        const double deviation = (us - row.prescribedUs) / row.prescribedUs * 100.0;
        const bool ok = rig.host.status == row.success;
        std::printf("  %-8s %12.3f %14.3f %+9.2f%% %7.0f%%  %s%s\n", row.name, us / 1e6,
                    row.prescribedUs / 1e6, deviation, row.targetPercent,
                    ok ? "ok" : rig.host.status.c_str(),
                    std::abs(deviation) <= row.targetPercent ? "" : "  (outside target)");
    }
    if (rig.port.Chip().Flash() != rig.programmer.m_image) std::printf("  chip content WRONG\n");
    if (rig.port.Chip().ClockViolations() != 0) std::printf("  SCK too fast for the crystal\n");

    // An Abort that arrives at a given moment waits in the queue until the next pump, then
    // runs (with the mode's end sequence); the latency is from its arrival to the
    // operation's return.
    std::printf(
        "  abort, from its arrival to the operation's end (one byte: write %.3f ms, "
        "read %.3f ms; the end sequence itself waits %.3f ms)\n",
        p.WriteByte() / 1000.0, p.ReadByte() / 1000.0, p.End() / 1000.0);
    const struct {
        const char* name;
        Operation operation;
        bool program;
        double byteUs;
    } aborts[] = {
        {"Program", &Programmer::OnProgram, true, p.WriteByte()},
        {"Verify", &Programmer::OnVerify, false, p.ReadByte()},
        {"Read", &Programmer::OnRead, false, p.ReadByte()},
    };
    constexpr int kArrivals = 5;
    for (const auto& a : aborts) {
        double worstEnd = 0;
        double worstReaction = 0;
        double sumEnd = 0;
        for (int i = 0; i < kArrivals; ++i) {
            // Somewhere inside a byte, a few hundred bytes into the loop.
            const double intoLoopUs = (200.0 + 37.0 * i + 0.2 * i) * a.byteUs;
            const std::int64_t start = rig.clock->NowNs();
            const std::int64_t arrival =
                start + static_cast<std::int64_t>((p.BeforeLoop(a.program) + intoLoopUs) * 1000);
            std::int64_t handled = 0;
            rig.host.pendingAtNs = arrival;
            rig.host.pending = [&] {
                handled = rig.clock->NowNs();
                rig.programmer.OnAbort();
            };
            (rig.programmer.*a.operation)();
            const std::int64_t end = rig.clock->NowNs();
            if (rig.host.status != "Aktion abgebrochen" || handled == 0) {
                std::printf("  %s: not aborted (%s)\n", a.name, rig.host.status.c_str());
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
            "  %-8s to its end: worst %7.3f ms, mean %7.3f ms; waiting for the pump: "
            "worst %7.3f ms; beyond the end sequence: %7.3f ms, %s one byte\n",
            a.name, worstEnd / 1000.0, sumEnd / kArrivals / 1000.0, worstReaction / 1000.0,
            beyondEndSequence / 1000.0, beyondEndSequence <= a.byteUs ? "within" : "MORE than");
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
