#pragma once

#include <string>
#include <vector>

// Starting the program that opens a link target (the desktop's opener, xdg-open) and
// learning from its own answer whether it did: a window toolkit that hands the target on
// reports success as soon as the opener has started, even when the opener then fails.
namespace velmo {

enum class OpenerState {
    NotStarted,    // the program could not be started (not installed, not executable)
    Succeeded,     // it ended with status 0
    Failed,        // it ended with another status, or by a signal
    StillRunning,  // it had not ended when the wait was over; it is left to run
};

struct OpenerOutcome {
    OpenerState state = OpenerState::NotStarted;
    int exitStatus = -1;  // the status it ended with; -1 when it did not end by itself
};

// Runs the program (looked up on PATH unless the first word holds a slash) with the given
// arguments, in a session of its own and with standard input from /dev/null, and waits for
// its end for at most waitMs milliseconds. A program still running then is left to run: an
// opener that starts a browser in the foreground stays until the browser ends, and closing
// this program must not close the user's browser. Its end is collected by a later call.
OpenerOutcome RunOpener(const std::vector<std::string>& command, int waitMs);

// The result code (in the shell's numbering of LinkOpening.h) of an opener that ended with
// the given status: xdg-open's 2 says the target was not found, anything else that no
// program takes it.
int OpenCodeForOpenerStatus(int exitStatus);

}  // namespace velmo
