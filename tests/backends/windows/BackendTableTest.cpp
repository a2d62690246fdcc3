// Windows' backends: auto means InpOut, the simulator works as on Linux, the Linux backends
// are unknown here, and a parallel port serves five sockets however it is reached.
#include <gtest/gtest.h>

#include "backends/PortFactory.h"
#include "port/windows/InpOutPort.h"
#include "sim/SimPort.h"

namespace velmo {
namespace {

TEST(WindowsBackends, VelmoPortChoosesInpOutOrTheSimulator) {
    struct Row {
        const char* value;
        bool inpout;
        bool sim;
        unsigned sockets;
        const char* problem;  // a part of SocketProblem's answer, or "" for none
    };
    const Row rows[] = {
        {"", true, false, 5, ""},         {"auto", true, false, 5, ""},
        {" InpOut ", true, false, 1, ""}, {"inpout", true, false, 6, "höchstens 5 Sockel"},
        {"sim", false, true, 1, ""},      {"ppdev", false, false, 1, ""},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.value);
        PortEnvironment env{row.value, "", "", ""};
        env.sockets = row.sockets;
        const std::string problem = SocketProblem(env);
        EXPECT_NE(problem.find(row.problem), std::string::npos) << problem;
        EXPECT_EQ(problem.empty(), *row.problem == '\0') << problem;
        if (!problem.empty()) continue;
        LinkSetup setup = CreateLink(env);
        EXPECT_EQ(dynamic_cast<InpOutPort*>(setup.port.get()) != nullptr, row.inpout);
        EXPECT_EQ(dynamic_cast<SimPort*>(setup.port.get()) != nullptr, row.sim);
        if (row.inpout || row.sim) continue;
        setup.port->StartDriver();
        EXPECT_NE(setup.port->DriverMessage().find("Möglich sind auto, inpout, ftdi und sim."),
                  std::string::npos)
            << setup.port->DriverMessage();
    }
}

}  // namespace
}  // namespace velmo
