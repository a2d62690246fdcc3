#pragma once

namespace velmo::sys {

// Whether the program's standard error is a terminal a person watches.
bool StandardErrorIsTerminal();

// Standard output and standard error as a program of ours needs them, before anything is
// written: bytes pass unchanged (no line ends added), and a console shows UTF-8 as such.
void PrepareConsole();

}  // namespace velmo::sys
