// Figures for the port layer: what one register access of the simulator costs, how far
// the busy-wait overshoots, and how close a run of bit cycles comes to its own delays.
//
//   bench_port            all three
//
// Build in Release for meaningful numbers.
#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <vector>

#include "isp/At89s53.h"
#include "isp/Settings.h"
#include "link/BitBangLink.h"
#include "sim/SimChip.h"
#include "sim/SimPort.h"
#include "timing/Clock.h"

namespace {

using velmo::Clock;

std::int64_t Percentile(std::vector<std::int64_t> values, double p) {
    std::sort(values.begin(), values.end());
    const auto index = static_cast<std::size_t>(p * static_cast<double>(values.size() - 1));
    return values[index];
}

// Register access of the simulator on the real clock, as the programmer uses it.
void RegisterAccess() {
    auto clock = velmo::MakeRealClock();
    velmo::SimPort port(*clock, velmo::SimOptions{});
    port.StartDriver();
    constexpr int kCount = 2'000'000;
    const std::uint16_t base = port.BaseAddress();

    struct Case {
        const char* name;
        void (*run)(velmo::SimPort&, std::uint16_t, int);
    };
    const Case cases[] = {
        {"read data register",
         [](velmo::SimPort& p, std::uint16_t b, int n) {
             unsigned sink = 0;
             for (int i = 0; i < n; ++i) sink += p.ReadPort(b);
             if (sink == 1) std::puts("");
         }},
        {"read status register (MISO, READY)",
         [](velmo::SimPort& p, std::uint16_t b, int n) {
             unsigned sink = 0;
             for (int i = 0; i < n; ++i) sink += p.ReadPort(static_cast<std::uint16_t>(b + 1));
             if (sink == 1) std::puts("");
         }},
        {"write data register, MOSI toggling",
         [](velmo::SimPort& p, std::uint16_t b, int n) {
             for (int i = 0; i < n; ++i) p.WritePort(b, static_cast<std::uint8_t>(i & 1));
         }},
        {"write data register, SCK toggling (RST high)",
         [](velmo::SimPort& p, std::uint16_t b, int n) {
             for (int i = 0; i < n; ++i)
                 p.WritePort(b, static_cast<std::uint8_t>(0x0C | ((i & 1) << 1)));
         }},
    };
    std::printf("Register access, sim backend on the real clock (%d accesses each):\n", kCount);
    for (const Case& c : cases) {
        const auto start = std::chrono::steady_clock::now();
        c.run(port, base, kCount);
        const auto ns = std::chrono::duration_cast<std::chrono::nanoseconds>(
                            std::chrono::steady_clock::now() - start)
                            .count();
        std::printf("  %-46s %6.1f ns\n", c.name, static_cast<double>(ns) / kCount);
    }
    std::int64_t nowCost = 0;
    {
        constexpr int kNow = 2'000'000;
        const auto start = std::chrono::steady_clock::now();
        std::int64_t sink = 0;
        for (int i = 0; i < kNow; ++i) sink += clock->NowNs();
        nowCost = std::chrono::duration_cast<std::chrono::nanoseconds>(
                      std::chrono::steady_clock::now() - start)
                      .count() /
                  kNow;
        if (sink == 1) std::puts("");
    }
    std::printf("  %-46s %6lld ns\n", "(one reading of the monotonic clock)",
                static_cast<long long>(nowCost));
}

void DelayOvershoot() {
    auto clock = velmo::MakeRealClock();
    std::printf("\nDelay(n) overshoot on the real clock (elapsed - n us):\n");
    std::printf("  %6s %8s %12s %12s %12s\n", "n/us", "samples", "median/ns", "p99/ns", "max/ns");
    for (std::uint32_t n : {1u, 2u, 20u, 100u, 1000u}) {
        const int samples = n >= 1000 ? 2000 : 20000;
        std::vector<std::int64_t> over;
        over.reserve(static_cast<std::size_t>(samples));
        for (int i = 0; i < samples; ++i) {
            const std::int64_t start = clock->NowNs();
            clock->Delay(n);
            over.push_back(clock->NowNs() - start - std::int64_t{n} * 1000);
        }
        std::printf("  %6u %8d %12lld %12lld %12lld\n", n, samples,
                    static_cast<long long>(Percentile(over, 0.5)),
                    static_cast<long long>(Percentile(over, 0.99)),
                    static_cast<long long>(*std::max_element(over.begin(), over.end())));
    }
}

// 1000 bit cycles = 125 bytes shifted into the simulated chip, RST high, real clock.
void BitCycles() {
    std::printf("\n1000 bit cycles through the sim backend on the real clock:\n");
    std::printf("  %12s %12s %12s %8s %8s %8s\n", "half-period", "specified", "median", "ratio",
                "best", "worst");
    for (std::uint32_t halfPeriod : {1u, 2u, 5u, 20u}) {
        auto clock = velmo::MakeRealClock();
        velmo::SimPort port(*clock, velmo::SimOptions{});
        port.StartDriver();
        velmo::BitBangLink link(port, *clock);
        link.RunSequence(velmo::StartSequence(velmo::ProgrammerMode::Raw));
        link.Send(velmo::at89s53::ProgrammingEnable());
        velmo::Instruction byte;
        byte.length = 1;
        byte.halfPeriodUs = halfPeriod;

        const double specifiedNs = 1000.0 * 2.0 * halfPeriod * 1000.0;
        std::vector<std::int64_t> runs;
        for (int run = 0; run < 41; ++run) {
            const std::int64_t start = clock->NowNs();
            for (int i = 0; i < 125; ++i) {
                byte.bytes[0] = static_cast<std::uint8_t>(i * 37);
                link.Send(byte);
            }
            runs.push_back(clock->NowNs() - start);
        }
        const auto median = Percentile(runs, 0.5);
        const auto best = *std::min_element(runs.begin(), runs.end());
        const auto worst = *std::max_element(runs.begin(), runs.end());
        std::printf(
            "  %9u us %9.0f us %9.1f us %8.4f %8.4f %8.4f\n", halfPeriod, specifiedNs / 1000,
            static_cast<double>(median) / 1000, static_cast<double>(median) / specifiedNs,
            static_cast<double>(best) / specifiedNs, static_cast<double>(worst) / specifiedNs);
        if (port.Chip().ClockViolations() != 0) {
            std::printf("  (the chip saw %llu clock violations)\n",
                        static_cast<unsigned long long>(port.Chip().ClockViolations()));
        }
    }
}

}  // namespace

int main() {
    RegisterAccess();
    DelayOvershoot();
    BitCycles();
    return 0;
}
