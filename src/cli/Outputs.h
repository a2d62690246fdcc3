#pragma once

#include <ostream>
#include <string>

#include "backends/PortFactory.h"
#include "cli/CliOptions.h"

namespace velmo::cli {

// The files a call writes (the output of read, the line trace), checked before any work is
// done for them: one that can never be written, that is a folder or a socket, that is the
// call's own input, or that would write over the simulator's chip file is refused with one
// German line on err. Returns kExitOk or kExitUsage.
int CheckOutputs(const CliOptions& options, std::ostream& err);

// Standard output carries only the data where an output of the call goes there (read
// /dev/stdout, a trace to a file the shell opened as standard output); the results then go
// to standard error.
bool ResultsToStandardError(const CliOptions& options);

// The variables the port is built from: VELMO_PORT and friends, the trace of the call, and
// what --port asked for.
PortEnvironment CliPortEnvironment(const std::string& trace, PortChoice port);

}  // namespace velmo::cli
