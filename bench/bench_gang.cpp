// What a gang fixture costs: velmo-cli's program (erase, write, read back every cell) of one
// random image into 1, 2, 4 and 8 simulated AT89S53s at once, on the simulator's own register
// port and on GPIO lines of a fake chip wired to it. Times are the virtual clock's, which runs
// exactly the waits and bit cycles the lines would see; the GPIO reads and writes are counted.
//
//   bench_gang
//
// Every instruction goes to all sockets at once, and one read of the status register (or of
// the GPIO lines) brings every socket's MISO, so N sockets should cost about what one does.
#include <cstdint>
#include <cstdio>
#include <memory>
#include <vector>

#include "Workload.h"
#include "link/BitBangLink.h"
#include "ops/ChipJobs.h"
#include "port/linux/GpioPort.h"
#include "sim/SimChip.h"
#include "sim/SimPort.h"
#include "support/linux/FakeGpioChip.h"
#include "timing/Clock.h"

namespace {

using namespace velmo;

struct Figures {
    double seconds = 0;  // virtual
    long getValues = 0;  // GPIO reads of the lines
    long setValues = 0;
    bool ok = true;
};

using bench::RandomImage;

Figures Run(unsigned sockets, bool gpioBackend, const FlashImage& image) {
    VirtualClock clock;
    SimOptions options;
    options.sockets = sockets;
    SimPort sim(clock, options);
    testing::FakeGpio gpio;
    std::unique_ptr<GpioPort> gpioPort;
    PortIo* port = &sim;
    if (gpioBackend) {
        sim.StartDriver();
        gpio.AddChip("gpiochip0", "pinctrl-bcm2711", 58);
        gpio.recordValueCalls = false;
        testing::ConnectTarget(gpio, 0, sim, testing::GangWires(sockets));
        GpioConfig config = DefaultGpioConfig();
        config.sockets = sockets;
        gpioPort = std::make_unique<GpioPort>(config, gpio.System());
        port = gpioPort.get();
    }
    BitBangLink link(*port, clock, sockets);
    const bench::Timed timed = bench::ProgramAt24MHz(link, clock, image);
    Figures figures;
    figures.seconds = timed.seconds;
    figures.ok = timed.ok;
    for (unsigned s = 0; s < sockets; ++s) figures.ok = figures.ok && sim.Chip(s).Flash() == image;
    figures.getValues = gpio.Count(GPIO_V2_LINE_GET_VALUES_IOCTL);
    figures.setValues = gpio.Count(GPIO_V2_LINE_SET_VALUES_IOCTL);
    return figures;
}

}  // namespace

int main() {
    const FlashImage image = RandomImage();
    std::printf(
        "velmo-cli program of a random 12288-byte image into N sockets at once (raw cable,\n"
        "24 MHz, writes of 500 us, data polling), virtual time:\n\n");
    std::printf("  %-10s %7s %10s %7s   %10s %7s %12s %12s\n", "", "sockets", "seconds", "ratio",
                "seconds", "ratio", "GPIO reads", "GPIO writes");
    std::printf("  %-10s %7s %18s   %43s\n", "", "", "simulator port", "GPIO lines");
    double simOne = 0;
    double gpioOne = 0;
    for (const unsigned sockets : {1u, 2u, 4u, 8u}) {
        const Figures sim = Run(sockets, false, image);
        const Figures gpio = Run(sockets, true, image);
        if (!sim.ok || !gpio.ok) {
            std::fprintf(stderr, "bench_gang: %u sockets did not all take the image\n", sockets);
            return 1;
        }
        if (sockets == 1) {
            simOne = sim.seconds;
            gpioOne = gpio.seconds;
        }
        std::printf("  %-10s %7u %10.3f %7.3f   %10.3f %7.3f %12ld %12ld\n", "", sockets,
                    sim.seconds, sim.seconds / simOne, gpio.seconds, gpio.seconds / gpioOne,
                    gpio.getValues, gpio.setValues);
    }
    return 0;
}
