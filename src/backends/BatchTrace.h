#pragma once

#include <string>

#include "backends/PortFactory.h"

namespace velmo {

// A line trace that would write over the simulator's chip file or over the file the batch
// call is to program (empty: none): the German reason, empty when there is none. Asked before
// anything is opened for writing.
std::string BatchTraceConflict(const PortEnvironment& environment, const std::string& batchFile);

}  // namespace velmo
