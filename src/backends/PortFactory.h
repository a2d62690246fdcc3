#pragma once

#include <memory>
#include <string>

#include "link/IspLink.h"
#include "link/ftdi/FtdiSystem.h"
#include "port/PortIo.h"
#include "port/SideFile.h"
#include "timing/Clock.h"

namespace velmo {

// The way to the chip: the link the operations talk to, the clock to drive it with, the
// register port under a bit-banging link, and the files the backend keeps beside its lines
// (the line trace, the simulated chip). The simulator may ask for a virtual clock
// (VELMO_SIM_OPTIONS clock=virtual); every real port runs on the real clock. Members go away
// in reverse order: the link before the clock, the clock before the port, which must not
// touch it then.
struct LinkSetup {
    std::unique_ptr<PortIo> port;
    std::unique_ptr<Clock> clock;
    std::unique_ptr<IspLink> link = nullptr;
    SideFiles files = {};
    // Why the backend cannot serve the call as asked (SocketProblem), found before any line
    // moves; the link then does not start either.
    std::string refusal = {};
};

// VELMO_PORT: auto (default, takes ppdev), ppdev, direct, gpio (VELMO_GPIO chooses chip and
// lines), ftdi (a USB adapter, VELMO_FTDI chooses adapter and pins), sim. Never falls back to
// the simulator. VELMO_TRACE=file.vcd wraps the chosen
// backend in the line tracer. Anything wrong (an unknown backend, a bad simulator option or
// VELMO_GPIO) gives a link whose StartDriver fails with a German message that names the
// problem.
LinkSetup CreateLinkFromEnvironment();

// The same with the variables passed in (empty string = unset), for tests.
struct PortEnvironment {
    std::string port;        // VELMO_PORT
    std::string simOptions;  // VELMO_SIM_OPTIONS
    std::string simChip;     // VELMO_SIM_CHIP
    std::string trace;       // VELMO_TRACE
    std::string gpio = {};   // VELMO_GPIO
    // Chips in a gang fixture, each answering on its own MISO line (velmo-cli --sockets).
    unsigned sockets = 1;
    std::string ftdi = {};           // VELMO_FTDI
    std::string adapterSerial = {};  // velmo-cli --port ftdi:SERIAL, wins over VELMO_FTDI's
};
LinkSetup CreateLink(const PortEnvironment& env);

// The variables as this process has them.
PortEnvironment EnvironmentOfProcess();

// Whether writing path would write over one of the simulator's chip files: the same file, or
// the same file once created (a link that names a chip file not made yet included).
bool WritesSimChip(const PortEnvironment& env, const std::string& path);

// A line trace that would write over the simulator's chip file: a German message, otherwise
// an empty string. CreateLink refuses such a trace before it opens or creates either file.
std::string TraceConflict(const PortEnvironment& env);

// Why the backend env names cannot serve env.sockets sockets, in German (a parallel port has
// five inputs, VELMO_GPIO names too few MISO lines, VELMO_SIM_CHIP lacks "{n}"); empty when it
// can, or when the backend itself is unusable (its start says why).
std::string SocketProblem(const PortEnvironment& env);

// Whether a VELMO_PORT value asks for the GPIO backend or a USB adapter, which have no port
// address.
bool IsGpioBackend(const std::string& velmoPort);
bool IsFtdiBackend(const std::string& velmoPort);

// The USB adapter's link as CreateLink makes it for VELMO_PORT=ftdi, on system (nullptr: a
// build without USB support) and clock. A VELMO_FTDI that cannot be read is refused.
LinkSetup CreateFtdiLink(const PortEnvironment& env, std::unique_ptr<FtdiSystem> system,
                         std::unique_ptr<Clock> clock = MakeRealClock());

}  // namespace velmo
