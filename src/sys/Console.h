#pragma once

namespace velmo::sys {

// Whether the program's standard error is a terminal a person watches.
bool StandardErrorIsTerminal();

}  // namespace velmo::sys
