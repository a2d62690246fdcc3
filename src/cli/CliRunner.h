#pragma once

#include <csignal>
#include <functional>
#include <ostream>
#include <string>
#include <vector>

#include "backends/PortFactory.h"

namespace velmo::cli {

// Everything the command line program touches outside itself, so that tests can run it in
// the process against a simulated chip they keep looking at.
struct CliContext {
    std::ostream& out;  // results
    std::ostream& err;  // progress and the reasons of failures
    bool errIsTerminal = false;
    // The port backend and its clock; trace is the --trace file, empty when none was given.
    std::function<PortSetup(const std::string& trace)> createPort;
    // Raised (to the signal's number) by SIGINT/SIGTERM; checked between two bytes.
    const volatile std::sig_atomic_t* stop = nullptr;
};

// Runs one call of velmo-cli (args without the program name) and returns its exit status
// (kExitOk, kExitFailure, kExitUsage, or 128 + the signal after an interrupt).
int RunCli(const std::vector<std::string>& args, CliContext& context);

// The backend VELMO_PORT, VELMO_SIM_OPTIONS and VELMO_SIM_CHIP ask for, as in the window; a
// --trace file takes the place of VELMO_TRACE.
PortSetup CreatePortForCli(const std::string& trace);

}  // namespace velmo::cli
