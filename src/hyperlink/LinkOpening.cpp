#include "hyperlink/LinkOpening.h"

#include <array>
#include <utility>

namespace velmo {

namespace {

constexpr std::array<std::pair<int, std::string_view>, 13> kErrorTexts{{
    {0, "The operating system is out\nof memory or resources."},
    {2, "The specified file was not found."},
    {3, "The specified path was not found."},
    {5, "The operating system denied\naccess to the specified file."},
    {8, "There was not enough memory to complete the operation."},
    {11, "The .EXE file is invalid\n(non-Win32 .EXE or error in .EXE image)."},
    {26, "A sharing violation occurred. "},
    {27, "The filename association is\nincomplete or invalid."},
    {28, "The DDE transaction could not\nbe completed because the request timed out."},
    {29, "The DDE transaction failed."},
    {30,
     "The DDE transaction could not\nbe completed because other DDE transactions\nwere being "
     "processed."},
    {31, "There is no application associated\nwith the given filename extension."},
    {32, "The specified dynamic-link library was not found."},
}};

bool IsBlank(char c) {
    return c == ' ' || c == '\t';
}

// Start of the first desktop-entry field code %u, %U, %f or %F, taking a quote pair around
// it along.
std::string_view::size_type FindFieldCode(std::string_view command) {
    for (std::string_view::size_type i = 0; i + 1 < command.size(); ++i) {
        if (command[i] != '%') {
            continue;
        }
        const char code = command[i + 1];
        if (code == '%') {
            ++i;  // "%%" is a literal percent sign
            continue;
        }
        if (code == 'u' || code == 'U' || code == 'f' || code == 'F') {
            const bool quoted =
                i > 0 && command[i - 1] == '"' && i + 2 < command.size() && command[i + 2] == '"';
            return quoted ? i - 1 : i;
        }
    }
    return std::string_view::npos;
}

std::string_view Trim(std::string_view s) {
    while (!s.empty() && (IsBlank(s.front()) || s.front() == '\r')) {
        s.remove_prefix(1);
    }
    while (!s.empty() && (IsBlank(s.back()) || s.back() == '\r')) {
        s.remove_suffix(1);
    }
    return s;
}

std::string UnescapeDesktopValue(std::string_view value) {
    std::string out;
    for (std::string_view::size_type i = 0; i < value.size(); ++i) {
        if (value[i] != '\\' || i + 1 == value.size()) {
            out += value[i];
            continue;
        }
        switch (const char next = value[++i]) {
            case 's':
                out += ' ';
                break;
            case 'n':
                out += '\n';
                break;
            case 't':
                out += '\t';
                break;
            case 'r':
                out += '\r';
                break;
            case '\\':
                out += '\\';
                break;
            default:
                // Not an escape of this level: the quoting rules of the command line see it.
                out += '\\';
                out += next;
                break;
        }
    }
    return out;
}

}  // namespace

std::string OpenErrorText(int code) {
    for (const auto& [known, text] : kErrorTexts) {
        if (known == code) {
            return std::string(text);
        }
    }
    return "Unknown Error (" + std::to_string(code) + ") occurred.";
}

std::string OpenErrorMessage(int code) {
    return "Unable to open hyperlink:\n\n" + OpenErrorText(code);
}

std::string CutAtArgumentPlaceholder(std::string_view command) {
    auto at = command.find("\"%1\"");
    if (at == std::string_view::npos) {
        at = command.find("%1");
    }
    if (at == std::string_view::npos) {
        at = FindFieldCode(command);
    }
    return std::string(command.substr(0, at));
}

std::string FallbackCommandLine(std::string_view registeredCommand, std::string_view target) {
    std::string line = CutAtArgumentPlaceholder(registeredCommand);
    line += ' ';
    line += target;
    return line;
}

std::vector<std::string> SplitCommandLine(std::string_view commandLine) {
    std::vector<std::string> words;
    std::string word;
    bool inWord = false;
    bool quoted = false;
    for (std::string_view::size_type i = 0; i < commandLine.size(); ++i) {
        const char c = commandLine[i];
        if (quoted) {
            if (c == '"') {
                quoted = false;
            } else if (c == '\\' && i + 1 < commandLine.size() &&
                       std::string_view("\"`$\\").find(commandLine[i + 1]) !=
                           std::string_view::npos) {
                word += commandLine[++i];
            } else {
                word += c;
            }
        } else if (IsBlank(c)) {
            if (inWord) {
                words.push_back(std::move(word));
                word.clear();
                inWord = false;
            }
        } else if (c == '"') {
            quoted = true;
            inWord = true;
        } else {
            word += c;
            inWord = true;
        }
    }
    if (inWord) {
        words.push_back(std::move(word));
    }
    return words;
}

std::optional<std::string> DesktopEntryExec(std::string_view desktopFile) {
    bool inMainGroup = false;
    while (!desktopFile.empty()) {
        const auto end = desktopFile.find('\n');
        std::string_view line = Trim(desktopFile.substr(0, end));
        desktopFile.remove_prefix(end == std::string_view::npos ? desktopFile.size() : end + 1);
        if (line.empty() || line.front() == '#') {
            continue;
        }
        if (line.front() == '[') {
            inMainGroup = line == "[Desktop Entry]";
            continue;
        }
        const auto equals = line.find('=');
        if (!inMainGroup || equals == std::string_view::npos) {
            continue;
        }
        if (Trim(line.substr(0, equals)) == "Exec") {
            return UnescapeDesktopValue(Trim(line.substr(equals + 1)));
        }
    }
    return std::nullopt;
}

std::vector<std::string> DesktopFilePlaces(std::string_view desktopId, std::string_view dataHome,
                                           std::string_view home, std::string_view dataDirs) {
    std::vector<std::string> places;
    if (desktopId.empty() || desktopId.find('/') != std::string_view::npos || desktopId == "." ||
        desktopId == "..") {
        return places;
    }
    std::vector<std::string> bases;
    if (!dataHome.empty()) {
        bases.emplace_back(dataHome);
    } else if (!home.empty()) {
        bases.push_back(std::string(home) + "/.local/share");
    }
    if (dataDirs.empty()) {
        dataDirs = "/usr/local/share:/usr/share";
    }
    while (true) {
        const auto colon = dataDirs.find(':');
        const auto dir = dataDirs.substr(0, colon);
        if (!dir.empty()) {
            bases.emplace_back(dir);
        }
        if (colon == std::string_view::npos) {
            break;
        }
        dataDirs.remove_prefix(colon + 1);
    }
    for (const auto& base : bases) {
        places.push_back(base + "/applications/" + std::string(desktopId));
    }
    return places;
}

EdgeRect FitRectToText(EdgeRect window, int textWidth, int textHeight, HorizontalFit horizontal,
                       bool centreVertically) {
    EdgeRect r = window;
    if (centreVertically) {
        const int inset = (r.bottom - r.top - textHeight) / 2;
        r.top += inset;
        r.bottom -= inset;
    } else {
        r.bottom = r.top + textHeight;
    }
    switch (horizontal) {
        case HorizontalFit::Centre: {
            const int inset = (r.right - r.left - textWidth) / 2;
            r.left += inset;
            r.right -= inset;
            break;
        }
        case HorizontalFit::Right:
            r.left = r.right - textWidth;
            break;
        case HorizontalFit::Left:
            r.right = r.left + textWidth;
            break;
    }
    return r;
}

}  // namespace velmo
