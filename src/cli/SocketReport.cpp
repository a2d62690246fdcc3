#include "cli/SocketReport.h"

#include <cstdio>

#include "cli/Texts.h"

namespace velmo::cli {

namespace {

std::string Hex2Bare(std::uint8_t value) {
    char text[4];
    std::snprintf(text, sizeof text, "%.2X", static_cast<unsigned>(value));
    return text;
}

const char* FaultName(SocketFault fault) {
    switch (fault) {
        case SocketFault::None:
            return "none";
        case SocketFault::NoChip:
            return "no-chip";
        case SocketFault::NotErased:
            return "not-erased";
        case SocketFault::WriteFailed:
            return "write";
        case SocketFault::Mismatch:
            return "mismatch";
    }
    return "none";
}

std::string JsonString(const std::string& text) {
    std::string out = "\"";
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if (c == '"' || c == '\\') {
            out += '\\';
            out += c;
        } else if (byte < 0x20) {
            char escaped[8];
            std::snprintf(escaped, sizeof escaped, "\\u%04x", byte);
            out += escaped;
        } else {
            out += c;
        }
    }
    return out + "\"";
}

}  // namespace

std::string SocketLine(unsigned socket, const SocketResult& result) {
    const std::string head = "Sockel " + std::to_string(socket + 1) + ": ";
    const std::string at = "Fehler bei " + Hex4(result.address) + ": ";
    switch (result.fault) {
        case SocketFault::None:
            return head + "OK";
        case SocketFault::NoChip:
            return head + "Fehler: kein Chip";
        case SocketFault::NotErased:
            return head + at + "nach dem Löschen FF erwartet, gelesen " +
                   Hex2Bare(result.readBack);
        case SocketFault::WriteFailed:
            return head + at + "geschrieben " + Hex2Bare(result.wanted) + ", gelesen " +
                   Hex2Bare(result.readBack);
        case SocketFault::Mismatch:
            return head + at + "erwartet " + Hex2Bare(result.wanted) + ", gelesen " +
                   Hex2Bare(result.readBack) + " (" + std::to_string(result.differing) +
                   (result.differing == 1 ? " Byte weicht ab)" : " Bytes weichen ab)");
    }
    return head;
}

std::string FormatReport(const RunReport& report) {
    std::string json = "{\n  \"command\": " + JsonString(report.command) +
                       ",\n  \"file\": " + JsonString(report.file) +
                       ",\n  \"status\": " + std::to_string(report.status) + ",\n  \"error\": " +
                       (report.error.empty() ? "null" : JsonString(report.error)) +
                       ",\n  \"sockets\": [";
    for (std::size_t s = 0; s < report.sockets.size(); ++s) {
        const SocketResult& result = report.sockets[s];
        const bool ok = report.error.empty() && result.ok();
        json += s == 0 ? "\n" : ",\n";
        json += "    {\"socket\": " + std::to_string(s + 1) + ", \"ok\": " +
                (ok ? "true" : "false") + ", \"fault\": " + JsonString(FaultName(result.fault));
        if (!result.ok()) {
            json += ", \"address\": " + std::to_string(result.address) +
                    ", \"wanted\": " + std::to_string(result.wanted) +
                    ", \"read\": " + std::to_string(result.readBack);
        }
        json += ", \"message\": " +
                JsonString(ok || !result.ok() ? SocketLine(static_cast<unsigned>(s), result)
                                              : "Sockel " + std::to_string(s + 1) + ": Fehler: " +
                                                    report.error) +
                "}";
    }
    return json + (report.sockets.empty() ? "]\n}\n" : "\n  ]\n}\n");
}

}  // namespace velmo::cli
