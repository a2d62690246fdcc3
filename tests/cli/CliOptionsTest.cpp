#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "cli/CliOptions.h"

using velmo::ProgrammerMode;
using velmo::ProgramStrategy;
using namespace velmo::cli;

namespace {

struct ValidCase {
    std::vector<std::string> args;
    Command command;
    std::string file;
    ProgramStrategy strategy;
    std::uint16_t port;
    ProgrammerMode mode;
    double clock;
    std::string trace;
};

TEST(CliOptionsTest, AcceptsCommandsWithOptionsAnywhere) {
    const ValidCase cases[] = {
        {{"info", "a.hex"},
         Command::Info,
         "a.hex",
         ProgramStrategy::SkipBlank,
         0x378,
         ProgrammerMode::Board,
         24.0,
         ""},
        {{"erase"},
         Command::Erase,
         "",
         ProgramStrategy::SkipBlank,
         0x378,
         ProgrammerMode::Board,
         24.0,
         ""},
        {{"--port", "278", "program", "x.bin"},
         Command::Program,
         "x.bin",
         ProgramStrategy::SkipBlank,
         0x278,
         ProgrammerMode::Board,
         24.0,
         ""},
        {{"program", "x.bin", "--port=0x3BC", "--mode", "RAW"},
         Command::Program,
         "x.bin",
         ProgramStrategy::SkipBlank,
         0x3BC,
         ProgrammerMode::Raw,
         24.0,
         ""},
        {{"program", "--skip-blank", "x.hex"},
         Command::Program,
         "x.hex",
         ProgramStrategy::SkipBlank,
         0x378,
         ProgrammerMode::Board,
         24.0,
         ""},
        {{"program", "--all", "x.hex"},
         Command::Program,
         "x.hex",
         ProgramStrategy::All,
         0x378,
         ProgrammerMode::Board,
         24.0,
         ""},
        {{"program", "--all", "x.hex", "--all"},
         Command::Program,
         "x.hex",
         ProgramStrategy::All,
         0x378,
         ProgrammerMode::Board,
         24.0,
         ""},
        {{"program", "x.hex", "--changed-only", "--clock", "11.0592"},
         Command::Program,
         "x.hex",
         ProgramStrategy::ChangedOnly,
         0x378,
         ProgrammerMode::Board,
         11.0592,
         ""},
        {{"--trace=lines.vcd", "verify", "x.hex"},
         Command::Verify,
         "x.hex",
         ProgramStrategy::SkipBlank,
         0x378,
         ProgrammerMode::Board,
         24.0,
         "lines.vcd"},
        {{"read", "--", "-out.bin"},
         Command::Read,
         "-out.bin",
         ProgramStrategy::SkipBlank,
         0x378,
         ProgrammerMode::Board,
         24.0,
         ""},
        // The last of a repeated option counts.
        {{"--mode", "raw", "--mode", "board", "erase"},
         Command::Erase,
         "",
         ProgramStrategy::SkipBlank,
         0x378,
         ProgrammerMode::Board,
         24.0,
         ""},
    };
    for (const ValidCase& c : cases) {
        const ParseResult result = ParseArguments(c.args);
        SCOPED_TRACE(c.args.front());
        ASSERT_TRUE(result.ok) << result.error;
        EXPECT_EQ(result.options.command, c.command);
        EXPECT_EQ(result.options.file, c.file);
        EXPECT_EQ(result.options.strategy, c.strategy);
        EXPECT_EQ(result.options.port, c.port);
        EXPECT_EQ(result.options.mode, c.mode);
        EXPECT_DOUBLE_EQ(result.options.clockMHz, c.clock);
        EXPECT_EQ(result.options.trace, c.trace);
    }
}

TEST(CliOptionsTest, LockBitsFollowTheChipsProtectionModes) {
    const struct {
        std::string text;
        bool ok;
        std::array<bool, 3> bits;
    } cases[] = {
        {"1", true, {true, false, false}},
        {"1,2", true, {true, true, false}},
        {"2,1", true, {true, true, false}},
        {"1,2,3", true, {true, true, true}},
        {"2", false, {}},
        {"1,3", false, {}},
        {"1,1", false, {}},
        {"4", false, {}},
        {"1,", false, {}},
        {"", false, {}},
        {"12", false, {}},
    };
    for (const auto& c : cases) {
        const ParseResult result = ParseArguments({"lock", c.text});
        EXPECT_EQ(result.ok, c.ok) << c.text;
        if (c.ok && result.ok) {
            EXPECT_EQ(result.options.lockBits, c.bits) << c.text;
        }
        if (!c.ok) {
            EXPECT_NE(result.error.find("Lock-Bits"), std::string::npos) << result.error;
        }
    }
}

TEST(CliOptionsTest, AGangTakesItsSocketsAndReport) {
    const ParseResult result = ParseArguments(
        {"--sockets", "8", "--mode", "raw", "--report=r.json", "read", "chip{n}.bin"});
    ASSERT_TRUE(result.ok) << result.error;
    EXPECT_EQ(result.options.sockets, 8u);
    EXPECT_EQ(result.options.report, "r.json");
    EXPECT_EQ(result.options.file, "chip{n}.bin");
    EXPECT_EQ(ParseArguments({"erase"}).options.sockets, 1u);
}

TEST(CliOptionsTest, RefusesWrongCallsWithAReason) {
    const struct {
        std::vector<std::string> args;
        std::string reason;
    } cases[] = {
        {{}, "Kein Befehl"},
        {{"flash", "x"}, "Unbekannter Befehl \"flash\""},
        {{"--verbose", "erase"}, "Unbekannte Option \"--verbose\""},
        {{"program"}, "program braucht eine Datei"},
        {{"read"}, "read braucht eine Ausgabedatei"},
        {{"lock"}, "lock braucht die Lock-Bits"},
        {{"erase", "x.hex"}, "Zu viele Argumente für erase"},
        {{"verify", "a", "b"}, "Zu viele Argumente für verify: \"b\""},
        {{"erase", "--port"}, "--port braucht einen Wert"},
        {{"--port", "xyz", "erase"}, "Ungültige Port-Adresse \"xyz\""},
        {{"--port", "0", "erase"}, "Ungültige Port-Adresse"},
        {{"--port", "10000", "erase"}, "Ungültige Port-Adresse"},
        {{"--port", "FFFE", "erase"}, "Ungültige Port-Adresse"},
        {{"--mode", "usb", "erase"}, "Ungültiger Modus \"usb\""},
        {{"--clock", "0", "erase"}, "Ungültige Taktfrequenz"},
        {{"--clock", "24MHz", "erase"}, "Ungültige Taktfrequenz"},
        {{"--clock", "nan", "erase"}, "Ungültige Taktfrequenz"},
        {{"--clock", "1e9", "erase"}, "Ungültige Taktfrequenz"},
        {{"--clock", "24,5", "erase"}, "Ungültige Taktfrequenz"},
        {{"--trace=", "erase"}, "--trace braucht einen Dateinamen"},
        {{"verify", "--skip-blank", "x"}, "--skip-blank gilt nur für program"},
        {{"read", "x", "--changed-only"}, "--changed-only gilt nur für program"},
        {{"program", "x", "--skip-blank", "--changed-only"}, "schließen sich aus"},
        {{"program", "x", "--all", "--changed-only"},
         "--all und --changed-only schließen sich aus"},
        {{"program", "--skip-blank", "x", "--all"}, "--skip-blank und --all schließen sich aus"},
        {{"erase", "--all"}, "--all gilt nur für program"},
        {{"info", ""}, "Leerer Dateiname"},
        {{"--sockets", "0", "--mode", "raw", "erase"}, "Ungültige Zahl von Sockeln \"0\""},
        {{"--sockets=9", "--mode", "raw", "erase"}, "Ungültige Zahl von Sockeln \"9\""},
        {{"--sockets", "2x", "--mode", "raw", "erase"}, "Ungültige Zahl von Sockeln"},
        {{"--sockets", "2", "erase"}, "nur mit dem einfachen Kabel: --mode raw"},
        {{"--sockets", "2", "--mode", "raw", "read", "x.bin"}, "Dateinamen mit {n}"},
        {{"--report", "r.json", "info", "x"}, "nicht für info"},
        {{"--report=", "erase"}, "--report braucht einen Dateinamen"},
    };
    for (const auto& c : cases) {
        const ParseResult result = ParseArguments(c.args);
        EXPECT_FALSE(result.ok) << c.reason;
        EXPECT_NE(result.error.find(c.reason), std::string::npos)
            << "expected \"" << c.reason << "\" in \"" << result.error << "\"";
        EXPECT_EQ(result.error.find('\n'), std::string::npos) << result.error;
    }
}

TEST(CliOptionsTest, HelpWinsOverMissingArgumentsButNotOverUnknownCommands) {
    ParseResult general = ParseArguments({"--help"});
    ASSERT_TRUE(general.ok);
    EXPECT_TRUE(general.options.help);
    EXPECT_EQ(general.options.command, Command::None);

    ParseResult program = ParseArguments({"program", "-h"});
    ASSERT_TRUE(program.ok) << program.error;
    EXPECT_TRUE(program.options.help);
    EXPECT_EQ(program.options.command, Command::Program);

    EXPECT_FALSE(ParseArguments({"frobnicate", "--help"}).ok);

    ParseResult version = ParseArguments({"--version"});
    ASSERT_TRUE(version.ok);
    EXPECT_TRUE(version.options.version);
}

TEST(CliOptionsTest, EveryCommandHasItsOwnHelp) {
    for (Command command : {Command::Info, Command::Erase, Command::Program, Command::Verify,
                            Command::Read, Command::Lock}) {
        const std::string help = CommandHelp(command);
        EXPECT_NE(help.find(std::string("velmo-cli ")), std::string::npos);
        EXPECT_NE(help.find(CommandName(command)), std::string::npos) << help;
        EXPECT_NE(GeneralHelp().find(CommandName(command)), std::string::npos);
    }
}

}  // namespace
