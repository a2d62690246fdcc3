#pragma once

#include <ostream>
#include <string>

#include "backends/PortFactory.h"
#include "cli/CliOptions.h"

namespace velmo::cli {

// The files a call writes (the outputs of read, the line trace, the report), checked before
// any work is done for them: one that can never be written, that is a folder or a socket,
// that is another file of the call, or that would write over the simulator's chip file is
// refused with one German line on err. Returns kExitOk or kExitUsage.
int CheckOutputs(const CliOptions& options, std::ostream& err);

// The output of read for socket (from 0): with several sockets "{n}" in the name stands for
// the socket's number.
std::string OutputOfSocket(const CliOptions& options, unsigned socket);

// Standard output carries only the data where an output of the call goes there (read
// /dev/stdout, a trace or report to a file the shell opened as standard output); the
// results then go to standard error.
bool ResultsToStandardError(const CliOptions& options);

// The variables the port is built from: VELMO_PORT and friends, the trace of the call, what
// --port asked for (with the adapter's serial number of --port ftdi:SN), and the sockets.
PortEnvironment CliPortEnvironment(const std::string& trace, PortChoice port, unsigned sockets = 1,
                                   const std::string& serial = {});

}  // namespace velmo::cli
