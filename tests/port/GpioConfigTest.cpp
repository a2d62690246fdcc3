// VELMO_GPIO: which chip and which line carries each signal.
#include <gtest/gtest.h>

#include "port/GpioConfig.h"

namespace velmo {
namespace {

struct Expected {
    std::uint32_t offset;
    bool inverted;
    bool used = true;
};

TEST(GpioConfig, ReadsChipLinesInversionAndLeftOutLines) {
    const struct {
        const char* text;
        std::string chip;
        // MOSI, SCK, RST, ENABLE, MISO, READY
        std::array<Expected, kIspLineCount> lines;
    } cases[] = {
        {"", "", {{{10, false}, {11, false}, {25, false}, {24, false}, {9, false}, {23, false}}}},
        {"chip=gpiochip4",
         "gpiochip4",
         {{{10, false}, {11, false}, {25, false}, {24, false}, {9, false}, {23, false}}}},
        {" chip = /dev/gpiochip0 , MOSI = !20 ,sck=21,Rst=!22, miso=! 19,",
         "/dev/gpiochip0",
         {{{20, true}, {21, false}, {22, true}, {24, false}, {19, true}, {23, false}}}},
        {"enable=-,ready=-",
         "",
         {{{10, false},
           {11, false},
           {25, false},
           {0, false, false},
           {9, false},
           {0, false, false}}}},
        {"rst=17,,rst=27,ready=!5",
         "",
         {{{10, false}, {11, false}, {27, false}, {24, false}, {9, false}, {5, true}}}},
        // Moving two signals onto each other's lines is fine.
        {"mosi=9,miso=10",
         "",
         {{{9, false}, {11, false}, {25, false}, {24, false}, {10, false}, {23, false}}}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        std::string error;
        const std::optional<GpioConfig> config = ParseGpioConfig(c.text, &error);
        ASSERT_TRUE(config) << error;
        EXPECT_EQ(config->chip, c.chip);
        for (std::size_t i = 0; i < kIspLineCount; ++i) {
            SCOPED_TRACE(kCable[i].name);
            EXPECT_EQ(config->lines[i].used, c.lines[i].used);
            if (!c.lines[i].used) continue;
            EXPECT_EQ(config->lines[i].offset, c.lines[i].offset);
            EXPECT_EQ(config->lines[i].inverted, c.lines[i].inverted);
        }
    }
}

TEST(GpioConfig, ABadItemIsNamedWithAnExample) {
    const struct {
        const char* text;
        std::vector<std::string> says;
    } cases[] = {
        {"mosi", {"\"mosi\" hat keinen Wert"}},
        {"mosi=abc", {"\"mosi=abc\"", "keine Leitungsnummer"}},
        {"sck=!", {"\"sck=!\"", "keine Leitungsnummer"}},
        {"rst=-5", {"\"rst=-5\"", "keine Leitungsnummer"}},
        {"rst=70000", {"\"rst=70000\"", "0 bis 65535"}},
        {"miso=9x", {"\"miso=9x\""}},
        {"mosi=-", {"\"mosi=-\"", "MOSI wird immer gebraucht"}},
        {"miso=-", {"MISO wird immer gebraucht"}},
        {"led=4",
         {"unbekannter Name \"led\"", "bekannt: chip, mosi, sck, rst, enable, miso, ready"}},
        {"chip=", {"\"chip=\"", "nennt keinen Chip"}},
        {"mosi=10,sck=10", {"MOSI und SCK", "Leitung 10"}},
        {"ready=9", {"MISO und READY", "Leitung 9"}},
        {"miso=9/-", {"\"miso=9/-\"", "keine Liste von MISO-Leitungen"}},
        {"miso=1/2/3/4/5/6/7/8/12", {"keine Liste von MISO-Leitungen", "1 bis 8"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        std::string error;
        EXPECT_FALSE(ParseGpioConfig(c.text, &error));
        EXPECT_EQ(error.rfind("VELMO_GPIO: ", 0), 0u) << error;
        EXPECT_NE(error.find("Beispiel: VELMO_GPIO=chip=gpiochip0,mosi=10"), std::string::npos);
        for (const std::string& part : c.says) {
            EXPECT_NE(error.find(part), std::string::npos) << error << " / " << part;
        }
    }
}

TEST(GpioConfig, DescribesTheLinesInUse) {
    EXPECT_EQ(DescribeGpioLines(DefaultGpioConfig()),
              "MOSI 10, SCK 11, RST 25, ENABLE 24, MISO 9, READY 23");
    const auto config = ParseGpioConfig("mosi=!10,enable=-,ready=-", nullptr);
    ASSERT_TRUE(config);
    EXPECT_EQ(DescribeGpioLines(*config), "MOSI !10, SCK 11, RST 25, MISO 9");
}

// A gang fixture takes one MISO line per socket: from miso=, or the first of the default list.
TEST(GpioConfig, AGangTakesOneMisoLinePerSocket) {
    const struct {
        const char* text;
        unsigned sockets;
        const char* problem;  // empty: it serves them
        const char* lines;    // the end of the description of the lines it serves
    } cases[] = {
        {"", 8, "", "READY 23, MISO2 5, MISO3 6, MISO4 13, MISO5 19, MISO6 26, MISO7 16, MISO8 20"},
        {"miso=9/17/!6", 3, "", "MISO 9, READY 23, MISO2 17, MISO3 !6"},
        {"miso=9/17", 3, "nennt mit miso= 2 MISO-Leitungen, für 3 Sockel", ""},
        {"miso=9", 2, "1 MISO-Leitung,", ""},
        {"rst=5", 2, "RST und MISO2 liegen beide auf Leitung 5", ""},
        {"miso=9/9", 2, "MISO und MISO2", ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        std::optional<GpioConfig> config = ParseGpioConfig(c.text, nullptr);
        ASSERT_TRUE(config);
        const std::string problem = GpioSocketProblem(*config, c.sockets);
        EXPECT_NE(problem.find(c.problem), std::string::npos) << problem;
        EXPECT_EQ(problem.empty(), std::string(c.problem).empty()) << problem;
        config->sockets = c.sockets;
        const std::string lines = DescribeGpioLines(*config);
        EXPECT_EQ(lines.substr(lines.size() - std::string(c.lines).size()), c.lines) << lines;
    }
}

}  // namespace
}  // namespace velmo
