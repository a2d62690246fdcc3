#pragma once

#include <cctype>
#include <string>
#include <string_view>

// The words of settings a user types (VELMO_GPIO, VELMO_SIM_OPTIONS, velmo-cli's options):
// blanks around a value do not count, and neither does the case of a name.
namespace velmo {

inline std::string_view TrimBlanks(std::string_view text) {
    while (!text.empty() && std::isspace(static_cast<unsigned char>(text.front()))) {
        text.remove_prefix(1);
    }
    while (!text.empty() && std::isspace(static_cast<unsigned char>(text.back()))) {
        text.remove_suffix(1);
    }
    return text;
}

// text in double quotes, as the user wrote it. Built by appending, since GCC 12 takes
// "\"" + text + "\"" for an overlapping copy (a false -Wrestrict).
inline std::string Quoted(std::string_view text) {
    std::string quoted;
    quoted.reserve(text.size() + 2);
    quoted.append(1, '"').append(text).append(1, '"');
    return quoted;
}

inline std::string Lowercase(std::string_view text) {
    std::string out(text);
    for (char& c : out) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return out;
}

// Walks a comma-separated list of key=value (VELMO_GPIO, VELMO_FTDI): blank items are
// skipped, blanks around names and values dropped, names taken in lower case. visit(item, key,
// value) gets each item as written with its key and value and returns a German message to stop
// at it, or an empty string to go on. The first message is returned, empty when there is none.
template <typename Visit>
std::string ForEachSetting(std::string_view text, Visit&& visit) {
    while (true) {
        const std::size_t comma = text.find(',');
        const std::string_view item = TrimBlanks(text.substr(0, comma));
        if (!item.empty()) {
            const std::size_t equals = item.find('=');
            if (equals == std::string_view::npos) {
                return "\"" + std::string(item) + "\" hat keinen Wert (Form: name=wert)";
            }
            std::string message = visit(item, Lowercase(TrimBlanks(item.substr(0, equals))),
                                        TrimBlanks(item.substr(equals + 1)));
            if (!message.empty()) return message;
        }
        if (comma == std::string_view::npos) return {};
        text.remove_prefix(comma + 1);
    }
}

// An item of a key=value list whose name no setting has; known lists the names there are.
inline std::string UnknownSettingName(std::string_view item, std::string_view known) {
    return "unbekannter Name " + Quoted(TrimBlanks(item.substr(0, item.find('=')))) + " in " +
           Quoted(item) + " (bekannt: " + std::string(known) + ")";
}

// An item that leaves out ("-") a line no programming can do without.
inline std::string LineNeeded(std::string_view item, std::string_view line) {
    return Quoted(item) + ": " + std::string(line) +
           " wird immer gebraucht und kann nicht weggelassen werden";
}

// A file name for one socket of a gang: "{n}" in pattern stands for the socket's number,
// counted from 1 (socket counts from 0).
inline std::string SocketPath(const std::string& pattern, unsigned socket) {
    std::string path = pattern;
    const std::string number = std::to_string(socket + 1);
    for (std::size_t at = path.find("{n}"); at != std::string::npos;
         at = path.find("{n}", at + number.size())) {
        path.replace(at, 3, number);
    }
    return path;
}

}  // namespace velmo
