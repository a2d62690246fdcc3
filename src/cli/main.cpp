// velmo-cli: the programmer for scripts and terminals, on the same core as the window.
#include <unistd.h>

#include <csignal>
#include <cstdio>
#include <cstring>
#include <iostream>
#include <string>
#include <vector>

#include "cli/CliRunner.h"

namespace {

volatile std::sig_atomic_t g_stop = 0;

// Only raises the flag: the running step stops before its next byte and the end sequence
// releases the lines before the program ends.
extern "C" void OnStopSignal(int signal) {
    g_stop = signal;
}

void InstallStopHandler(int signal) {
    struct sigaction action;
    std::memset(&action, 0, sizeof action);
    action.sa_handler = OnStopSignal;
    sigemptyset(&action.sa_mask);
    sigaction(signal, &action, nullptr);
}

}  // namespace

int main(int argc, char** argv) {
    InstallStopHandler(SIGINT);
    InstallStopHandler(SIGTERM);
    std::vector<std::string> args(argv + (argc > 0 ? 1 : 0), argv + argc);
    velmo::cli::CliContext context{std::cout, std::cerr, ::isatty(STDERR_FILENO) == 1,
                                   velmo::cli::CreateLinkForCli, &g_stop};
    const int status = velmo::cli::RunCli(args, context);
    // What a script reads from us is a result too: output that did not arrive is a failure.
    const int ended = velmo::cli::FinishStandardOutput(std::cout, stdout, std::cerr);
    return status == velmo::cli::kExitOk ? ended : status;
}
