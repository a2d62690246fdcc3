#pragma once

#include <QString>

namespace velmo::ui {

// Command ids of the main window's menu and toolbar. A toolbar button sends the same
// command as the menu item with its id.
enum Command : int {
    kFileOpen = 40001,
    kFileSaveAs = 40002,
    kExit = 40003,
    kModeBoard = 40004,
    kModeRaw = 40005,
    kErase = 40006,
    kRead = 40007,
    kVerify = 40008,
    kLockBits = 40009,
    kInterface = 40010,
    kInfo = 40011,
    kProgram = 40012,
    kAbort = 40018,
    kClockRate = 40022,
    kPortLpt1 = 40025,
    kPortLpt2 = 40026,
    kBatchHelp = 40027,
    kPortLpt3 = 40028,
    // The framework's help command: F1, with no menu item or button of its own.
    kHelp = 57670,
};

// Positions of the top-level menus in the menu bar.
enum TopMenu : int { kMenuFile, kMenuPort, kMenuMode, kMenuAction, kMenuExtras, kMenuHelp };
inline constexpr int kTopMenuCount = 6;

// The string kept under a command id for its toolbar button: "<menu prompt>\n<tip>".
// Empty for a command without one.
QString CommandString(int command);

// A tip is the second line-feed-separated field of its string: the text between the first
// and the second line feed, or to the end.
QString TipFromString(const QString& text);

}  // namespace velmo::ui
