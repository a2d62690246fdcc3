// --port gpio and --port ADDRESS against VELMO_PORT: which backend velmo-cli takes.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <map>
#include <optional>
#include <string>

#include "cli/CliOptions.h"
#include "cli/CliRunner.h"
#include "cli/posix/ChildProcess.h"
#include "port/linux/GpioPort.h"
#include "port/linux/PpdevPort.h"
#include "sim/SimPort.h"

using namespace velmo;
using namespace velmo::cli;

namespace {

bool Contains(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

TEST(CliPortChoiceTest, PortTakesGpioOrAHexadecimalAddress) {
    const struct {
        std::vector<std::string> args;
        PortChoice choice;
        std::uint16_t port;
    } cases[] = {
        {{"erase"}, PortChoice::Environment, 0x378},
        {{"--port", "gpio", "erase"}, PortChoice::Gpio, 0x378},
        {{"erase", "--port=GPIO"}, PortChoice::Gpio, 0x378},
        {{"--port", "278", "erase"}, PortChoice::Parallel, 0x278},
        // The last one counts, as for every option.
        {{"--port", "gpio", "--port", "3BC", "erase"}, PortChoice::Parallel, 0x3BC},
        {{"--port", "278", "--port", "gpio", "erase"}, PortChoice::Gpio, 0x278},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.args.size() > 1 ? c.args[1] : c.args[0]);
        const ParseResult result = ParseArguments(c.args);
        ASSERT_TRUE(result.ok) << result.error;
        EXPECT_EQ(result.options.portChoice, c.choice);
        EXPECT_EQ(result.options.port, c.port);
    }
    const ParseResult bad = ParseArguments({"--port", "gpi0", "erase"});
    EXPECT_FALSE(bad.ok);
    EXPECT_TRUE(Contains(bad.error, "\"gpi0\"")) << bad.error;
    EXPECT_TRUE(Contains(bad.error, "oder gpio")) << bad.error;
    EXPECT_TRUE(Contains(GeneralHelp(), "--port gpio")) << GeneralHelp();
    EXPECT_TRUE(Contains(GeneralHelp(), "VELMO_GPIO"));
}

// Sets environment variables for one scope and puts the old values back.
class EnvironmentGuard {
  public:
    void Set(const std::string& name, const std::string& value) {
        if (!m_saved.count(name)) {
            const char* old = ::getenv(name.c_str());
            m_saved[name] = old ? std::optional<std::string>(old) : std::nullopt;
        }
        ::setenv(name.c_str(), value.c_str(), 1);
    }
    ~EnvironmentGuard() {
        for (const auto& [name, value] : m_saved) {
            if (value) {
                ::setenv(name.c_str(), value->c_str(), 1);
            } else {
                ::unsetenv(name.c_str());
            }
        }
    }

  private:
    std::map<std::string, std::optional<std::string>> m_saved;
};

TEST(CliPortChoiceTest, PortWinsOverVelmoPort) {
    enum class Kind { Ppdev, Sim, Gpio };
    const struct {
        const char* velmoPort;
        PortChoice choice;
        Kind expected;
    } cases[] = {
        {"gpio", PortChoice::Environment, Kind::Gpio},
        {"sim", PortChoice::Gpio, Kind::Gpio},
        {"ppdev", PortChoice::Gpio, Kind::Gpio},
        // An address asks for a parallel port: the one VELMO_PORT names, ppdev instead of gpio.
        {"gpio", PortChoice::Parallel, Kind::Ppdev},
        {" GPIO ", PortChoice::Parallel, Kind::Ppdev},
        {"sim", PortChoice::Parallel, Kind::Sim},
        {"sim", PortChoice::Environment, Kind::Sim},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.velmoPort) + " / " + std::to_string(static_cast<int>(c.choice)));
        EnvironmentGuard env;
        env.Set("VELMO_PORT", c.velmoPort);
        env.Set("VELMO_SIM_OPTIONS", "clock=virtual");
        env.Set("VELMO_GPIO", "chip=gpiochip0");
        LinkSetup setup = CreateLinkForCli("", c.choice);
        PortIo* port = setup.port.get();
        switch (c.expected) {
            case Kind::Ppdev:
                EXPECT_NE(dynamic_cast<PpdevPort*>(port), nullptr);
                break;
            case Kind::Sim:
                EXPECT_NE(dynamic_cast<SimPort*>(port), nullptr);
                break;
            case Kind::Gpio:
                EXPECT_NE(dynamic_cast<GpioPort*>(port), nullptr);
                break;
        }
    }
}

// This machine has no GPIO chip: the call ends at once with the reason.
TEST(CliPortChoiceTest, WithoutAGpioChipTheProgramEndsWithStatusOneAndSaysWhy) {
    const std::string example = VELMO_SOURCE_DIR "/examples/blink.ihx";
    const struct {
        std::vector<std::string> args;
        std::map<std::string, std::string> env;
        std::vector<std::string> says;
    } cases[] = {
        {{"program", example},
         {{"VELMO_PORT", "gpio"}, {"VELMO_GPIO", ""}, {"VELMO_TRACE", ""}},
         {"Port-Treiber nicht gestartet: Es gibt keinen GPIO-Chip", "/dev/gpiochip*"}},
        {{"--port", "gpio", "erase"},
         {{"VELMO_PORT", "sim"}, {"VELMO_GPIO", ""}, {"VELMO_TRACE", ""}},
         {"Port-Treiber nicht gestartet: Es gibt keinen GPIO-Chip"}},
        {{"program", example},
         {{"VELMO_PORT", "gpio"}, {"VELMO_GPIO", "mosi=10,rst=?"}, {"VELMO_TRACE", ""}},
         {"Port-Treiber nicht gestartet: VELMO_GPIO: \"rst=?\""}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.args.front());
        if (::access("/dev/gpiochip0", F_OK) == 0) GTEST_SKIP() << "this machine has GPIO chips";
        const velmo::testing::ChildResult result = velmo::testing::RunCli(c.args, c.env);
        ASSERT_TRUE(result.exited);
        EXPECT_EQ(result.status, kExitFailure);
        EXPECT_TRUE(result.out.empty()) << result.out;
        for (const std::string& part : c.says) {
            EXPECT_TRUE(Contains(result.err, part)) << result.err << " / " << part;
        }
        // One line, nothing else.
        EXPECT_EQ(result.err.find('\n'), result.err.size() - 1) << result.err;
    }
}

}  // namespace
