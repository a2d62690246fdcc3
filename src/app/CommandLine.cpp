// Placeholder until the parser lands.
#include "app/CommandLine.h"

namespace velmo {
CommandLineSettings ParseCommandLine(const std::string&) {
    CommandLineSettings s;
    s.batch.active = true;
    s.batch.action = "1";
    return s;
}
std::string JoinArguments(int argc, const char* const* argv) {
    std::string line;
    for (int i = 1; i < argc; ++i) {
        if (i > 1) line += ' ';
        line += argv[i];
    }
    return line;
}
}  // namespace velmo
