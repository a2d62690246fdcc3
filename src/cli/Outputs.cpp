#include "cli/Outputs.h"

#include <cstdlib>
#include <vector>

#include "cli/CliRunner.h"
#include "cli/Texts.h"
#include "image/OutputFile.h"
#include "port/SettingText.h"
#include "sys/Files.h"

namespace velmo::cli {

namespace {

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

// The files of the call a trace or report must not take the place of: the input of program
// or verify, every output of read.
std::vector<std::string> FilesOfCall(const CliOptions& options) {
    std::vector<std::string> files;
    if (options.file.empty() || options.command == Command::Lock) return files;
    const unsigned count = options.command == Command::Read ? options.sockets : 1;
    for (unsigned socket = 0; socket < count; ++socket) {
        files.push_back(OutputOfSocket(options, socket));
    }
    return files;
}

std::string RefusedTrace(const std::string& trace, const CliOptions& options,
                         const PortEnvironment& env) {
    // A trace that names the call's own file would destroy it: the input before it is read,
    // or the chip's image.
    for (const std::string& file : FilesOfCall(options)) {
        if (!sys::SameFile(trace, file)) continue;
        return "Die Aufzeichnungsdatei " + Quoted(trace) + " ist zugleich die Datei " +
               Quoted(file) + " des Aufrufs; die Aufzeichnung würde sie überschreiben.";
    }
    if (std::string conflict = TraceConflict(env); !conflict.empty()) return conflict;
    const OutputPlan plan = PlanOutput(trace);
    if (plan.way != OutputWay::Refused) return {};
    return "Die Aufzeichnungsdatei " + Quoted(trace) + " (VELMO_TRACE) kann nicht angelegt " +
           "werden: " + DescribeOutputError(plan.refusal) + ".";
}

// The report must not take the place of any other file of the call or of the chip.
std::string RefusedReport(const std::string& report, const CliOptions& options,
                          const PortEnvironment& env) {
    std::vector<std::string> others = FilesOfCall(options);
    if (!env.trace.empty()) others.push_back(env.trace);
    for (const std::string& other : others) {
        if (!sys::SameFile(report, other)) continue;
        return "Die Berichtsdatei " + Quoted(report) + " ist zugleich die Datei " + Quoted(other) +
               " des Aufrufs.";
    }
    if (WritesSimChip(env, report)) {
        return "Die Berichtsdatei " + Quoted(report) +
               " ist zugleich eine Chip-Datei des Simulators (VELMO_SIM_CHIP).";
    }
    const OutputPlan plan = PlanOutput(report);
    if (plan.way != OutputWay::Refused) return {};
    return "Die Berichtsdatei " + Quoted(report) +
           " kann nicht angelegt werden: " + DescribeOutputError(plan.refusal) + ".";
}

}  // namespace

std::string OutputOfSocket(const CliOptions& options, unsigned socket) {
    return options.sockets > 1 ? SocketPath(options.file, socket) : options.file;
}

int CheckOutputs(const CliOptions& options, std::ostream& err) {
    const PortEnvironment env =
        CliPortEnvironment(options.trace, options.portChoice, options.sockets);
    if (options.command == Command::Read) {
        for (unsigned socket = 0; socket < options.sockets; ++socket) {
            const std::string path = OutputOfSocket(options, socket);
            if (std::string refused = RefusedOutput(path); !refused.empty()) {
                return Refuse(err, refused);
            }
            if (WritesSimChip(env, path)) {
                return Refuse(err, "Die Ausgabedatei " + Quoted(path) +
                                       " ist zugleich die Chip-Datei des Simulators "
                                       "(VELMO_SIM_CHIP); das Speichern würde den Chip "
                                       "überschreiben. Bitte eine andere Datei wählen.");
            }
        }
    }
    if (!env.trace.empty()) {
        if (std::string refused = RefusedTrace(env.trace, options, env); !refused.empty()) {
            return Refuse(err, refused);
        }
    }
    if (!options.report.empty()) {
        if (std::string refused = RefusedReport(options.report, options, env); !refused.empty()) {
            return Refuse(err, refused);
        }
    }
    return kExitOk;
}

bool ResultsToStandardError(const CliOptions& options) {
    const std::string trace = TracePath(options.trace);
    return (options.command == Command::Read && sys::LeadsToStandardOutput(options.file)) ||
           (!trace.empty() && sys::LeadsToStandardOutput(trace)) ||
           (!options.report.empty() && sys::LeadsToStandardOutput(options.report));
}

PortEnvironment CliPortEnvironment(const std::string& trace, PortChoice port, unsigned sockets) {
    PortEnvironment env = EnvironmentOfProcess();
    env.trace = TracePath(trace);
    env.sockets = sockets;
    if (port == PortChoice::Gpio) {
        env.port = "gpio";
    } else if (port == PortChoice::Parallel && IsGpioBackend(env.port)) {
        env.port = "auto";
    }
    return env;
}

}  // namespace velmo::cli
