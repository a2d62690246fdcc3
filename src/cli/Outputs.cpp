#include "cli/Outputs.h"

#include <cstdlib>

#include "cli/CliRunner.h"
#include "cli/Texts.h"
#include "image/OutputFile.h"
#include "sys/Files.h"

namespace velmo::cli {

namespace {

std::string Env(const char* name) {
    const char* value = std::getenv(name);
    return value ? value : "";
}

int Refuse(std::ostream& err, const std::string& reason) {
    err << "velmo-cli: " << reason << "\n" << std::flush;
    return kExitUsage;
}

// The output of read: a typo must not cost a whole read.
std::string RefusedOutput(const std::string& path) {
    const OutputPlan plan = PlanOutput(path);
    if (plan.way != OutputWay::Refused) return {};
    switch (plan.refusal.error) {
        case OutputError::Directory:
            return "Ausgabedatei " + Quoted(path) + " ist ein Verzeichnis.";
        case OutputError::NotAFile:
            return "Ausgabedatei " + Quoted(path) +
                   " ist weder eine Datei noch ein Zeichengerät oder eine benannte Pipe.";
        default:
            return "Ausgabedatei " + Quoted(path) + " kann nicht angelegt werden (" +
                   DescribeOutputError(plan.refusal) + ").";
    }
}

std::string RefusedTrace(const std::string& trace, const CliOptions& options,
                         const PortEnvironment& env) {
    // A trace that names the call's own file would destroy it: the input before it is read,
    // or the chip's image.
    if (!options.file.empty() && sys::SameFile(trace, options.file)) {
        return "Die Aufzeichnungsdatei " + Quoted(trace) + " ist zugleich die Datei " +
               Quoted(options.file) + " des Aufrufs; die Aufzeichnung würde sie überschreiben.";
    }
    if (std::string conflict = TraceConflict(env); !conflict.empty()) return conflict;
    const OutputPlan plan = PlanOutput(trace);
    if (plan.way != OutputWay::Refused) return {};
    return "Die Aufzeichnungsdatei " + Quoted(trace) + " (VELMO_TRACE) kann nicht angelegt " +
           "werden: " + DescribeOutputError(plan.refusal) + ".";
}

}  // namespace

int CheckOutputs(const CliOptions& options, std::ostream& err) {
    const PortEnvironment env = CliPortEnvironment(options.trace, options.portChoice);
    if (options.command == Command::Read) {
        if (std::string refused = RefusedOutput(options.file); !refused.empty()) {
            return Refuse(err, refused);
        }
        if (WritesSimChip(env, options.file)) {
            return Refuse(err, "Die Ausgabedatei " + Quoted(options.file) +
                                   " ist zugleich die Chip-Datei des Simulators "
                                   "(VELMO_SIM_CHIP); das Speichern würde den Chip "
                                   "überschreiben. Bitte eine andere Datei wählen.");
        }
    }
    if (env.trace.empty()) return kExitOk;
    if (std::string refused = RefusedTrace(env.trace, options, env); !refused.empty()) {
        return Refuse(err, refused);
    }
    return kExitOk;
}

bool ResultsToStandardError(const CliOptions& options) {
    const std::string trace = TracePath(options.trace);
    return (options.command == Command::Read && sys::LeadsToStandardOutput(options.file)) ||
           (!trace.empty() && sys::LeadsToStandardOutput(trace));
}

PortEnvironment CliPortEnvironment(const std::string& trace, PortChoice port) {
    PortEnvironment env{Env("VELMO_PORT"), Env("VELMO_SIM_OPTIONS"), Env("VELMO_SIM_CHIP"),
                        TracePath(trace), Env("VELMO_GPIO")};
    if (port == PortChoice::Gpio) {
        env.port = "gpio";
    } else if (port == PortChoice::Parallel && IsGpioBackend(env.port)) {
        env.port = "auto";
    }
    return env;
}

}  // namespace velmo::cli
