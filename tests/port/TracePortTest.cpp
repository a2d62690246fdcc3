// The line tracer: a VCD that a waveform viewer reads, checked by decoding it again.
#include <gtest/gtest.h>
#include <unistd.h>

#include "port/TracePort.h"
#include "support/FakePort.h"
#include "support/TempDir.h"

namespace velmo {
namespace {

using testing::FakePort;

TEST(Trace, RecordsOnlyChangesOfTheSixLines) {
    testing::TempDir dir;
    const std::string path_ = dir.Path("lines.vcd");
    VirtualClock clock;
    auto inner = std::make_unique<FakePort>(&clock);
    FakePort* raw = inner.get();
    {
        TracePort trace(std::move(inner), clock, path_);
        trace.SetBaseAddress(0x278);
        EXPECT_EQ(raw->BaseAddress(), 0x278) << "the base address reaches the backend";
        trace.StartDriver();
        clock.AdvanceNs(10);
        trace.WritePort(0x278, 0xF1);  // MOSI 1; bits 4..7 are no lines
        trace.WritePort(0x278, 0x01);  // no line changed
        trace.WritePort(0x27A, 0xFF);  // control register: no line
        clock.AdvanceNs(5);
        raw->status = 0x28;
        trace.ReadPort(0x279);  // MISO and READY high
        trace.ReadPort(0x278);  // data register read: nothing new
        clock.AdvanceNs(5);
        trace.WritePort(0x278, 0x0E);
    }  // closing flushes
    const std::string text = testing::ReadBytes(path_);
    const std::string body = text.substr(text.find("$dumpvars"));
    EXPECT_EQ(body,
              "$dumpvars\n0a\n0b\n0c\n0d\n0e\n0f\n$end\n"
              "#10\n1a\n"
              "#15\n1e\n1f\n"
              "#20\n0a\n1b\n1c\n1d\n");
}

TEST(Trace, AFileThatCannotBeCreatedFailsTheStart) {
    testing::TempDir dir;
    const std::string path_ = dir.Path("lines.vcd");
    VirtualClock clock;
    auto inner = std::make_unique<FakePort>(&clock);
    FakePort* raw = inner.get();
    const std::string path = dir.Path("missing/x.vcd");
    TracePort trace(std::move(inner), clock, path);
    trace.StartDriver();
    EXPECT_FALSE(trace.DriverActive());
    EXPECT_FALSE(raw->DriverActive()) << "the backend is stopped again";
    EXPECT_NE(trace.DriverMessage().find(path), std::string::npos);
    EXPECT_NE(trace.DriverMessage().find("VELMO_TRACE"), std::string::npos);
}

}  // namespace
}  // namespace velmo
