#pragma once

#include <string>
#include <vector>

#include "sys/Process.h"

// Starting the program that opens a link target (the desktop's opener, xdg-open) and
// learning from its own answer whether it did: a window toolkit that hands the target on
// reports success as soon as the opener has started, even when the opener then fails.
namespace velmo {

using OpenerState = sys::ProgramState;
using OpenerOutcome = sys::ProgramOutcome;

// Runs the opener and waits at most waitMs milliseconds for its answer (sys::RunProgram);
// one still running then is left to run and counts as having opened the target.
inline OpenerOutcome RunOpener(const std::vector<std::string>& command, int waitMs) {
    return sys::RunProgram(command, waitMs);
}

// The result code (in the shell's numbering of LinkOpening.h) of an opener that ended with
// the given status: xdg-open's 2 says the target was not found, anything else that no
// program takes it.
int OpenCodeForOpenerStatus(int exitStatus);

}  // namespace velmo
