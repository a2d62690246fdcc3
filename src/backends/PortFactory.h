#pragma once

#include <memory>
#include <string>

#include "port/PortIo.h"
#include "timing/Clock.h"

namespace velmo {

// The backend and the clock to drive it with. The simulator may ask for a virtual clock
// (VELMO_SIM_OPTIONS clock=virtual); every real port runs on the real clock.
struct PortSetup {
    std::unique_ptr<PortIo> port;
    std::unique_ptr<Clock> clock;
};

// VELMO_PORT: auto (default, takes ppdev), ppdev, direct, gpio (VELMO_GPIO chooses chip and
// lines), sim. Never falls back to the simulator. VELMO_TRACE=file.vcd wraps the chosen
// backend in the line tracer. Anything wrong (an unknown backend, a bad simulator option or
// VELMO_GPIO) gives a port whose StartDriver fails with a German message that names the
// problem.
PortSetup CreatePortFromEnvironment();

// The same with the variables passed in (empty string = unset), for tests.
struct PortEnvironment {
    std::string port;        // VELMO_PORT
    std::string simOptions;  // VELMO_SIM_OPTIONS
    std::string simChip;     // VELMO_SIM_CHIP
    std::string trace;       // VELMO_TRACE
    std::string gpio = {};   // VELMO_GPIO
};
PortSetup CreatePort(const PortEnvironment& env);

// The variables as this process has them.
PortEnvironment EnvironmentOfProcess();

// Whether writing path would write over the simulator's chip file: the same file, or the
// same file once created (a link that names the chip file not made yet included).
bool WritesSimChip(const PortEnvironment& env, const std::string& path);

// A line trace that would write over the simulator's chip file: a German message, otherwise
// an empty string. CreatePort refuses such a trace before it opens or creates either file.
std::string TraceConflict(const PortEnvironment& env);

// Whether a VELMO_PORT value asks for the GPIO backend, which has no port address.
bool IsGpioBackend(const std::string& velmoPort);

}  // namespace velmo
