// What only POSIX allows under a running simulator: a named pipe for its chip, and a folder
// removed while the chip file in it is locked and open (Windows keeps both from going).
#include <gtest/gtest.h>

#include <filesystem>

#include "sim/SimPort.h"
#include "support/FileKinds.h"
#include "support/IspDriver.h"
#include "support/TempDir.h"
#include "timing/Clock.h"

namespace velmo {
namespace {

SimOptions WithFile(const std::string& path) {
    SimOptions options;
    options.chipFile = path;
    return options;
}

TEST(SimChipFileOnPosix, PipesAreNoChipFiles) {
    testing::TempDir dir;
    const std::string pipe = dir.Path("chip.pipe");
    ASSERT_TRUE(testing::MakeFifo(pipe));
    VirtualClock clock;
    SimPort port(clock, WithFile(pipe));  // would wait for a writer if it opened the pipe plainly
    port.StartDriver();
    EXPECT_FALSE(port.DriverActive());
    EXPECT_NE(port.DriverMessage().find("keine gewöhnliche Datei"), std::string::npos)
        << port.DriverMessage();
}

TEST(SimChipFileOnPosix, ASaveThatFailsIsReportedByFinishFile) {
    testing::TempDir dir;
    const std::string folder = dir.Path("chips");
    std::filesystem::create_directories(folder);
    VirtualClock clock;
    SimPort port(clock, WithFile(folder + "/chip.bin"));
    port.StartDriver();
    EXPECT_EQ(port.FinishFile(), "");
    std::filesystem::remove_all(folder);
    testing::IspDriver isp(port, clock, ProgrammerMode::Board, 2);
    ASSERT_TRUE(isp.StartSequence());
    isp.ProgrammingEnable();
    ASSERT_EQ(isp.WriteCodeByte(0x0001, 0x11), 1);
    isp.EndSequence();
    const std::string lost = port.FinishFile();
    EXPECT_NE(lost.find("kann nicht geschrieben werden"), std::string::npos) << lost;
    EXPECT_NE(lost.find(folder + "/chip.bin"), std::string::npos) << lost;
}

}  // namespace
}  // namespace velmo
