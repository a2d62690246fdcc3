#pragma once

#include <string>
#include <vector>

#include "ops/OperationObserver.h"

namespace velmo::cli {

// "Sockel 1: OK", "Sockel 3: Fehler bei 0x0010: geschrieben 02, gelesen 00",
// "Sockel 6: Fehler: kein Chip"; socket counts from 0.
std::string SocketLine(unsigned socket, const SocketResult& result);

// What a run came to, for --report: the call, its exit status, the reason when the run as a
// whole failed, and every socket's result (all of them failed when the run did).
struct RunReport {
    std::string command;
    std::string file;
    int status = 0;
    std::string error;  // empty when the run reached its end
    std::vector<SocketResult> sockets;
};

// The report as JSON, one object; German texts as UTF-8.
std::string FormatReport(const RunReport& report);

}  // namespace velmo::cli
