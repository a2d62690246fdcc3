// What a USB adapter costs against GPIO lines: velmo-cli's program (erase, write the bytes that
// are not 0xFF, read back every cell) of a random 12288-byte image at 24 MHz with byte writes
// of 500 us, on the simulated chip. The GPIO lines run on the tests' fake GPIO chip; the FTDI
// adapters on the tests' fake adapter, which charges a USB round trip per transfer (125 us for
// the high-speed FT232H, 1 ms for the full-speed FT232R) and runs the clock at the rate the
// link set. Times are the virtual clock's.
//
//   bench_ftdi
#include <cstdint>
#include <cstdio>
#include <memory>

#include "Workload.h"
#include "link/BitBangLink.h"
#include "link/ftdi/FtdiLink.h"
#include "ops/ChipJobs.h"
#include "port/linux/GpioPort.h"
#include "sim/SimChip.h"
#include "sim/SimPort.h"
#include "support/FakeFtdi.h"
#include "support/linux/FakeGpioChip.h"
#include "timing/Clock.h"

namespace {

using namespace velmo;

struct Figures {
    double seconds = 0;
    long transfers = 0;
    long bytesOut = 0;
    bool ok = false;
};

using bench::RandomImage;

Figures Program(IspLink& link, VirtualClock& clock, SimPort& sim, const FlashImage& image) {
    const bench::Timed timed = bench::ProgramAt24MHz(link, clock, image);
    Figures figures;
    figures.seconds = timed.seconds;
    figures.ok = timed.ok && sim.Chip().Flash() == image && sim.Chip().ClockViolations() == 0;
    return figures;
}

SimOptions RawCable() {
    SimOptions options;
    options.boardPresent = false;
    return options;
}

Figures Gpio(const FlashImage& image) {
    VirtualClock clock;
    SimPort sim(clock, RawCable());
    sim.StartDriver();
    testing::FakeGpio gpio;
    gpio.AddChip("gpiochip0", "pinctrl-bcm2711", 58);
    gpio.recordValueCalls = false;
    testing::ConnectTarget(gpio, 0, sim, testing::DefaultWires());
    GpioPort port(DefaultGpioConfig(), gpio.System());
    BitBangLink link(port, clock);
    return Program(link, clock, sim, image);
}

Figures Ftdi(FtdiChip chip, const FlashImage& image) {
    VirtualClock clock;
    SimPort sim(clock, RawCable());
    testing::FakeFtdi fake(clock);
    fake.Add(chip, "BENCH");
    const bool mpsse = chip == FtdiChip::Ft232H;
    fake.Connect(sim, testing::DefaultFtdiWires(mpsse));
    FtdiLink link(fake.System(), clock, FtdiConfig{});
    Figures figures = Program(link, clock, sim, image);
    figures.transfers = fake.transfers;
    figures.bytesOut = fake.bytesOut;
    return figures;
}

}  // namespace

int main() {
    const FlashImage image = RandomImage();
    std::printf(
        "velmo-cli program of a random 12288-byte image (%zu bytes not 0xFF): erase, write,\n"
        "read back all 12288; raw cable, 24 MHz, writes of 500 us; virtual time:\n\n",
        CountNotBlank(image));
    const Figures gpio = Gpio(image);
    std::printf("  %-40s %9s %8s %8s %10s %11s\n", "", "seconds", "x GPIO", "target", "transfers",
                "bytes sent");
    std::printf("  %-40s %9.3f %8.3f %8s %10s %11s\n", "GPIO lines (Raspberry Pi)", gpio.seconds,
                1.0, "", "", "");
    struct Row {
        const char* name;
        FtdiChip chip;
        double target;
    };
    const Row rows[] = {
        {"FT232H, MPSSE, 125 us round trip", FtdiChip::Ft232H, 1.1},
        {"FT232R, sync bit-bang, 1 ms round trip", FtdiChip::Ft232R, 3.0},
    };
    bool ok = gpio.ok;
    for (const Row& row : rows) {
        const Figures usb = Ftdi(row.chip, image);
        ok = ok && usb.ok;
        const double ratio = usb.seconds / gpio.seconds;
        char target[16];
        std::snprintf(target, sizeof target, "%s %.1f", ratio <= row.target ? "<=" : ">",
                      row.target);
        std::printf("  %-40s %9.3f %8.3f %8s %10ld %11ld\n", row.name, usb.seconds, ratio, target,
                    usb.transfers, usb.bytesOut);
    }
    if (!ok) {
        std::fprintf(stderr, "bench_ftdi: a chip did not take the image\n");
        return 1;
    }
    return 0;
}
