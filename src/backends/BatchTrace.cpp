#include "backends/BatchTrace.h"

#include "sys/Files.h"

namespace velmo {

std::string BatchTraceConflict(const PortEnvironment& environment, const std::string& batchFile) {
    if (std::string conflict = TraceConflict(environment); !conflict.empty()) return conflict;
    if (!sys::SameFile(environment.trace, batchFile)) return {};
    return "Die Aufzeichnungsdatei \"" + environment.trace +
           "\" (VELMO_TRACE) ist zugleich die zu programmierende Datei; die Aufzeichnung würde "
           "sie überschreiben. Bitte eine andere Datei wählen.";
}

}  // namespace velmo
