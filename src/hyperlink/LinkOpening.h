#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

// The parts of the link label that need no window: how its window fits its text, how the
// registered command for web pages becomes the command line that opens a target, and which
// message a failed open shows.
namespace velmo {

// Result codes of opening a link target, in the numbering of the Windows shell: above 32 is
// success, 32 and below name the failure. On Linux:
// - the desktop's opener (xdg-open) cannot be started or fails: kOpenNoAssociation, because
//   it says no program takes that kind of target, or kOpenFileNotFound when it says the
//   target does not exist;
// - the registered web-page program is found but cannot be started: kOpenFileNotFound.
inline constexpr int kOpenOutOfResources = 0;
inline constexpr int kOpenFileNotFound = 2;
inline constexpr int kOpenNoAssociation = 31;
inline constexpr int kOpenSucceeded = 42;

// "Unable to open hyperlink:\n\n" followed by the text for the code.
std::string OpenErrorMessage(int code);
// The text for one code; "Unknown Error (<code>) occurred." for codes without a text.
std::string OpenErrorText(int code);

// Cuts a registered open command at its argument placeholder, dropping the placeholder and
// everything after it: the quoted "%1" first, then the bare %1, then the earliest of the
// desktop-entry field codes %u, %U, %f and %F (with the quotes around it, if any; "%%" is
// an escaped percent sign, not a code). Without a placeholder the whole command stays.
std::string CutAtArgumentPlaceholder(std::string_view command);
// The command line that opens a target with a registered command: the cut command, one
// blank, the target.
std::string FallbackCommandLine(std::string_view registeredCommand, std::string_view target);
// Splits a command line into program and arguments: blanks and tabs separate, double quotes
// group (and inside them a backslash escapes ", `, $ and \), a backslash outside quotes is an
// ordinary character, so Windows-style paths survive.
std::vector<std::string> SplitCommandLine(std::string_view commandLine);

// The Exec value of the [Desktop Entry] group of a .desktop file, with the file format's own
// escapes (\s, \n, \t, \r, \\) resolved; nothing when there is none.
std::optional<std::string> DesktopEntryExec(std::string_view desktopFile);
// Where a desktop file id (as "xdg-mime query default" prints it) may lie, most important
// first: the user's data directory (dataHome, else home/.local/share), then every entry of
// dataDirs (colon-separated, "/usr/local/share:/usr/share" when empty), each followed by
// "/applications/". An id that could climb out of those folders gives no places.
std::vector<std::string> DesktopFilePlaces(std::string_view desktopId, std::string_view dataHome,
                                           std::string_view home, std::string_view dataDirs);

// A window rectangle in its parent's coordinates, edges as in Windows: right and bottom lie
// just outside.
struct EdgeRect {
    int left = 0;
    int top = 0;
    int right = 0;
    int bottom = 0;
    bool operator==(const EdgeRect&) const = default;
};

enum class HorizontalFit { Left, Centre, Right };

// The rectangle a label takes to fit its text: left-aligned keeps its left edge, centred
// moves both side edges inwards by half the difference (so keeps its centre), right-aligned
// keeps its right edge; vertically centred moves top and bottom inwards by half the
// difference, otherwise the top stays and the height becomes the text height. The halves
// truncate toward zero; a text larger than the window moves the edges outwards.
EdgeRect FitRectToText(EdgeRect window, int textWidth, int textHeight, HorizontalFit horizontal,
                       bool centreVertically);

}  // namespace velmo
