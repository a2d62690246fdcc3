// The simulated flash kept in a file across runs.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "isp/Settings.h"
#include "sim/SimChip.h"
#include "sim/SimPort.h"
#include "support/IspDriver.h"
#include "support/TempDir.h"
#include "timing/Clock.h"

namespace velmo {
using testing::IspDriver;

namespace {

namespace fs = std::filesystem;

class SimChipFile : public ::testing::Test {
  protected:
    void SetUp() override {
        dir_ = m_tempDir.Root();
        fs::create_directories(dir_);
        path_ = (dir_ / "chip.bin").string();
    }

    static SimOptions WithFile(const std::string& path) {
        SimOptions options;
        options.chipFile = path;
        return options;
    }

    std::string FileBytes() const {
        std::ifstream in(path_, std::ios::binary);
        return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    }

    // One programming session: start, enable, write, end (RST falls).
    static void Program(SimPort& port, VirtualClock& clock,
                        const std::vector<std::pair<std::uint32_t, std::uint8_t>>& bytes) {
        const ProgrammerMode mode = ProgrammerMode::Board;
        const std::uint32_t bitDelay = 2;
        IspDriver isp(port, clock, mode, bitDelay);
        ASSERT_TRUE(isp.StartSequence());
        isp.ProgrammingEnable();
        for (const auto& [address, value] : bytes) {
            ASSERT_EQ(isp.WriteCodeByte(address, value), 1);
        }
        isp.EndSequence();
    }

    testing::TempDir m_tempDir;
    fs::path dir_;
    std::string path_;
};

TEST_F(SimChipFile, AMissingFileIsCreatedErased) {
    VirtualClock clock;
    SimPort port(clock, WithFile(path_));
    port.StartDriver();
    EXPECT_TRUE(port.DriverActive()) << port.DriverMessage();
    const std::string bytes = FileBytes();
    EXPECT_EQ(bytes.size(), FLASH_SIZE);
    EXPECT_TRUE(std::all_of(bytes.begin(), bytes.end(), [](char c) { return c == '\xFF'; }));
}

TEST_F(SimChipFile, WhatOneRunProgramsTheNextRunReads) {
    {
        VirtualClock clock;
        SimPort port(clock, WithFile(path_));
        port.StartDriver();
        Program(port, clock, {{0x0000, 0x12}, {0x1234, 0x00}, {0x2FFF, 0x7E}});
        // Saved when RST fell at the end of the session, before any stop.
        const std::string bytes = FileBytes();
        ASSERT_EQ(bytes.size(), FLASH_SIZE);
        EXPECT_EQ(bytes[0x0000], '\x12');
        EXPECT_EQ(bytes[0x1234], '\x00');
        EXPECT_EQ(bytes[0x2FFF], '\x7E');
        EXPECT_EQ(bytes[0x0001], '\xFF');
        port.StopDriver();
    }
    VirtualClock clock;
    SimPort port(clock, WithFile(path_));
    port.StartDriver();
    EXPECT_EQ(port.Chip().Flash()[0x1234], 0x00);
    const ProgrammerMode mode = ProgrammerMode::Board;
    const std::uint32_t bitDelay = 2;
    IspDriver isp(port, clock, mode, bitDelay);
    ASSERT_TRUE(isp.StartSequence());
    isp.ProgrammingEnable();
    EXPECT_EQ(isp.ReadCodeByte(0x0000), 0x12);
    EXPECT_EQ(isp.ReadCodeByte(0x2FFF), 0x7E);
}

TEST_F(SimChipFile, AWriteStillRunningAtTheEndIsFinishedAndSaved) {
    {
        VirtualClock clock;
        SimPort port(clock, WithFile(path_));
        port.StartDriver();
        const ProgrammerMode mode = ProgrammerMode::Raw;
        const std::uint32_t bitDelay = 2;
        IspDriver isp(port, clock, mode, bitDelay);
        isp.StartSequence();
        isp.ProgrammingEnable();
        // The bare write instruction, no read-back: the port goes away mid-write.
        isp.ShiftOutByte(at89s53::WriteOpcode(0x0100), bitDelay);
        isp.ShiftOutByte(0x00, bitDelay);
        isp.ShiftOutByte(0x99, bitDelay);
    }
    EXPECT_EQ(FileBytes()[0x0100], '\x99');
}

TEST_F(SimChipFile, ABadFileIsAStartFailureNamingIt) {
    struct Case {
        const char* name;
        std::function<std::string(const fs::path&)> make;  // returns the path to use
        const char* says;
    };
    const Case cases[] = {
        {"too short",
         [](const fs::path& dir) {
             std::ofstream((dir / "short.bin").string(), std::ios::binary) << "abc";
             return (dir / "short.bin").string();
         },
         "12288"},
        {"too long",
         [](const fs::path& dir) {
             std::ofstream out((dir / "long.bin").string(), std::ios::binary);
             out << std::string(FLASH_SIZE + 1, '\xFF');
             return (dir / "long.bin").string();
         },
         "12288"},
        {"a directory",
         [](const fs::path& dir) {
             fs::create_directories(dir / "adir");
             return (dir / "adir").string();
         },
         "gelesen"},
        {"in a missing folder",
         [](const fs::path& dir) { return (dir / "nowhere" / "chip.bin").string(); },
         "geschrieben"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string path = c.make(dir_);
        VirtualClock clock;
        SimPort port(clock, WithFile(path));
        port.StartDriver();
        EXPECT_FALSE(port.DriverActive());
        const std::string message = port.DriverMessage();
        EXPECT_NE(message.find(path), std::string::npos) << message;
        EXPECT_NE(message.find(c.says), std::string::npos) << message;
    }
    // A refused file is left as it was.
    std::ifstream in((dir_ / "short.bin").string(), std::ios::binary);
    std::string content((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    EXPECT_EQ(content, "abc");
}

// Another run that is still making the file lets it stand short for a moment; a port built
// then judges the file only under the lock, once the maker is done with it.
TEST_F(SimChipFile, AFileStillBeingMadeWhenThePortIsBuiltIsJudgedUnderTheLock) {
    std::ofstream(path_, std::ios::binary) << "ab";
    VirtualClock clock;
    SimPort port(clock, WithFile(path_));
    std::ofstream(path_, std::ios::binary) << std::string(FLASH_SIZE, '\x5A');
    port.StartDriver();
    ASSERT_TRUE(port.DriverActive()) << port.DriverMessage();
    EXPECT_EQ(port.Chip().Flash()[0x0100], 0x5A);
}

// Two ports on one chip file take turns: the lock is held from the driver's start to its
// stop, the second start waits (and says so) or gives up, and then finds the first's flash.
TEST_F(SimChipFile, ASecondPortOnTheSameFileWaitsForTheFirst) {
    VirtualClock clock;
    SimPort first(clock, WithFile(path_));
    first.StartDriver();
    ASSERT_TRUE(first.DriverActive()) << first.DriverMessage();
    Program(first, clock, {{0x0042, 0x24}});

    std::vector<std::string> notices;
    SimOptions waiting = WithFile(path_);
    waiting.lockWaitSeconds = 0;
    waiting.notice = [&notices](const std::string& text) { notices.push_back(text); };
    SimPort second(clock, waiting);
    second.StartDriver();
    EXPECT_FALSE(second.DriverActive());
    EXPECT_NE(second.DriverMessage().find("wird von einem anderen Lauf benutzt"), std::string::npos)
        << second.DriverMessage();
    EXPECT_TRUE(notices.empty()) << "no wait was allowed, so none was announced";

    // Saving moves the lock over to the new file: it is never free in between.
    Program(first, clock, {{0x0043, 0x25}});
    second.StartDriver();
    EXPECT_FALSE(second.DriverActive());

    first.StopDriver();
    second.StartDriver();
    ASSERT_TRUE(second.DriverActive()) << second.DriverMessage();
    EXPECT_EQ(second.Chip().Flash()[0x0042], 0x24);
    EXPECT_EQ(second.Chip().Flash()[0x0043], 0x25);
}

}  // namespace
}  // namespace velmo
