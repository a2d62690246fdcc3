// velmo-cli on this machine's USB, as a process.
#include <gtest/gtest.h>

#include "cli/CliTestRig.h"
#include "cli/posix/ChildProcess.h"

namespace velmo::testing {
namespace {

using cli::kExitFailure;
using cli::kExitUsage;

bool Contains(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

// This machine's USB, asked for an adapter no bus has: the call ends at once with the reason,
// and never reaches an adapter that may be plugged in.
TEST(CliFtdi, WithoutTheAdapterTheProgramEndsWithStatusOneAndSaysWhy) {
    const ChildResult result =
        RunCli({"--port", "ftdi", "program", kExampleHex},
               {{"VELMO_FTDI", "device=d:255/255"}, {"VELMO_PORT", ""}, {"VELMO_TRACE", ""}});
    ASSERT_TRUE(result.exited);
    EXPECT_EQ(result.status, kExitFailure);
    EXPECT_EQ(result.out, "");
    EXPECT_TRUE(Contains(result.err, "velmo-cli: Port-Treiber nicht gestartet: ") &&
                (Contains(result.err, "Kein FTDI-USB-Adapter gefunden") ||
                 Contains(result.err, "Kein USB-Adapter passt zu device=d:255/255") ||
                 Contains(result.err, "ohne USB-Unterstützung") ||
                 Contains(result.err, "können nicht abgefragt werden")))
        << result.err;
    const ChildResult wrong = RunCli({"--port", "ftdi:", "erase"}, {});
    EXPECT_EQ(wrong.status, kExitUsage);
    EXPECT_TRUE(Contains(wrong.err, "--port ftdi: nennt keine Seriennummer")) << wrong.err;
}

}  // namespace
}  // namespace velmo::testing
