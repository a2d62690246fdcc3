#include "sys/Signals.h"

#include <windows.h>

namespace velmo::sys {

namespace {

volatile std::sig_atomic_t g_stop = 0;

// Runs on a thread of its own that the system starts for the event. Ctrl-C counts as the
// interrupt, everything else (Ctrl-Break, the console window closed, logging off) as a
// request to terminate.
BOOL WINAPI OnConsoleEvent(DWORD event) {
    if (g_stop == 0) g_stop = event == CTRL_C_EVENT ? SIGINT : SIGTERM;
    return TRUE;
}

}  // namespace

void CatchStopSignals() {
    ::SetConsoleCtrlHandler(OnConsoleEvent, TRUE);
}

const volatile std::sig_atomic_t* StopFlag() {
    return &g_stop;
}

int StopSignal() {
    return g_stop;
}

void IgnoreBrokenPipes() {
    // A write into a pipe whose reader has gone fails on Windows anyway; nothing ends the
    // program for it.
}

}  // namespace velmo::sys
