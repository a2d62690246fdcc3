// velmo-cli: the programmer for scripts and terminals, on the same core as the window.
#include <cstdio>
#include <iostream>
#include <string>
#include <vector>

#include "cli/CliRunner.h"
#include "sys/Console.h"
#include "sys/Locale.h"
#include "sys/Process.h"
#include "sys/Signals.h"

int main(int argc, char** argv) {
    velmo::sys::PrepareConsole();
    velmo::sys::UseMessageLanguageOfEnvironment();
    // Ctrl-C and SIGTERM only raise the flag: the running step stops before its next byte
    // and the end sequence releases the lines before the program ends.
    velmo::sys::CatchStopSignals();
    // A reader that leaves early is a failed write with its reason, never a silent death.
    velmo::sys::IgnoreBrokenPipes();
    const std::vector<std::string> args = velmo::sys::Arguments(argc, argv);
    velmo::cli::CliContext context{std::cout, std::cerr, velmo::sys::StandardErrorIsTerminal(),
                                   velmo::cli::CreateLinkForCli, velmo::sys::StopFlag()};
    const int status = velmo::cli::RunCli(args, context);
    // What a script reads from us is a result too: output that did not arrive is a failure.
    const int ended = velmo::cli::FinishStandardOutput(std::cout, stdout, std::cerr);
    return status == velmo::cli::kExitOk ? ended : status;
}
