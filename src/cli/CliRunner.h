#pragma once

#include <csignal>
#include <cstdio>
#include <functional>
#include <ostream>
#include <string>
#include <vector>

#include "backends/PortFactory.h"
#include "cli/CliOptions.h"

namespace velmo::cli {

// Everything the command line program touches outside itself, so that tests can run it in
// the process against a simulated chip they keep looking at.
struct CliContext {
    std::ostream& out;  // results
    std::ostream& err;  // progress and the reasons of failures
    bool errIsTerminal = false;
    // The way to the chips and its clock; trace is the --trace file, empty when none was
    // given; port is what --port asked for; sockets how many chips answer; serial the USB
    // adapter's that --port ftdi:SERIAL names.
    std::function<LinkSetup(const std::string& trace, PortChoice port, unsigned sockets,
                            const std::string& serial)>
        createLink;
    // Raised (to the signal's number) by SIGINT/SIGTERM; checked between two bytes.
    const volatile std::sig_atomic_t* stop = nullptr;
};

// Runs one call of velmo-cli (args without the program name) and returns its exit status
// (kExitOk, kExitFailure, kExitUsage, or 128 + the signal after an interrupt).
int RunCli(const std::vector<std::string>& args, CliContext& context);

// The backend VELMO_PORT, VELMO_SIM_OPTIONS, VELMO_SIM_CHIP, VELMO_GPIO and VELMO_FTDI ask for,
// as in the window; a --trace file takes the place of VELMO_TRACE. --port wins over
// VELMO_PORT: gpio takes the GPIO backend, ftdi the USB adapter (serial: the one with that
// serial number), an address a parallel port (auto where VELMO_PORT says gpio or ftdi, the
// backend VELMO_PORT names otherwise, so the simulator stays reachable at any address).
LinkSetup CreateLinkForCli(const std::string& trace, PortChoice port, unsigned sockets = 1,
                           const std::string& serial = {});

// Flushes and closes the program's standard output at its end. A write that failed (a full
// disk, a closed pipe) gives one line on err and kExitFailure, otherwise kExitOk.
int FinishStandardOutput(std::ostream& out, std::FILE* file, std::ostream& err);

// The trace file of a call: --trace, or else VELMO_TRACE; empty for none.
std::string TracePath(const std::string& option);

}  // namespace velmo::cli
