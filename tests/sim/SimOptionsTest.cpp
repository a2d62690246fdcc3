#include <gtest/gtest.h>

#include "sim/SimOptions.h"

namespace velmo {
namespace {

TEST(SimOptions, DefaultsSuitTheProgrammersOwnTiming) {
    std::string error;
    const auto options = ParseSimOptions("", &error);
    ASSERT_TRUE(options);
    EXPECT_TRUE(options->boardPresent);
    EXPECT_TRUE(options->chipPresent);
    EXPECT_DOUBLE_EQ(options->xtalMHz, 24.0);
    EXPECT_LT(options->writeTimeUs, 1000u) << "a normal write must pass the first read-back";
    EXPECT_LT(options->eraseTimeUs, 100000u) << "the erase must end within its 100 ms wait";
    EXPECT_FALSE(options->virtualClock);
    EXPECT_FALSE(options->writeNeverCompletes);
    EXPECT_TRUE(options->stuckCells.empty());
}

TEST(SimOptions, AcceptsEveryOptionInAnyOrderAndCase) {
    struct Case {
        const char* text;
        std::function<void(const SimOptions&)> check;
    };
    const Case cases[] = {
        {"board=absent", [](const SimOptions& o) { EXPECT_FALSE(o.boardPresent); }},
        {"board=present,chip=absent",
         [](const SimOptions& o) {
             EXPECT_TRUE(o.boardPresent);
             EXPECT_FALSE(o.chipPresent);
         }},
        {" xtal = 3.6864 ", [](const SimOptions& o) { EXPECT_DOUBLE_EQ(o.xtalMHz, 3.6864); }},
        {"xtal=12,writetime=2500,erasetime=0",
         [](const SimOptions& o) {
             EXPECT_DOUBLE_EQ(o.xtalMHz, 12.0);
             EXPECT_EQ(o.writeTimeUs, 2500u);
             EXPECT_EQ(o.eraseTimeUs, 0u);
         }},
        {"writetime=never", [](const SimOptions& o) { EXPECT_TRUE(o.writeNeverCompletes); }},
        {"writetime=never,writetime=10",
         [](const SimOptions& o) {
             EXPECT_FALSE(o.writeNeverCompletes);
             EXPECT_EQ(o.writeTimeUs, 10u);
         }},
        {"stuck=1234:00,stuck=0x2FFF:A5,STUCK=0:ff",
         [](const SimOptions& o) {
             const std::map<std::uint16_t, std::uint8_t> want{
                 {0x1234, 0x00}, {0x2FFF, 0xA5}, {0x0000, 0xFF}};
             EXPECT_EQ(o.stuckCells, want);
         }},
        {"clock=virtual", [](const SimOptions& o) { EXPECT_TRUE(o.virtualClock); }},
        {"Clock=Virtual,clock=real", [](const SimOptions& o) { EXPECT_FALSE(o.virtualClock); }},
        {"board=absent,,", [](const SimOptions& o) { EXPECT_FALSE(o.boardPresent); }},
        // A socket's own values come after the ones for all, whatever their order.
        {"chip@6=absent,writetime@2=2000,STUCK@3=0010:00,writetime=700,xtal@8=12",
         [](const SimOptions& o) {
             EXPECT_FALSE(o.ForSocket(5).chipPresent);
             EXPECT_TRUE(o.ForSocket(0).chipPresent);
             EXPECT_EQ(o.ForSocket(1).writeTimeUs, 2000u);
             EXPECT_EQ(o.ForSocket(2).writeTimeUs, 700u);
             EXPECT_EQ(o.ForSocket(2).stuckCells.at(0x0010), 0x00);
             EXPECT_TRUE(o.ForSocket(3).stuckCells.empty());
             EXPECT_DOUBLE_EQ(o.ForSocket(7).xtalMHz, 12.0);
             EXPECT_DOUBLE_EQ(o.xtalMHz, 24.0);
         }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        std::string error;
        const auto options = ParseSimOptions(c.text, &error);
        ASSERT_TRUE(options) << error;
        c.check(*options);
    }
}

TEST(SimOptions, RefusesBadOptionsNamingThem) {
    struct Case {
        const char* text;
        const char* named;  // the message must contain this
    };
    const Case cases[] = {
        {"speed=fast", "\"speed\""},
        {"board", "\"board\""},
        {"board=maybe", "board"},
        {"chip=", "chip"},
        {"xtal=0", "xtal"},
        {"xtal=-5", "xtal"},
        {"xtal=24MHz", "\"24MHz\""},
        {"xtal=nan", "xtal"},
        {"writetime=-1", "writetime"},
        {"writetime=1.5", "writetime"},
        {"writetime=99999999999", "writetime"},
        {"erasetime=never", "erasetime"},
        {"stuck=3000:00", "stuck"},
        {"stuck=12", "stuck"},
        {"stuck=12:100", "stuck"},
        {"stuck=xyz:00", "stuck"},
        {"clock=fast", "clock"},
        {"board=absent,bogus=1", "\"bogus\""},
        {"chip@9=absent", "\"chip@9\""},
        {"chip@0=absent", "\"chip@0\""},
        {"chip@=absent", "\"chip@\""},
        {"board@2=absent", "\"board\" in VELMO_SIM_OPTIONS gilt für alle Sockel"},
        {"clock@1=virtual", "\"clock\" in VELMO_SIM_OPTIONS gilt"},
        {"xtal@4=fast", "\"fast\""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        std::string error;
        EXPECT_FALSE(ParseSimOptions(c.text, &error));
        EXPECT_NE(error.find(c.named), std::string::npos) << error;
        EXPECT_NE(error.find("VELMO_SIM_OPTIONS"), std::string::npos) << error;
    }
    EXPECT_FALSE(ParseSimOptions("bogus=1", nullptr)) << "no error text wanted";
}

}  // namespace
}  // namespace velmo
