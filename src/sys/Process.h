#pragma once

#include <string>
#include <vector>

// This program as the system started it (its arguments and environment, as UTF-8), and
// programs it starts in turn.
namespace velmo::sys {

// The arguments after the program's name. On Windows they are taken from the command line
// the system keeps as wide characters, so that a name like Prüfung.hex arrives whole.
std::vector<std::string> Arguments(int argc, char** argv);

// The program's own name as its messages begin: its file's name, without folder and ".exe".
std::string ProgramName();

// The value of an environment variable, empty where it is not set.
std::string EnvironmentVariable(const char* name);

enum class ProgramState {
    NotStarted,    // the program could not be started (not installed, not executable)
    Succeeded,     // it ended with status 0
    Failed,        // it ended with another status, or by a signal
    StillRunning,  // it had not ended when the wait was over; it is left to run
};

struct ProgramOutcome {
    ProgramState state = ProgramState::NotStarted;
    int exitStatus = -1;  // the status it ended with; -1 when it did not end by itself
};

// Runs the program (looked up on PATH unless the first word holds a path) with the given
// arguments, detached from this program's terminal and with nothing on its standard input,
// and waits for its end for at most waitMs milliseconds. A program still running then is
// left to run: an opener that starts a browser in the foreground stays until the browser
// ends, and closing this program must not close the user's browser. Its end is collected by
// a later call.
ProgramOutcome RunProgram(const std::vector<std::string>& command, int waitMs);

}  // namespace velmo::sys
