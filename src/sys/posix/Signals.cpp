#include "sys/Signals.h"

#include <signal.h>

#include <cstring>

namespace velmo::sys {

namespace {

volatile std::sig_atomic_t g_stop = 0;

extern "C" void OnStopSignal(int signal) {
    if (g_stop == 0) g_stop = signal;
}

void Catch(int signal) {
    struct sigaction action;
    std::memset(&action, 0, sizeof action);
    action.sa_handler = OnStopSignal;
    sigemptyset(&action.sa_mask);
    sigaction(signal, &action, nullptr);
}

}  // namespace

void CatchStopSignals() {
    Catch(SIGINT);
    Catch(SIGTERM);
}

const volatile std::sig_atomic_t* StopFlag() {
    return &g_stop;
}

int StopSignal() {
    return g_stop;
}

void IgnoreBrokenPipes() {
    ::signal(SIGPIPE, SIG_IGN);
}

}  // namespace velmo::sys
