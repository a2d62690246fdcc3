#include "sys/Console.h"

#include <unistd.h>

namespace velmo::sys {

bool StandardErrorIsTerminal() {
    return ::isatty(STDERR_FILENO) == 1;
}

}  // namespace velmo::sys
