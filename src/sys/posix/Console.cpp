#include "sys/Console.h"

#include <unistd.h>

namespace velmo::sys {

bool StandardErrorIsTerminal() {
    return ::isatty(STDERR_FILENO) == 1;
}

void PrepareConsole() {
    // Streams pass bytes unchanged here, and terminals take UTF-8 as the locale says.
}

}  // namespace velmo::sys
