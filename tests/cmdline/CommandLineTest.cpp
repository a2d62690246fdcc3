#include "cmdline/CommandLine.h"

#include <gtest/gtest.h>
#include <locale.h>

#include <cmath>
#include <limits>

namespace velmo {
namespace {

struct Row {
    const char* line;
    const char* action;
    std::uint8_t portIndex;
    std::uint16_t portAddress;
    ProgrammerMode mode;
    double clockRate;
    const char* filePath;
};

constexpr ProgrammerMode Raw = ProgrammerMode::Raw;
constexpr ProgrammerMode Board = ProgrammerMode::Board;

const Row kRows[] = {
    // The documented example.
    {"-a1 -p378 -m2 -t11.0 -fc:\\testfile.bin", "1", 1, 0x378, Board, 11.0, "c:\\testfile.bin"},
    // -f runs to the end of the line; the -t text holds no "-" and so comes out empty.
    {"-a1 -p278 -m1 -fc:\\x.bin -t8", "1", 2, 0x278, Raw, 24.0, "c:\\x.bin -t8"},
    {"-a1 -p378 -t11.0", "1", 1, 0x378, Board, 24.0, ""},
    {"-p3BC", "1", 3, 0x3BC, Board, 24.0, ""},
    {"-p3bc", "1", 3, 0x3BC, Board, 24.0, ""},
    {"-p2F8", "1", 1, 0x2F8, Board, 24.0, ""},
    {"-p 378", "1", 1, 0x37, Board, 24.0, ""},   // blank, 3, 7
    {"-p3781", "1", 1, 0x378, Board, 24.0, ""},  // three characters at most
    {"-pxyz", "1", 1, 0x000, Board, 24.0, ""},
    {"-p", "1", 1, 0x000, Board, 24.0, ""},
    {"-p0x3", "1", 1, 0x003, Board, 24.0, ""},  // strtol takes the 0x prefix
    {"-p-1", "1", 1, 0xFFFF, Board, 24.0, ""},  // strtol's sign, cut to 16 bits
    {"-m1", "1", 1, 0x378, Raw, 24.0, ""},
    {"-m2", "1", 1, 0x378, Board, 24.0, ""},
    {"-m3", "1", 1, 0x378, Board, 24.0, ""},
    {"-mx", "1", 1, 0x378, Board, 24.0, ""},
    {"-m", "1", 1, 0x378, Board, 24.0, ""},
    {"-p378 -fc:\\a.bin", "1", 1, 0x378, Board, 24.0, "c:\\a.bin"},  // no -a: action 1
    {"-a2 -fc:\\a.bin", "2", 1, 0x378, Board, 24.0, "c:\\a.bin"},
    {"-a", "", 1, 0x378, Board, 24.0, ""},
    {"-t0 -fc:\\a.bin", "1", 1, 0x378, Board, 24.0, "c:\\a.bin"},
    {"-tabc -fc:\\a.bin", "1", 1, 0x378, Board, 24.0, "c:\\a.bin"},
    {"-t 12 -f x", "1", 1, 0x378, Board, 12.0, " x"},
    {"-t11.0592-f", "1", 1, 0x378, Board, 11.0592, ""},
    {"-t+3.5e1 -f", "1", 1, 0x378, Board, 35.0, ""},
    {"-t1e-5 -f", "1", 1, 0x378, Board, 1.0, ""},  // the value ends at the exponent's "-"
    {"-t12MHz -f", "1", 1, 0x378, Board, 12.0, ""},
    {"-t11,0 -f", "1", 1, 0x378, Board, 11.0, ""},  // a comma is no decimal point
    {"-t", "1", 1, 0x378, Board, 24.0, ""},
    {"-t48 -f", "1", 1, 0x378, Board, 48.0, ""},
    {"-t.5 -f", "1", 1, 0x378, Board, 0.5, ""},
    {"-t12. -f", "1", 1, 0x378, Board, 12.0, ""},
    {"-t12e -f", "1", 1, 0x378, Board, 12.0, ""},  // an exponent needs digits
    {"-t2E+1 -f", "1", 1, 0x378, Board, 20.0, ""},
    {"-t1e308 -f", "1", 1, 0x378, Board, 1e308, ""},
    // Only the decimal form is a number: hexadecimal, infinity and NaN are none, and a
    // number too large for a double counts as none too.
    {"-t0x10 -f", "1", 1, 0x378, Board, 24.0, ""},
    {"-t0X1p4 -f", "1", 1, 0x378, Board, 24.0, ""},
    {"-t0x18 -f", "1", 1, 0x378, Board, 24.0, ""},
    {"-tinf -f", "1", 1, 0x378, Board, 24.0, ""},
    {"-tINFINITY -f", "1", 1, 0x378, Board, 24.0, ""},
    {"-tnan -f", "1", 1, 0x378, Board, 24.0, ""},
    {"-tNAN(42) -f", "1", 1, 0x378, Board, 24.0, ""},
    {"-t1e999 -f", "1", 1, 0x378, Board, 24.0, ""},
    {"-t+ -f", "1", 1, 0x378, Board, 24.0, ""},
    {"-t. -f", "1", 1, 0x378, Board, 24.0, ""},
    {"-t+.e5 -f", "1", 1, 0x378, Board, 24.0, ""},
    // The path holds "-a" before any real -a: that occurrence is the switch.
    {"-fc:\\my-app\\x.bin", "p", 1, 0x378, Board, 24.0, "c:\\my-app\\x.bin"},
    {"-a1 -f\"c:\\my files\\x.bin\" ", "1", 1, 0x378, Board, 24.0, "\"c:\\my files\\x.bin\" "},
    // Case matters, and the first occurrence wins.
    {"-A2 -M1 -P278 -a3 -a1", "3", 1, 0x378, Board, 24.0, ""},
    {"-m1 -m2", "1", 1, 0x378, Raw, 24.0, ""},
    {"x", "1", 1, 0x378, Board, 24.0, ""},
    {"", "1", 1, 0x378, Board, 24.0, ""},
};

void ExpectRow(const Row& row) {
    SCOPED_TRACE(row.line);
    const CommandLineSettings s = ParseCommandLine(row.line);
    EXPECT_TRUE(s.batch.active);
    EXPECT_EQ(s.batch.action, row.action);
    EXPECT_EQ(s.portIndex, row.portIndex);
    EXPECT_EQ(s.portAddress, row.portAddress);
    EXPECT_EQ(s.mode, row.mode);
    EXPECT_DOUBLE_EQ(s.clockRate, row.clockRate);
    EXPECT_EQ(s.batch.filePath, row.filePath);
}

TEST(ParseCommandLine, EveryRow) {
    for (const Row& row : kRows) ExpectRow(row);
}

// A German locale writes 11,0; the command line still means 11.0 and 11,0 still means 11.
TEST(ParseCommandLine, RowsDoNotDependOnTheProcessLocale) {
    const char* german[] = {"de_DE.UTF-8", "de_DE.utf8", "de_DE"};
    const std::string before = setlocale(LC_ALL, nullptr);
    bool switched = false;
    for (const char* name : german) switched = switched || setlocale(LC_ALL, name) != nullptr;
    for (const Row& row : kRows) ExpectRow(row);
    setlocale(LC_ALL, before.c_str());
    if (!switched) GTEST_SKIP() << "no German locale installed";
}

TEST(ParseCommandLine, AnyClockTextGivesAFinitePositiveRate) {
    // Longer than any double: four hundred digits overflow, and the same digits behind a
    // point are an ordinary small number.
    const std::string huge(400, '9');
    EXPECT_DOUBLE_EQ(ParseCommandLine("-t" + huge + " -f").clockRate, 24.0);
    EXPECT_DOUBLE_EQ(ParseCommandLine("-t0." + huge + " -f").clockRate, 1.0);
    for (const char* text : {"inf", "nan", "0x10", "1e999", "+0", "0.0e7", "   ", "\v\f7"}) {
        const double rate = ParseCommandLine(std::string("-t") + text + " -f").clockRate;
        EXPECT_TRUE(std::isfinite(rate) && rate > 0.0) << text << " gives " << rate;
        EXPECT_GE(BitDelayForClockRate(rate), 1u) << text;
    }
}

TEST(JoinArguments, ArgumentsAfterTheProgramNameWithSingleBlanks) {
    const char* none[] = {"velmo"};
    EXPECT_EQ(JoinArguments(1, none), "");
    const char* one[] = {"velmo", "-a1"};
    EXPECT_EQ(JoinArguments(2, one), "-a1");
    const char* several[] = {"velmo", "-a1", "-p378", "-fc:\\my files\\x.bin", ""};
    EXPECT_EQ(JoinArguments(5, several), "-a1 -p378 -fc:\\my files\\x.bin ");
}

TEST(TextAfterProgramName, TheWindowsCommandLineWithoutTheProgram) {
    const std::pair<const char*, const char*> rows[] = {
        {"velmo.exe -a1 -fc:\\my files\\x.bin ", "-a1 -fc:\\my files\\x.bin "},
        {"\"C:\\Program Files\\Velmo\\velmo.exe\"  -a1 -f\"x.bin\"", "-a1 -f\"x.bin\""},
        {"\"C:\\a b\\velmo.exe\"-a1", "-a1"},
        {"velmo.exe", ""},
        {"\"velmo.exe\"   ", ""},
        {"", ""},
    };
    for (const auto& [line, text] : rows) EXPECT_EQ(TextAfterProgramName(line), text) << line;
}

TEST(BitDelayForClockRate, HalfPeriodFromTheClockRate) {
    struct Case {
        double mhz;
        std::uint32_t delay;
    };
    const double inf = std::numeric_limits<double>::infinity();
    const Case cases[] = {
        {48, 1},
        {40, 2},
        {24, 2},
        {12, 4},
        {11.0592, 4},
        {3, 14},
        {1, 41},
        {20, 3},
        {0.5, 81},
        // No positive finite rate: the half-period of 24 MHz, never a stalling delay.
        {0, 2},
        {-0.0, 2},
        {-1, 2},
        {-24, 2},
        {std::nan(""), 2},
        {inf, 2},
        {-inf, 2},
        {1e-300, 2},
        {std::numeric_limits<double>::denorm_min(), 2},
    };
    for (const Case& c : cases) EXPECT_EQ(BitDelayForClockRate(c.mhz), c.delay) << c.mhz;
}

}  // namespace
}  // namespace velmo
