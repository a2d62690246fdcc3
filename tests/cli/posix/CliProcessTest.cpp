#include <gtest/gtest.h>

#include <signal.h>

#include <algorithm>
#include <map>
#include <string>

#include "cli/CliTestRig.h"
#include "cli/posix/ChildProcess.h"
#include "image/ImageFiles.h"

using namespace velmo;
using namespace velmo::testing;

namespace {

bool Contains(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

std::map<std::string, std::string> SimEnvironment(const std::string& chipFile,
                                                  const std::string& options = "clock=virtual") {
    return {{"VELMO_PORT", "sim"},
            {"VELMO_SIM_OPTIONS", options},
            {"VELMO_SIM_CHIP", chipFile},
            {"VELMO_TRACE", ""}};
}

// The last level each VCD signal id was given.
std::map<char, char> LastLevels(const std::string& vcd) {
    std::map<char, char> levels;
    std::size_t start = 0;
    while (start < vcd.size()) {
        std::size_t end = vcd.find('\n', start);
        if (end == std::string::npos) end = vcd.size();
        if (end - start == 2 && (vcd[start] == '0' || vcd[start] == '1')) {
            levels[vcd[start + 1]] = vcd[start];
        }
        start = end + 1;
    }
    return levels;
}

TEST(CliProcessTest, ExitStatusAndStreamsForEveryKindOfCall) {
    TempDir dir;
    const auto env = SimEnvironment(dir.Path("chip.bin"));
    // Its byte count promises four bytes, its line holds two (and a checksum that balances).
    const std::string shortRecord = dir.Write("short.hex", ":040000001234B6\n");
    const struct {
        std::vector<std::string> args;
        int status;
        std::string out;  // expected in standard output
        std::string err;  // expected in standard error (the one line of a failure)
    } cases[] = {
        {{"--help"}, 0, "Aufruf: velmo-cli", ""},
        {{"program", "--help"}, 0, "--changed-only", ""},
        {{"read", "-h"}, 0, ".hex oder .ihx", ""},
        {{"--version"}, 0, "velmo-cli ", ""},
        {{"info", kExampleHex}, 0, "Format:    Intel-HEX", ""},
        {{}, 2, "", "velmo-cli: Kein Befehl angegeben. (Hilfe: velmo-cli --help)"},
        {{"brennen"}, 2, "", "Unbekannter Befehl \"brennen\""},
        {{"erase", "--port", "zz"}, 2, "", "Ungültige Port-Adresse \"zz\""},
        {{"program", "--clock", "abc", kExampleHex}, 2, "", "Ungültige Taktfrequenz"},
        {{"info", dir.Path("missing.hex")}, 2, "", "kann nicht geöffnet werden"},
        {{"verify", kExampleHex}, 1, "", "erste Abweichung an Adresse 0x0000"},
        {{"info", shortRecord}, 2, "", "Zeile 1: der Datensatz kündigt 4 Datenbytes an"},
        {{"program", shortRecord}, 2, "", "die Zeile enthält aber nur 2."},
        // A file whose size the system does not know: the bytes read count.
        {{"info", "/proc/self/status"}, 0, "Format:    binär", ""},
    };
    for (const auto& c : cases) {
        const ChildResult result = RunCli(c.args, env);
        SCOPED_TRACE(c.args.empty() ? "(none)" : c.args.front());
        ASSERT_TRUE(result.exited);
        EXPECT_EQ(result.status, c.status) << result.err;
        EXPECT_TRUE(Contains(result.out, c.out)) << result.out;
        if (c.status == 0) {
            EXPECT_EQ(result.err.find("velmo-cli:"), std::string::npos) << result.err;
            EXPECT_FALSE(Contains(result.out, "Belegt:    0 Bytes")) << result.out;
        } else {
            EXPECT_TRUE(Contains(result.err, c.err)) << result.err;
            // Exactly one line of reason, after whatever progress there was.
            const std::size_t reason = result.err.find("velmo-cli: ");
            ASSERT_NE(reason, std::string::npos);
            EXPECT_EQ(result.err.rfind("velmo-cli: "), reason);
            EXPECT_EQ(result.err.find('\n', reason), result.err.size() - 1);
            EXPECT_TRUE(result.out.empty()) << result.out;
        }
    }
}

TEST(CliProcessTest, ChipFileFollowsEachCommand) {
    TempDir dir;
    const std::string chip = dir.Path("chip.bin");
    const auto env = SimEnvironment(chip);
    const LoadedImage example = LoadImageFile(kExampleHex);
    ASSERT_TRUE(example.Loaded());

    ChildResult result = RunCli({"program", "--skip-blank", kExampleHex}, env);
    ASSERT_EQ(result.status, 0) << result.err;
    EXPECT_EQ(ReadBytes(chip), std::string(example.image.begin(), example.image.end()));

    FlashImage changed = example.image;
    changed[0x0010] ^= 0xFF;
    const std::string changedFile = dir.WriteImage("changed.bin", changed);
    result = RunCli({"--mode", "raw", "program", "--changed-only", changedFile}, env);
    ASSERT_EQ(result.status, 0) << result.err;
    EXPECT_TRUE(Contains(result.out, " 1 Byte geschrieben")) << result.out;
    EXPECT_EQ(ReadBytes(chip), std::string(changed.begin(), changed.end()));

    const std::string hex = dir.Path("back.ihx");
    result = RunCli({"read", hex}, env);
    ASSERT_EQ(result.status, 0) << result.err;
    const LoadedImage back = LoadImageFile(hex);
    ASSERT_TRUE(back.Loaded());
    EXPECT_EQ(back.image, changed);

    result = RunCli({"erase"}, env);
    ASSERT_EQ(result.status, 0) << result.err;
    EXPECT_EQ(ReadBytes(chip), std::string(FLASH_SIZE, '\xFF'));
}

TEST(CliProcessTest, DeviceFailuresEndWithStatusOne) {
    TempDir dir;
    const struct {
        std::map<std::string, std::string> env;
        std::string reason;
    } cases[] = {
        {SimEnvironment(dir.Path("a.bin"), "clock=virtual,board=absent"),
         "Fehler beim Initialisieren des Velmo-Boards"},
        {{{"VELMO_PORT", "parallel-usb"}}, "Port-Treiber nicht gestartet"},
        {SimEnvironment(dir.Path("b.bin"), "clock=sometimes"), "Port-Treiber nicht gestartet"},
    };
    for (const auto& c : cases) {
        const ChildResult result = RunCli({"erase"}, c.env);
        EXPECT_EQ(result.status, 1) << result.err;
        EXPECT_TRUE(Contains(result.err, c.reason)) << result.err;
    }
}

TEST(CliProcessTest, TraceOptionRecordsTheLinesUpToTheEndSequence) {
    TempDir dir;
    const std::string vcd = dir.Path("lines.vcd");
    const ChildResult result =
        RunCli({"erase", "--trace", vcd}, SimEnvironment(dir.Path("chip.bin")));
    ASSERT_EQ(result.status, 0) << result.err;
    const std::string trace = ReadBytes(vcd);
    ASSERT_TRUE(Contains(trace, "$enddefinitions")) << trace.substr(0, 200);
    const auto levels = LastLevels(trace);
    EXPECT_EQ(levels.at('c'), '0');  // RST
    EXPECT_EQ(levels.at('d'), '0');  // ENABLE
}

// A real Ctrl-C to a program running on the real clock with a slow crystal: the program
// must stop after the byte it is writing, release the lines and end with 130 long before
// the chip is full.
TEST(CliProcessTest, SigintStopsARealProgramRunCleanly) {
    TempDir dir;
    const std::string chip = dir.Path("chip.bin");
    const std::string vcd = dir.Path("lines.vcd");
    const FlashImage image = PatternImage(8);
    const std::string file = dir.WriteImage("image.bin", image);
    bool sent = false;
    const ChildResult result =
        RunCli({"program", file, "--clock", "1", "--trace", vcd},
               SimEnvironment(chip, "clock=real"), [&sent](pid_t pid, const std::string& err) {
                   if (!sent && err.find("Schreiben: 0/12288") != std::string::npos) {
                       sent = true;
                       ::kill(pid, SIGINT);
                   }
               });
    ASSERT_TRUE(sent) << result.err;
    ASSERT_TRUE(result.exited);
    EXPECT_EQ(result.status, 130) << result.err;
    EXPECT_TRUE(Contains(result.err, "Abgebrochen bei Adresse 0x")) << result.err;
    EXPECT_TRUE(Contains(result.err, "Leitungen freigegeben")) << result.err;

    // Stopped promptly: most of the chip is still erased.
    const std::string flash = ReadBytes(chip);
    ASSERT_EQ(flash.size(), FLASH_SIZE);
    EXPECT_EQ(flash.substr(FLASH_SIZE / 2), std::string(FLASH_SIZE / 2, '\xFF'));
    const auto levels = LastLevels(ReadBytes(vcd));
    EXPECT_EQ(levels.at('c'), '0');  // RST
    EXPECT_EQ(levels.at('d'), '0');  // ENABLE
}

}  // namespace

namespace {

// A gang of eight on the simulator: the bad socket is named, the seven others hold the
// example, the report says the same, and a read gives one file per socket.
TEST(CliProcessTest, AGangNamesItsFailingSocketAndProgramsTheOthers) {
    TempDir dir;
    const auto env = SimEnvironment(dir.Path("chip{n}.bin"), "clock=virtual,stuck@3=0010:00");
    const std::string report = dir.Path("report.json");
    const LoadedImage example = LoadImageFile(kExampleHex);
    const std::string programmed(example.image.begin(), example.image.end());
    ChildResult result = RunCli(
        {"--sockets", "8", "--mode", "raw", "--report", report, "program", kExampleHex}, env);
    EXPECT_EQ(result.status, 1) << result.err;
    EXPECT_TRUE(Contains(result.err,
                         "Sockel 2: OK\nSockel 3: Fehler bei 0x0010: geschrieben 02, "
                         "gelesen 00\nSockel 4: OK\n"))
        << result.err;
    EXPECT_TRUE(result.out.empty()) << result.out;
    for (int socket = 1; socket <= 8; ++socket) {
        const std::string chip = ReadBytes(dir.Path("chip" + std::to_string(socket) + ".bin"));
        EXPECT_EQ(chip == programmed, socket != 3) << socket;
    }
    const std::string json = ReadBytes(report);
    EXPECT_TRUE(Contains(json, "\"status\": 1,")) << json;
    EXPECT_TRUE(Contains(json,
                         "{\"socket\": 3, \"ok\": false, \"fault\": \"write\", "
                         "\"address\": 16, \"wanted\": 2, \"read\": 0,"))
        << json;
    EXPECT_TRUE(Contains(json, "{\"socket\": 8, \"ok\": true,")) << json;

    result = RunCli({"--sockets", "2", "--mode", "raw", "read", dir.Path("back{n}.bin")}, env);
    EXPECT_EQ(result.status, 0) << result.err;
    EXPECT_TRUE(Contains(result.out, "Sockel 2: OK, gespeichert in")) << result.out;
    EXPECT_EQ(ReadBytes(dir.Path("back1.bin")), programmed);
}

// What the backend cannot serve is refused before any line moves or any file is made.
TEST(CliProcessTest, AGangTheBackendCannotServeIsRefusedFirst) {
    TempDir dir;
    const std::string chip = dir.Path("chip.bin");
    const struct {
        std::map<std::string, std::string> env;
        const char* sockets;
        const char* reason;
    } cases[] = {
        {{{"VELMO_PORT", "ppdev"}}, "6", "höchstens 5 Sockel"},
        {SimEnvironment(chip), "2", "muss der Name {n} enthalten"},
        {{{"VELMO_PORT", "gpio"}, {"VELMO_GPIO", "miso=9"}}, "2", "1 MISO-Leitung"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.reason);
        const ChildResult result =
            RunCli({"--sockets", c.sockets, "--mode", "raw", "erase"}, c.env);
        EXPECT_EQ(result.status, 2) << result.err;
        EXPECT_TRUE(Contains(result.err, c.reason)) << result.err;
        EXPECT_FALSE(std::filesystem::exists(chip));
    }
}

}  // namespace
