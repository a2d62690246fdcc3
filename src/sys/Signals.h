#pragma once

#include <csignal>

// The requests to stop that reach a program from outside (Ctrl-C, a polite kill), and readers
// that go away.
namespace velmo::sys {

// From now on an interrupt or a termination request only raises the flag below: the program
// stops at its next safe point and releases what it holds.
void CatchStopSignals();
// The flag: the number of the first stop signal caught, 0 while none came.
const volatile std::sig_atomic_t* StopFlag();
int StopSignal();

// A reader that goes away (a pipe, a socket) makes writes fail instead of ending the program.
void IgnoreBrokenPipes();

}  // namespace velmo::sys
