// The line tracer: a VCD that a waveform viewer reads, checked by decoding it again.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>

#include "RecordingPort.h"
#include "isp/IspProtocol.h"
#include "isp/PortFactory.h"
#include "isp/Settings.h"
#include "isp/TracePort.h"

namespace velmo {
namespace {

namespace fs = std::filesystem;

struct Vcd {
    std::string timescale;
    std::string scope;
    std::map<std::string, std::string> idToName;
    // Per signal name: (time, level) in file order, $dumpvars first.
    std::map<std::string, std::vector<std::pair<std::int64_t, int>>> changes;
    bool endDefinitions = false;
    bool timesIncrease = true;
};

// A small reader of the subset a waveform viewer needs.
Vcd ParseVcd(const std::string& text) {
    Vcd vcd;
    std::istringstream in(text);
    std::string token;
    std::int64_t now = -1;
    while (in >> token) {
        if (token == "$timescale") {
            in >> vcd.timescale;
        } else if (token == "$scope") {
            std::string kind;
            in >> kind >> vcd.scope;
        } else if (token == "$var") {
            std::string type, width, id, name;
            in >> type >> width >> id >> name;
            vcd.idToName[id] = name;
        } else if (token == "$enddefinitions") {
            vcd.endDefinitions = true;
        } else if (token[0] == '#') {
            const std::int64_t t = std::stoll(token.substr(1));
            vcd.timesIncrease = vcd.timesIncrease && t > now;
            now = t;
        } else if ((token[0] == '0' || token[0] == '1') && token.size() > 1) {
            const auto it = vcd.idToName.find(token.substr(1));
            if (it != vcd.idToName.end()) {
                vcd.changes[it->second].push_back({now, token[0] - '0'});
            }
        }
        if (token[0] == '$' && token != "$end" && token != "$dumpvars") {
            while (token != "$end" && in >> token) {
            }
        }
    }
    return vcd;
}

int LevelAt(const std::vector<std::pair<std::int64_t, int>>& changes, std::int64_t t) {
    int level = -1;
    for (const auto& [when, value] : changes) {
        if (when > t) break;
        level = value;
    }
    return level;
}

// MOSI sampled at each rising edge of SCK, eight bits to a byte.
std::vector<std::uint8_t> DecodeBytes(const Vcd& vcd) {
    std::vector<std::uint8_t> bytes;
    const auto& sck = vcd.changes.at("SCK");
    const auto& mosi = vcd.changes.at("MOSI");
    int bits = 0;
    std::uint8_t value = 0;
    for (std::size_t i = 1; i < sck.size(); ++i) {
        if (sck[i].second == 1 && sck[i - 1].second == 0) {
            value = static_cast<std::uint8_t>((value << 1) | LevelAt(mosi, sck[i].first));
            if (++bits == 8) {
                bytes.push_back(value);
                bits = 0;
                value = 0;
            }
        }
    }
    return bytes;
}

class Trace : public ::testing::Test {
  protected:
    void SetUp() override {
        dir_ = fs::temp_directory_path() /
               ("velmo-trace-" + std::to_string(::getpid()) + "-" +
                ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(dir_);
        fs::create_directories(dir_);
        path_ = (dir_ / "lines.vcd").string();
    }
    void TearDown() override { fs::remove_all(dir_); }

    std::string FileText() const {
        std::ifstream in(path_);
        std::stringstream text;
        text << in.rdbuf();
        return text.str();
    }

    fs::path dir_;
    std::string path_;
};

TEST_F(Trace, AProgrammingEnableDecodesFromTheDump) {
    PortSetup setup = CreatePort({"sim", "clock=virtual", "", path_});
    ASSERT_NE(dynamic_cast<TracePort*>(setup.port.get()), nullptr);
    setup.port->StartDriver();
    ASSERT_TRUE(setup.port->DriverActive()) << setup.port->DriverMessage();
    EXPECT_NE(setup.port->DriverMessage().find(path_), std::string::npos);
    const std::uint8_t mode = static_cast<std::uint8_t>(ProgrammerMode::Board);
    const std::uint32_t bitDelay = 2;
    IspProtocol isp(*setup.port, *setup.clock, mode, bitDelay);
    ASSERT_TRUE(isp.StartSequence());
    isp.ProgrammingEnable();
    isp.EndSequence();
    setup.port->StopDriver();

    const Vcd vcd = ParseVcd(FileText());
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

TEST_F(Trace, RecordsOnlyChangesOfTheSixLines) {
    VirtualClock clock;
    auto inner = std::make_unique<fakes::RecordingPort>(&clock);
    fakes::RecordingPort* raw = inner.get();
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
    const std::string text = FileText();
    const std::string body = text.substr(text.find("$dumpvars"));
    EXPECT_EQ(body,
              "$dumpvars\n0a\n0b\n0c\n0d\n0e\n0f\n$end\n"
              "#10\n1a\n"
              "#15\n1e\n1f\n"
              "#20\n0a\n1b\n1c\n1d\n");
}

TEST_F(Trace, AFileThatCannotBeCreatedFailsTheStart) {
    VirtualClock clock;
    auto inner = std::make_unique<fakes::RecordingPort>(&clock);
    fakes::RecordingPort* raw = inner.get();
    const std::string path = (dir_ / "missing" / "x.vcd").string();
    TracePort trace(std::move(inner), clock, path);
    trace.StartDriver();
    EXPECT_FALSE(trace.DriverActive());
    EXPECT_FALSE(raw->DriverActive()) << "the backend is stopped again";
    EXPECT_NE(trace.DriverMessage().find(path), std::string::npos);
    EXPECT_NE(trace.DriverMessage().find("VELMO_TRACE"), std::string::npos);
}

}  // namespace
}  // namespace velmo
