// velmo.exe on Windows without its window: the batch call an IDE makes, on the same runner as
// a run without a display on Linux.
#include <windows.h>

#include <cstdio>
#include <string>

#include "backends/BatchTrace.h"
#include "backends/PortFactory.h"
#include "cmdline/CommandLine.h"
#include "ops/BatchRunner.h"
#include "sys/Console.h"
#include "sys/Locale.h"
#include "sys/Signals.h"
#include "sys/windows/Wide.h"

namespace {

constexpr char kProgram[] = "velmo";

void WriteLine(const std::string& line) {
    std::fwrite(line.data(), 1, line.size(), stderr);
    std::fputc('\n', stderr);
    std::fflush(stderr);
}

}  // namespace

int main() {
    velmo::sys::PrepareConsole();
    velmo::sys::UseMessageLanguageOfEnvironment();
    // Ctrl-C stops the run between two bytes, and the end sequence releases the lines.
    velmo::sys::CatchStopSignals();
    // The batch call's file runs to the end of the line, blanks and quotes included, so the
    // line is taken as the system hands it over, not split into arguments.
    const std::string line = velmo::TextAfterProgramName(velmo::sys::Utf8(::GetCommandLineW()));
    if (line.empty()) {
        WriteLine(std::string(kProgram) +
                  ": Das Fenster gehört nicht zu diesem Windows-Build; velmo.exe arbeitet hier nur "
                  "als Batchaufruf, zum Beispiel:\n"
                  "  velmo -a1 -p378 -m2 -t11.0 -fDATEI\n"
                  "Alles andere (Löschen, Lesen, Verifizieren, Lock-Bits) kann velmo-cli.exe "
                  "(velmo-cli --help).");
        return 1;
    }
    const velmo::CommandLineSettings settings = velmo::ParseCommandLine(line);
    const velmo::PortEnvironment environment = velmo::EnvironmentOfProcess();
    if (const std::string conflict =
            velmo::BatchTraceConflict(environment, settings.batch.filePath);
        !conflict.empty()) {
        WriteLine(std::string(kProgram) + ": " + conflict);
        return 1;
    }
    velmo::LinkSetup setup = velmo::CreateLink(environment);
    velmo::BatchRunner runner(*setup.link, *setup.clock, &setup.files, kProgram, WriteLine,
                              velmo::sys::StopFlag());
    return runner.Run(settings);
}
