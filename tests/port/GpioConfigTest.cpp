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

}  // namespace
}  // namespace velmo
