#include "sys/Console.h"

#include <fcntl.h>
#include <io.h>
#include <windows.h>

#include <cstdio>

namespace velmo::sys {

bool StandardErrorIsTerminal() {
    DWORD mode = 0;
    return ::GetConsoleMode(::GetStdHandle(STD_ERROR_HANDLE), &mode) != 0;
}

void PrepareConsole() {
    // Our texts are UTF-8; the console shows them so only when told. Without it "Lösche"
    // comes out in the console's old code page.
    ::SetConsoleOutputCP(CP_UTF8);
    // The C library would turn every line feed into CR LF, and a read chip written to
    // standard output would arrive changed.
    _setmode(_fileno(stdout), _O_BINARY);
    _setmode(_fileno(stderr), _O_BINARY);
}

}  // namespace velmo::sys
