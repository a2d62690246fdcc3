// What the GPIO backend costs in system calls: ioctls per programmed byte and per bit cycle,
// against the parallel port's register accesses for the same work. Both run the same
// instructions into the simulated AT89S53 on the virtual clock; the ioctls are counted on a
// fake GPIO chip wired to it, the register accesses on a counting wrapper around it.
//
//   bench_gpio [board|raw]      default: board
//
// Counts, not times: they do not depend on the build or the machine.
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <functional>
#include <string>

#include "isp/Settings.h"
#include "link/BitBangLink.h"
#include "ops/ChipSession.h"
#include "port/linux/GpioPort.h"
#include "sim/SimChip.h"
#include "sim/SimPort.h"
#include "support/linux/FakeGpioChip.h"
#include "timing/Clock.h"

namespace {

using namespace velmo;

// Passes every access on and counts them, and the bit cycles (rising edges of SCK) among them.
class CountingPort : public PortIo {
  public:
    explicit CountingPort(PortIo& inner) : m_inner(inner) { m_inner.SetBaseAddress(BaseAddress()); }
    void StartDriver() override { m_inner.StartDriver(); }
    void StopDriver() override { m_inner.StopDriver(); }
    bool DriverActive() const override { return m_inner.DriverActive(); }
    std::string DriverMessage() const override { return m_inner.DriverMessage(); }
    std::uint8_t ReadPort(std::uint16_t address) override {
        ++reads;
        return m_inner.ReadPort(address);
    }
    void WritePort(std::uint16_t address, std::uint8_t value) override {
        ++writes;
        if (address == BaseAddress()) {
            const bool sck = LineLevel(IspLine::Sck, value);
            if (sck && !m_sck) ++sckRises;
            m_sck = sck;
        }
        m_inner.WritePort(address, value);
    }

    long reads = 0;
    long writes = 0;
    long sckRises = 0;

  protected:
    void OnBaseAddressChanged() override { m_inner.SetBaseAddress(BaseAddress()); }

  private:
    PortIo& m_inner;
    bool m_sck = false;
};

struct Counts {
    long setValues = 0;
    long getValues = 0;
    long otherIoctls = 0;  // chip info, request, configuration
    long reads = 0;        // parallel port
    long writes = 0;
    long bitCycles = 0;

    long Ioctls() const { return setValues + getValues + otherIoctls; }
    long Accesses() const { return reads + writes; }
    Counts operator-(const Counts& o) const {
        return {setValues - o.setValues, getValues - o.getValues, otherIoctls - o.otherIoctls,
                reads - o.reads,         writes - o.writes,       bitCycles - o.bitCycles};
    }
};

// One programmer on one backend, the simulated target behind it.
struct Rig {
    explicit Rig(ProgrammerMode programmerMode, bool gpioBackend)
        : mode(programmerMode), sim(clock, SimOptions{}), target(sim) {
        sim.StartDriver();
        if (gpioBackend) {
            gpio.AddChip("gpiochip0", "pinctrl-bcm2711", 58);
            gpio.recordValueCalls = false;
            testing::ConnectTarget(gpio, 0, target, testing::DefaultWires());
            gpioPort = std::make_unique<GpioPort>(DefaultGpioConfig(), gpio.System());
            port = gpioPort.get();
        } else {
            port = &target;
        }
        link = std::make_unique<BitBangLink>(*port, clock);
        session = std::make_unique<ChipSession>(*link, clock, observer, mode, bitDelay);
    }

    Counts Now() const {
        Counts c;
        c.setValues = gpio.Count(GPIO_V2_LINE_SET_VALUES_IOCTL);
        c.getValues = gpio.Count(GPIO_V2_LINE_GET_VALUES_IOCTL);
        c.otherIoctls = gpio.TotalIoctls() - c.setValues - c.getValues;
        c.reads = target.reads;
        c.writes = target.writes;
        c.bitCycles = target.sckRises;
        return c;
    }

    const ProgrammerMode mode;
    const std::uint32_t bitDelay = BitDelayForClockRate(24.0);
    VirtualClock clock;
    SimPort sim;
    CountingPort target;  // the parallel port's accesses; on GPIO, what reaches the target
    testing::FakeGpio gpio;
    std::unique_ptr<GpioPort> gpioPort;
    PortIo* port = nullptr;
    std::unique_ptr<BitBangLink> link;
    OperationObserver observer;
    std::unique_ptr<ChipSession> session;
};

struct Phases {
    Counts start, erase, write, read, end;
    bool ok = true;
};

// The work goes through the same session with the chip as the programs' own.
Phases Run(ProgrammerMode mode, bool gpioBackend) {
    Rig rig(mode, gpioBackend);
    Phases phases;
    Counts mark = rig.Now();
    auto phase = [&](Counts& into) {
        const Counts now = rig.Now();
        into = now - mark;
        mark = now;
    };
    FlashImage image;
    for (std::uint32_t a = 0; a < FLASH_SIZE; ++a) image[a] = static_cast<std::uint8_t>(a * 7 + 1);
    ChipSession& session = *rig.session;
    phases.ok = session.Open().ok();
    phase(phases.start);
    phases.ok &= session.Erase().ok();
    phase(phases.erase);
    phases.ok &= session.Write(image, WriteSelection::All).ok();
    phase(phases.write);
    FlashImage read;
    phases.ok &= session.Read(Step::Read, read).ok() && read == image;
    phase(phases.read);
    session.Close();
    phase(phases.end);
    phases.ok &= rig.sim.Chip().ClockViolations() == 0;
    return phases;
}

// per: what one row's figures are divided by, for each backend.
void Row(const char* name, const Counts& gpio, double gpioPer, const Counts& parallel,
         double parallelPer) {
    std::printf("  %-38s %9.2f %7.2f %7.2f %6.2f   %9.2f %7.2f %7.2f\n", name,
                static_cast<double>(gpio.Ioctls()) / gpioPer,
                static_cast<double>(gpio.setValues) / gpioPer,
                static_cast<double>(gpio.getValues) / gpioPer,
                static_cast<double>(gpio.otherIoctls) / gpioPer,
                static_cast<double>(parallel.Accesses()) / parallelPer,
                static_cast<double>(parallel.reads) / parallelPer,
                static_cast<double>(parallel.writes) / parallelPer);
}

double BitCycles(const Counts& counts) {
    return static_cast<double>(counts.bitCycles);
}

}  // namespace

int main(int argc, char** argv) {
    const bool raw = argc > 1 && std::strcmp(argv[1], "raw") == 0;
    const ProgrammerMode mode = raw ? ProgrammerMode::Raw : ProgrammerMode::Board;
    const Phases gpio = Run(mode, true);
    const Phases parallel = Run(mode, false);
    if (!gpio.ok || !parallel.ok) {
        std::fprintf(stderr, "bench_gpio: the simulated chip did not take the image\n");
        return 1;
    }
    std::printf(
        "Whole chip (%s mode): erase, write 12288 bytes with read-back, read 12288 "
        "bytes,\non the simulated AT89S53, virtual clock.\n\n",
        raw ? "raw" : "board");
    std::printf("  %-38s %9s %7s %7s %6s   %9s %7s %7s\n", "", "ioctls", "SET", "GET", "other",
                "accesses", "reads", "writes");
    std::printf("  %-38s %36s   %25s\n", "", "GPIO backend", "parallel port");
    constexpr double kBytes = FLASH_SIZE;
    Row("driver start to Programming Enable", gpio.start, 1, parallel.start, 1);
    Row("Chip Erase", gpio.erase, 1, parallel.erase, 1);
    Row("per programmed byte (write + check)", gpio.write, kBytes, parallel.write, kBytes);
    Row("per read byte", gpio.read, kBytes, parallel.read, kBytes);
    Row("per bit cycle, programming", gpio.write, BitCycles(gpio.write), parallel.write,
        BitCycles(parallel.write));
    Row("per bit cycle, reading", gpio.read, BitCycles(gpio.read), parallel.read,
        BitCycles(parallel.read));
    Row("end sequence and driver stop", gpio.end, 1, parallel.end, 1);
    std::printf("\n  bit cycles per programmed byte: %.1f (GPIO), %.1f (parallel port)\n",
                static_cast<double>(gpio.write.bitCycles) / FLASH_SIZE,
                static_cast<double>(parallel.write.bitCycles) / FLASH_SIZE);
    const long gpioAll = gpio.start.Ioctls() + gpio.erase.Ioctls() + gpio.write.Ioctls() +
                         gpio.read.Ioctls() + gpio.end.Ioctls();
    const long parallelAll = parallel.start.Accesses() + parallel.erase.Accesses() +
                             parallel.write.Accesses() + parallel.read.Accesses() +
                             parallel.end.Accesses();
    std::printf("  whole run: %ld ioctls (GPIO), %ld register accesses (parallel port)\n", gpioAll,
                parallelAll);
    return 0;
}
