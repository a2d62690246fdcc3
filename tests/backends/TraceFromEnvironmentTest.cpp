// VELMO_TRACE around a whole backend: the dump of a real instruction on the simulated chip
// decodes to the bytes sent, with the clock's times.
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>

#include "backends/PortFactory.h"
#include "isp/Settings.h"
#include "port/TracePort.h"
#include "support/IspDriver.h"
#include "support/TempDir.h"
#include "support/Vcd.h"

namespace velmo {
using testing::IspDriver;

namespace {

using testing::DecodeBytes;
using testing::ParseVcd;
using testing::Vcd;

TEST(Trace, AProgrammingEnableDecodesFromTheDump) {
    testing::TempDir dir;
    const std::string path_ = dir.Path("lines.vcd");
    LinkSetup setup = CreateLink({"sim", "clock=virtual", "", path_});
    ASSERT_NE(dynamic_cast<TracePort*>(setup.port.get()), nullptr);
    setup.port->StartDriver();
    ASSERT_TRUE(setup.port->DriverActive()) << setup.port->DriverMessage();
    EXPECT_NE(setup.port->DriverMessage().find(path_), std::string::npos);
    const ProgrammerMode mode = ProgrammerMode::Board;
    const std::uint32_t bitDelay = 2;
    IspDriver isp(*setup.port, *setup.clock, mode, bitDelay);
    ASSERT_TRUE(isp.StartSequence());
    isp.ProgrammingEnable();
    isp.EndSequence();
    setup.port->StopDriver();

    const Vcd vcd = ParseVcd(testing::ReadBytes(path_));
    EXPECT_TRUE(vcd.endDefinitions);
    EXPECT_EQ(vcd.timescale, "1ns");
    EXPECT_EQ(vcd.scope, "velmo");
    EXPECT_TRUE(vcd.timesIncrease);
    std::vector<std::string> names;
    for (const auto& [id, name] : vcd.idToName) names.push_back(name);
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, (std::vector<std::string>{"ENABLE", "MISO", "MOSI", "READY", "RST", "SCK"}));
    for (const std::string& name : names) {
        ASSERT_FALSE(vcd.changes.at(name).empty()) << name;
        EXPECT_EQ(vcd.changes.at(name).front().first, 0) << name << " has a level from time 0";
    }
    EXPECT_EQ(DecodeBytes(vcd), (std::vector<std::uint8_t>{0xAC, 0x53, 0x55}));

    // The times are the clock's: RST rises 1 ms after the start, READY is seen high when
    // it is read at the end of the Board start sequence.
    const auto& rst = vcd.changes.at("RST");
    ASSERT_GE(rst.size(), 2u);
    EXPECT_EQ(rst[1], (std::pair<std::int64_t, int>{1'000'001, 1}));
    const auto& ready = vcd.changes.at("READY");
    ASSERT_EQ(ready.size(), 2u);
    EXPECT_EQ(ready[0].second, 0);
    EXPECT_EQ(ready[1], (std::pair<std::int64_t, int>{1'000'001 + 2 * 300'000'001 + 100'001, 1}));
}

}  // namespace
}  // namespace velmo
