// What a whole chip costs on each chip of the family: velmo-cli's program (the chip found by
// auto, erase, write, read back every cell) of a random image as large as the chip's flash,
// and of its EEPROM where it has one, on the simulator's virtual clock, which runs exactly the
// waits and bit cycles the lines would see. The simulated chips take the longest write and
// erase times their data sheets give (the AT89S53 and AT89S8252: 500 us writes).
//
//   bench_chips [MHZ]        the crystal, 24 MHz unless given
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "Workload.h"
#include "link/BitBangLink.h"
#include "ops/ChipIdentity.h"
#include "ops/ChipJobs.h"
#include "sim/SimChip.h"
#include "sim/SimPort.h"
#include "timing/Clock.h"

namespace {

using namespace velmo;

// Virtual seconds spent in each step.
class StepTimes : public OperationObserver {
  public:
    explicit StepTimes(Clock& clock) : m_clock(clock) {}
    void StepBegins(Step, std::size_t) override { m_startNs = m_clock.NowNs(); }
    void StepEnds(Step step, const StepResult&) override {
        seconds[static_cast<std::size_t>(step)] +=
            static_cast<double>(m_clock.NowNs() - m_startNs) / 1e9;
    }
    double seconds[6] = {};

  private:
    Clock& m_clock;
    std::int64_t m_startNs = 0;
};

using bench::RandomImage;

bool Run(SimModelKind model, ChipMemory memory, double mhz) {
    VirtualClock clock;
    SimOptions options;
    std::string error;
    options = *ParseSimOptions(std::string("model=") + SimModelOf(model).key, &error);
    options.xtalMHz = mhz;
    SimPort sim(clock, options);
    BitBangLink link(sim, clock);
    StepTimes times(clock);
    // The AT89S8252 has no signature; it is named, as velmo-cli --chip at89s8252 does.
    const std::optional<ChipKind> named =
        model == SimModelKind::At89s8252 ? std::optional(ChipKind::At89s8252) : std::nullopt;
    const ChipDescription& first = ChipToOpenWith(named);
    ChipSession session(link, clock, times, ProgrammerMode::Raw, chip::BitDelay(first, mhz));
    session.SetChip(first);
    session.SetWriteCompletion(WriteCompletion::DataPolling);
    const std::int64_t start = clock.NowNs();
    bool ok = session.Open().ok() && IdentifyChips(session, named).step.ok();
    session.SetBitDelay(chip::BitDelay(session.Chip(), mhz));
    session.SetMemory(memory);
    const FlashImage image = RandomImage(session.Size());
    std::vector<FlashImage> seen;
    ok = ok && ProgramChips(session, image, ProgramStrategy::SkipBlank, seen).step.ok();
    session.Close();
    const double total = static_cast<double>(clock.NowNs() - start) / 1e9;
    const SimChip& chip = sim.Chip();
    ok = ok && session.Socket(0).ok() &&
         (memory == ChipMemory::Flash
              ? chip.Flash() == image
              : std::equal(chip.Eeprom().begin(), chip.Eeprom().end(), image.begin()));
    const auto at = [&](Step step) { return times.seconds[static_cast<std::size_t>(step)]; };
    std::printf("  %-10s %-7s %6u %8.3f %8.3f %8.3f %8.3f %8.3f\n", SimModelOf(model).name,
                memory == ChipMemory::Flash ? "flash" : "eeprom", session.Size(), at(Step::Erase),
                at(Step::Write) + at(Step::Compare) + at(Step::Reread), at(Step::Verify),
                total - at(Step::Erase) - at(Step::Write) - at(Step::Compare) - at(Step::Reread) -
                    at(Step::Verify),
                total);
    return ok;
}

}  // namespace

int main(int argc, char** argv) {
    const double mhz = argc > 1 ? std::atof(argv[1]) : 24.0;
    std::printf(
        "velmo-cli program of a random image as large as the memory (raw cable, %g MHz, data\n"
        "polling, the chip found by auto; the AT89S8252 named), virtual seconds:\n\n",
        mhz);
    std::printf("  %-10s %-7s %6s %8s %8s %8s %8s %8s\n", "chip", "memory", "bytes", "erase",
                "write", "verify", "start", "total");
    const struct {
        SimModelKind model;
        ChipMemory memory;
    } runs[] = {
        {SimModelKind::At89s53, ChipMemory::Flash},
        {SimModelKind::At89s8252, ChipMemory::Flash},
        {SimModelKind::At89s51, ChipMemory::Flash},
        {SimModelKind::At89s52, ChipMemory::Flash},
        {SimModelKind::At89s8253, ChipMemory::Flash},
        {SimModelKind::At89s8252, ChipMemory::Eeprom},
        {SimModelKind::At89s8253, ChipMemory::Eeprom},
    };
    for (const auto& run : runs) {
        if (!Run(run.model, run.memory, mhz)) {
            std::fprintf(stderr, "bench_chips: the %s did not take the image\n",
                         SimModelOf(run.model).name);
            return 1;
        }
    }
    return 0;
}
